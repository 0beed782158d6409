// Reading by sectors through a fake disc: ISO 9660 lookup on a Video CD,
// the VIDEO_TS listing of a DVD, CD track sources, raw-sector files read
// by sectors with the bad-sector skip, and joined title sets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "components/sectrel/sectrel.h"
#include "media/exports/control.h"
#include "media/source/disc_lookup.h"
#include "media/source/path_forms.h"
#include "media/source/probe.h"
#include "media/source/sector_api.h"
#include "media/source/source.h"
#include "media/state.h"
#include "tests/media/fixtures.h"

namespace {

using media_test::Bytes;

constexpr int kDrive = 3;  // D:

struct FakeDisc {
  std::map<int, Bytes> raw;   // 2352-byte sectors
  std::map<int, Bytes> data;  // 2048-byte sectors
  std::set<int> bad;
  bool ready = true;
  bool cannot_continue = false;
  int track_start = 0;
  int track_length = 0;
  uint32_t serial = 1;
  int descriptor_reads = 0;
  std::vector<int> commands;
  std::vector<std::pair<int, int>> calls;  // (drive, command << 16 | param)
};
FakeDisc g_disc;

bool copy_raw(int sector, uint8_t *out) {
  if (g_disc.bad.count(sector)) return false;
  auto it = g_disc.raw.find(sector);
  if (it == g_disc.raw.end())
    std::memset(out, 0, 2352);
  else
    std::memcpy(out, it->second.data(), 2352);
  if (sector == 16) ++g_disc.descriptor_reads;
  return true;
}

int32_t fake_open_drive(int32_t drive) { return drive == kDrive; }
int32_t fake_read_raw8(int32_t, void *buf, int32_t first) {
  for (int i = 0; i < 8; ++i)
    if (!copy_raw(first + i, static_cast<uint8_t *>(buf) + i * 2352)) return 0;
  return 1;
}
int32_t fake_read_raw(int32_t, void *buf, int32_t first, int32_t count) {
  for (int i = 0; i < count; ++i)
    if (!copy_raw(first + i, static_cast<uint8_t *>(buf) + i * 2352)) return 0;
  return 1;
}
int32_t fake_command(int32_t drive, int32_t cmd, int32_t param) {
  g_disc.commands.push_back(cmd);
  g_disc.calls.push_back({drive, cmd << 16 | (param & 0xFFFF)});
  switch (cmd) {
    case SECTREL_CMD_DISC_VALUE:
      return 0x1234;
    case SECTREL_CMD_OP5:
      return param + 1;
    case SECTREL_CMD_READY:
      return g_disc.ready;
    case SECTREL_CMD_TRACK_START:
      return param == 2 ? g_disc.track_start : 0;
    case SECTREL_CMD_TRACK_LENGTH:
      return param == 2 ? g_disc.track_length : 0;
    case SECTREL_CMD_CANNOT_CONTINUE:
      return g_disc.cannot_continue;
    default:
      return 0;
  }
}
int32_t fake_read_data(int32_t, void *buf, int32_t first, int32_t count) {
  auto *out = static_cast<uint8_t *>(buf);
  for (int i = 0; i < count; ++i) {
    auto it = g_disc.data.find(first + i);
    if (it == g_disc.data.end()) {
      std::memset(out + i * 2048, 0, 2048);
      out[i * 2048] = uint8_t(first + i);  // every sector says where it came from
      out[i * 2048 + 1] = uint8_t((first + i) >> 8);
    } else {
      std::memcpy(out + i * 2048, it->second.data(), 2048);
    }
    if (first + i == 16) ++g_disc.descriptor_reads;
  }
  return count * 2048;
}
bool fake_is_cd(int32_t drive) { return drive == kDrive; }
uint32_t fake_serial(int32_t) { return g_disc.serial; }

const dravik::SectorApi kFake = {fake_open_drive, fake_read_raw8, fake_read_raw, fake_command,
                                 fake_read_data,  fake_is_cd,     fake_serial};

// ISO 9660 pieces (user data of one 2048-byte sector each).
Bytes sector_of(std::initializer_list<Bytes> records) {
  Bytes s;
  for (const Bytes &r : records) media_test::append(s, r);
  s.resize(2048, 0);
  return s;
}

Bytes path_record(const std::string &name, int extent, int parent) {
  Bytes r = {uint8_t(name.size()), 0};
  media_test::put_le32(r, uint32_t(extent));
  media_test::append(r, {uint8_t(parent), uint8_t(parent >> 8)});
  r.insert(r.end(), name.begin(), name.end());
  if (name.size() & 1) r.push_back(0);
  return r;
}

Bytes dir_record(const std::string &name, int extent, int bytes) {
  Bytes r(33, 0);
  r[0] = uint8_t(33 + name.size() + ((name.size() + 1) & 1));
  for (int i = 0; i < 4; ++i) r[2 + i] = uint8_t(extent >> (8 * i)), r[10 + i] = uint8_t(bytes >> (8 * i));
  r[32] = uint8_t(name.size());
  r.insert(r.end(), name.begin(), name.end());
  r.resize(r[0], 0);
  return r;
}

// A disc whose directory DIR (2 sectors, at 22) lists the files in its
// second sector; the volume descriptor is at 16, the path table at 18.
std::map<int, Bytes> iso_image(const std::string &dir, const std::string &file, int extent, int sectors,
                               const std::string &other) {
  std::map<int, Bytes> img;
  Bytes pvd(2048, 0);
  pvd[0] = 1;
  std::memcpy(pvd.data() + 1, "CD001", 5);
  pvd[140] = 18;
  img[16] = pvd;
  img[18] = sector_of(
      {path_record(std::string(1, '\0'), 20, 1), path_record("SEGMENT", 21, 1), path_record(dir, 22, 1)});
  img[22] = sector_of({dir_record(std::string(1, '\0'), 22, 4096), dir_record(std::string(1, '\1'), 20, 2048),
                       dir_record(other + ";1", 90, 2048 * 2)});
  img[23] = sector_of({dir_record(file + ";1", extent, sectors * 2048)});
  return img;
}

Bytes to_raw(int n, const Bytes &user) {
  Bytes s = media_test::raw_sector(n, 0);
  std::copy(user.begin(), user.end(), s.begin() + 24);
  return s;
}

class SectorAccess : public testing::Test {
 protected:
  void SetUp() override {
    g_disc = FakeDisc{};
    dravik::set_sector_api(&kFake);
  }
  void TearDown() override {
    dravik::close_source(*s);
    dravik::set_sector_api(nullptr);
  }
  void use_video_cd(int extent, int sectors) {
    for (auto &[n, user] : iso_image("MPEGAV", "AVSEQ01.DAT", extent, sectors, "MUSIC01.DAT"))
      g_disc.raw[n] = to_raw(n, user);
  }
  void use_dvd() {
    for (auto &[n, user] : iso_image("VIDEO_TS", "VTS_01_1.VOB", 500, 1000, "VIDEO_TS.IFO"))
      g_disc.data[n] = user;
  }
  // A file at a "D:/..." path (relative to the scratch folder, which
  // becomes the working folder) so that it lies on the fake drive.
  std::string on_drive(const std::string &rel, const Bytes &bytes) {
    const std::string root = testing_support::scratch_dir();
    if (chdir(root.c_str()) != 0) return {};
    std::filesystem::create_directories(std::filesystem::path(rel).parent_path());
    FILE *f = std::fopen(rel.c_str(), "wb");
    if (f) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    return rel;
  }
  int32_t open_buffer(const Bytes &buf, uint32_t start = 0) {
    return dravik::open_source(*s, dravik::parse_path_buffer(buf.data(), int64_t(buf.size())), start);
  }
  std::unique_ptr<dravik::State> s = std::make_unique<dravik::State>();
};

TEST_F(SectorAccess, Iso9660FindsAVideoCdFile) {
  use_video_cd(100, 50);
  auto e = dravik::iso9660_lookup(kDrive, "D:\\MPEGAV\\AVSEQ01.DAT");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->first_sector, 100);
  EXPECT_EQ(e->sectors, 50);
  auto lower = dravik::iso9660_lookup(kDrive, "d:/mpegav/avseq01.dat");
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->first_sector, 100);
  auto other = dravik::iso9660_lookup(kDrive, "D:\\MPEGAV\\MUSIC01.DAT");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->sectors, 2);
  EXPECT_FALSE(dravik::iso9660_lookup(kDrive, "D:\\MPEGAV\\AVSEQ02.DAT"));
  EXPECT_FALSE(dravik::iso9660_lookup(kDrive, "D:\\CDI\\AVSEQ01.DAT"));
  EXPECT_FALSE(dravik::iso9660_lookup(kDrive, "AVSEQ01.DAT"));
}

TEST_F(SectorAccess, Iso9660SurvivesDamagedTables) {
  use_video_cd(100, 50);
  // A path table record claiming a name longer than the sector.
  g_disc.raw[18] = to_raw(18, sector_of({Bytes{0xFF, 0, 1, 0, 0, 0, 1, 0}}));
  EXPECT_FALSE(dravik::iso9660_lookup(kDrive, "D:\\MPEGAV\\AVSEQ01.DAT"));
  use_video_cd(100, 50);
  Bytes broken = sector_of({dir_record("AVSEQ01.DAT;1", 100, 2048)});
  broken[32] = 200;  // name length past the record
  g_disc.raw[23] = to_raw(23, broken);
  EXPECT_FALSE(dravik::iso9660_lookup(kDrive, "D:\\MPEGAV\\AVSEQ01.DAT"));
}

TEST_F(SectorAccess, VideoTsListingIsCachedPerDisc) {
  use_dvd();
  dravik::VideoTsListing listing;
  auto e = listing.lookup(kDrive, "D:/video_ts/vts_01_1.vob");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->first_sector, 500);
  EXPECT_EQ(e->sectors, 1000);
  ASSERT_EQ(listing.entries().size(), 2u);
  EXPECT_EQ(listing.entries()[0].name, "VIDEO_TS\\VIDEO_TS.IFO");
  EXPECT_EQ(listing.entries()[1].name, "VIDEO_TS\\VTS_01_1.VOB");
  const int reads = g_disc.descriptor_reads;
  EXPECT_TRUE(listing.lookup(kDrive, "D:\\VIDEO_TS\\VIDEO_TS.IFO"));
  EXPECT_EQ(g_disc.descriptor_reads, reads);  // served from the cache
  g_disc.serial = 2;                          // another disc
  EXPECT_FALSE(listing.lookup(kDrive, "D:\\VIDEO_TS\\VTS_02_1.VOB"));
  EXPECT_EQ(g_disc.descriptor_reads, reads + 1);
  listing.forget();
  EXPECT_TRUE(listing.entries().empty());
}

TEST_F(SectorAccess, CdTrackSourceBlanksMode2Headers) {
  g_disc.track_start = 1000;
  g_disc.track_length = 10;
  for (int i = 0; i < 10; ++i) g_disc.raw[1000 + i] = media_test::raw_sector(1000 + i, uint8_t(0x30 + i));
  g_disc.raw[1001][15] = 1;  // a mode-1 sector keeps its header
  Bytes buf = {'t', 'r', 'a', 'c', 'k', '.', 'p', 'l', 'a', 'y', 'e', 'r', 0, kDrive, 1};
  int32_t length = 0;
  EXPECT_EQ(dravik::probe_source(*s, dravik::parse_path_buffer(buf.data(), int64_t(buf.size())), &length), 0);
  EXPECT_EQ(length, 10 * 2352);
  ASSERT_EQ(open_buffer(buf), DRAVIK_HANDLE_CD_TRACK);
  EXPECT_EQ(s->source.size, 10 * 2352);
  const uint8_t *b = s->parse.bytes.get();
  EXPECT_EQ(s->parse.valid_bytes, 8 * 2352);
  EXPECT_TRUE(std::all_of(b, b + 24, [](uint8_t x) { return x == 0; }));
  EXPECT_EQ(b[24], 0x30);
  EXPECT_EQ(b[2351], 0);
  EXPECT_EQ(b[2352 + 15], 1);  // mode-1 sector untouched
  EXPECT_EQ(b[2352 + 1], 0xFF);
  uint8_t block[0x10000];
  EXPECT_EQ(dravik::read_source_block(*s, block), 2 * 2352);  // the short last run
  EXPECT_EQ(block[24], 0x38);
  EXPECT_EQ(dravik::read_source_block(*s, block), 0);
  dravik::close_source(*s);
  EXPECT_NE(std::find(g_disc.commands.begin(), g_disc.commands.end(), SECTREL_CMD_PREPARE),
            g_disc.commands.end());
  EXPECT_NE(std::find(g_disc.commands.begin(), g_disc.commands.end(), SECTREL_CMD_RELEASE),
            g_disc.commands.end());
}

TEST_F(SectorAccess, TrackPlayerNeedsItsFields) {
  const char plain[] = "Track.Player";
  EXPECT_EQ(dravik::parse_path_buffer(plain, sizeof plain).kind, dravik::PathKind::refused);
  Bytes one_field = {'T', 'r', 'a', 'c', 'k', '.', 'P', 'l', 'a', 'y', 'e', 'r', 0, kDrive};
  EXPECT_EQ(dravik::parse_path_buffer(one_field.data(), int64_t(one_field.size())).kind,
            dravik::PathKind::refused);
  EXPECT_EQ(open_buffer(one_field), -1);
}

Bytes name_buffer(const std::string &name) {
  Bytes b(name.begin(), name.end());
  b.push_back(0);
  return b;
}

TEST_F(SectorAccess, RawSectorFileOnTheDiscIsReadBySectorsSkippingBadOnes) {
  use_video_cd(100, 40);
  for (int i = 0; i < 40; ++i) g_disc.raw[100 + i] = media_test::raw_sector(100 + i, uint8_t(0x80 + i));
  g_disc.bad = {103};
  std::string path = on_drive("D:/MPEGAV/AVSEQ01.DAT", media_test::cdxa_file(100, 40));
  ASSERT_GE(open_buffer(name_buffer(path)), 0);
  ASSERT_TRUE(s->source.sectors.on);
  EXPECT_EQ(s->source.sectors.first_sector, 100);
  // Sectors 100..107 hold a bad one: the read goes on at 108, from the disc.
  EXPECT_EQ(s->parse.valid_bytes, 18816);
  EXPECT_EQ(s->parse.bytes[24], 0x88);
  EXPECT_EQ(s->source.position, 44 + 16 * 2352);
  uint8_t block[0x10000];
  EXPECT_EQ(dravik::read_source_block(*s, block), 18816);
  EXPECT_EQ(block[24], 0x90);
  // A drive that cannot continue ends the source.
  g_disc.bad = {124};
  g_disc.cannot_continue = true;
  EXPECT_EQ(dravik::read_source_block(*s, block), 0);
}

TEST_F(SectorAccess, DirectAccessCanBeSwitchedOff) {
  use_video_cd(100, 40);
  for (int i = 0; i < 40; ++i) g_disc.raw[100 + i] = media_test::raw_sector(100 + i, uint8_t(0x80 + i));
  std::string path = on_drive("D:/MPEGAV/AVSEQ01.DAT", media_test::cdxa_file(100, 40));
  EXPECT_EQ(dravik::control(*s, CTL_SET_CDXA_DIRECT, 0), 1);
  EXPECT_EQ(dravik::control(*s, CTL_SET_CDXA_DIRECT, 0), 0);
  ASSERT_GE(open_buffer(name_buffer(path)), 0);
  EXPECT_FALSE(s->source.sectors.on);
  EXPECT_EQ(s->parse.bytes[24], 0x00);  // the file's own first sector
  dravik::close_source(*s);
  dravik::control(*s, CTL_SET_CDXA_DIRECT, 1);
  // A .DAT outside MPEGAV and SEGMENT does not qualify.
  std::string other = on_drive("D:/CDI/AVSEQ01.DAT", media_test::cdxa_file(100, 40));
  ASSERT_GE(open_buffer(name_buffer(other)), 0);
  EXPECT_FALSE(s->source.sectors.on);
}

TEST_F(SectorAccess, WithoutSectorAccessTheFileSystemServes) {
  use_video_cd(100, 40);
  g_disc.ready = false;
  std::string path = on_drive("D:/MPEGAV/AVSEQ01.DAT", media_test::cdxa_file(100, 40));
  ASSERT_GE(open_buffer(name_buffer(path)), 0);
  EXPECT_FALSE(s->source.sectors.on);
  EXPECT_EQ(s->parse.bytes[24], 0x00);
}

TEST_F(SectorAccess, VobOnTheDiscIsReadBy2048ByteSectors) {
  use_dvd();
  std::string path = on_drive("D:/VIDEO_TS/VTS_01_1.VOB", Bytes(4096, 0x22));
  ASSERT_GE(open_buffer(name_buffer(path)), 0);
  ASSERT_TRUE(s->source.sectors.on);
  EXPECT_EQ(s->source.sectors.first_sector, 500);
  EXPECT_EQ(s->parse.valid_bytes, 0x10000);
  EXPECT_EQ(s->parse.bytes[0] | s->parse.bytes[1] << 8, 500);
  EXPECT_EQ(dravik::seek_source(*s, 10 * 2048 + 5, 0), 10 * 2048);
  EXPECT_EQ(s->parse.bytes[0] | s->parse.bytes[1] << 8, 510);
}

Bytes joined_buffer(const std::string &name, int first_part, int last_part, int first_sector, int sectors) {
  Bytes b = name_buffer(name);
  media_test::append(b, {uint8_t(first_part), uint8_t(last_part)});
  media_test::put_le32(b, uint32_t(first_sector));
  media_test::put_le32(b, uint32_t(sectors));
  return b;
}

TEST_F(SectorAccess, JoinedTitleSetReadsItsExtent) {
  use_dvd();
  on_drive("D:/VIDEO_TS/VTS_01_1.VOB", Bytes(4096, 0x22));
  Bytes buf = joined_buffer("D:/VIDEO_TS/VTS_01_X.VOB", 1, 3, 500, 3000);
  int32_t length = 0;
  EXPECT_EQ(dravik::probe_source(*s, dravik::parse_path_buffer(buf.data(), int64_t(buf.size())), &length), 0);
  EXPECT_EQ(length, 3000 * 2048);
  ASSERT_GE(open_buffer(buf), 0);
  EXPECT_EQ(s->source.size, 3000 * 2048);
  EXPECT_EQ(s->source.sector_scale, 0);
  EXPECT_TRUE(s->source.sectors.on);
  EXPECT_EQ(s->block_count, 16);
  EXPECT_EQ(dravik::control(*s, CTL_IS_DVD, 0), 1);
  EXPECT_EQ(s->parse.bytes[0] | s->parse.bytes[1] << 8, 500);
  // The extent ends where the buffer says: its last sectors, then nothing.
  EXPECT_EQ(dravik::seek_source(*s, 2990 * 2048, 0), 2990 * 2048);
  EXPECT_EQ(s->parse.valid_bytes, 10 * 2048);
}

TEST_F(SectorAccess, BigJoinedSetCountsInScaledUnits) {
  use_dvd();
  Bytes nav(2048, 0);
  const uint8_t dsi[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
  std::copy(dsi, dsi + 7, nav.begin() + 1024);
  g_disc.data[500] = nav;
  on_drive("D:/VIDEO_TS/VTS_01_1.VOB", Bytes(4096, 0x22));
  Bytes buf = joined_buffer("D:/VIDEO_TS/VTS_01_X.VOB", 1, 9, 500, 4000000);
  ASSERT_GE(open_buffer(buf), 0);
  EXPECT_EQ(s->source.sector_scale, 469);
  EXPECT_EQ(s->source.size, 1876000000);
  EXPECT_TRUE(s->source.nav_pack);
  EXPECT_EQ(dravik::seek_source(*s, 469 * 100, 0), 469 * 100);
  EXPECT_EQ(s->parse.bytes[0] | s->parse.bytes[1] << 8, 600);
  EXPECT_EQ(dravik::seek_source(*s, 0, 1), 469 * 132);  // 32 sectors read
}

TEST_F(SectorAccess, DriveCommandsPassThrough) {
  g_disc.track_start = 1000;
  g_disc.track_length = 77;
  struct {
    int32_t cmd;
    intptr_t param;
    intptr_t result;
    int drive;
    int sent;  // command << 16 | param seen by the drive, -1 none
  } cases[] = {
      {CTL_DRIVE_OP5, 41, 42, 0, SECTREL_CMD_OP5 << 16 | 41},
      {CTL_SECTOR_READY, 0, 1, 0, SECTREL_CMD_READY << 16},
      {CTL_TRACK_START, 3 * 65536 + 2, 1000, 3, SECTREL_CMD_TRACK_START << 16 | 2},
      {CTL_TRACK_LENGTH, 3 * 65536 + 2, 77, 3, SECTREL_CMD_TRACK_LENGTH << 16 | 2},
      {CTL_DISC_INFO, 3, 0x1234, 3, SECTREL_CMD_DISC_VALUE << 16},
      {CTL_DOOR_OPEN, 3, 1, 3, SECTREL_CMD_DOOR << 16 | 1},
      {CTL_DOOR_CLOSE, 3, 1, 3, SECTREL_CMD_DOOR << 16 | 0},
      {CTL_DRIVE_OP12, 9, 0, 0, SECTREL_CMD_OP12 << 16 | 9},
      {CTL_DRIVE_OPEN, 3, 1, -1, -1},
      {CTL_DRIVE_OPEN, 4, 0, -1, -1},
  };
  for (const auto &c : cases) {
    g_disc.calls.clear();
    EXPECT_EQ(dravik::control(*s, c.cmd, c.param), c.result) << c.cmd;
    if (c.sent >= 0) {
      ASSERT_FALSE(g_disc.calls.empty()) << c.cmd;
      EXPECT_EQ(g_disc.calls.back(), std::make_pair(c.drive, c.sent)) << c.cmd;
    }
  }
  g_disc.ready = false;
  EXPECT_EQ(dravik::control(*s, CTL_DISC_INFO, 3), 0);
  EXPECT_EQ(dravik::control(*s, CTL_DRIVE_ENTRY, 0), reinterpret_cast<intptr_t>(&fake_command));
}

}  // namespace
