// Angle-aware reading on a synthetic interleaved title: two angles, one
// navigation pack and five data sectors per interleaved unit, framed by
// ordinary units. Every sector names its angle, unit and index, so the
// blocks read say exactly which units were played.
#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "media/blocks/angle_reader.h"
#include "media/blocks/block_reader.h"
#include "media/exports/control.h"
#include "media/source/path_forms.h"
#include "media/source/source.h"
#include "media/state.h"
#include "tests/support/test_media.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kUnits = 10;   // interleaved units per angle
constexpr int kUnitLen = 6;  // navigation pack + 5 sectors
constexpr int kLead = 4;     // the ordinary unit before them
constexpr int kTail = 4;     // and after

void put_be32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// The tag of a sector: angle (0 = ordinary), unit, index in the unit.
struct Tag {
  int angle, unit, index;
  bool operator==(const Tag &o) const { return angle == o.angle && unit == o.unit && index == o.index; }
};

void PrintTo(const Tag &t, std::ostream *os) { *os << t.angle << "/" << t.unit << "/" << t.index; }

void tag(uint8_t *s, Tag t) {
  s[0] = 'S';
  s[1] = uint8_t(t.angle);
  s[2] = uint8_t(t.unit);
  s[3] = uint8_t(t.index);
}

void navigation_pack(uint8_t *s, uint32_t vobu_end, uint16_t vob, bool interleaved, uint32_t unit_end,
                     uint32_t next, const int32_t angle_at[2]) {
  const uint8_t dsi[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
  std::memcpy(s + 1024, dsi, 7);
  uint8_t *d = s + 1031;
  put_be32(d + 8, vobu_end);
  d[24] = uint8_t(vob >> 8), d[25] = uint8_t(vob);
  d[32] = interleaved ? 0x40 : 0;
  put_be32(d + 34, unit_end);
  put_be32(d + 38, next);
  for (int a = 0; a < 2 && interleaved; ++a) {
    put_be32(d + 180 + 6 * a, uint32_t(angle_at[a]));
    d[184 + 6 * a] = 0, d[185 + 6 * a] = kUnitLen;  // size
  }
}

// Sector of unit k of angle a (1, 2).
int unit_start(int a, int k) { return kLead + (2 * k + (a - 1)) * kUnitLen; }

Bytes build_title() {
  const int sectors = kLead + 2 * kUnits * kUnitLen + kTail;
  Bytes b(size_t(sectors) * 2048, 0);
  auto sec = [&](int n) { return b.data() + size_t(n) * 2048; };
  const int32_t none[2] = {0, 0};
  navigation_pack(sec(0), kLead - 1, 1, false, 0, 0, none);
  for (int i = 0; i < kLead; ++i) tag(sec(i), {0, 0, i});
  for (int k = 0; k < kUnits; ++k) {
    for (int a = 1; a <= 2; ++a) {
      const int p = unit_start(a, k);
      // Each angle's entry points at that angle's unit of the same time;
      // its own entry at itself (0: stay).
      const int32_t at[2] = {unit_start(1, k) - p, unit_start(2, k) - p};
      const uint32_t next = k + 1 < kUnits ? uint32_t(unit_start(a, k + 1) - p) : 0xFFFFFFFF;
      navigation_pack(sec(p), kUnitLen - 1, uint16_t(a + 1), true, kUnitLen - 1, next, at);
      for (int i = 0; i < kUnitLen; ++i) tag(sec(p + i), {a, k, i});
    }
  }
  const int tail = kLead + 2 * kUnits * kUnitLen;
  navigation_pack(sec(tail), kTail - 1, 9, false, 0, 0, none);
  for (int i = 0; i < kTail; ++i) tag(sec(tail + i), {0, 9, i});
  return b;
}

std::vector<Tag> tags_of(const uint8_t *b, size_t n) {
  std::vector<Tag> t;
  for (size_t i = 0; i + 2048 <= n; i += 2048) t.push_back({b[i + 1], b[i + 2], b[i + 3]});
  return t;
}

// The tags of one whole angle's play: lead, the angle's units from unit
// `from` on (earlier ones of `before`, and the pack of the unit where the
// switch came), tail.
std::vector<Tag> play(int angle, int before = 1, int from = 0, bool nav_of_switch = false) {
  std::vector<Tag> t;
  for (int i = 0; i < kLead; ++i) t.push_back({0, 0, i});
  for (int k = 0; k < kUnits; ++k) {
    if (k < from) {
      for (int i = 0; i < kUnitLen; ++i) t.push_back({before, k, i});
    } else {
      if (k == from && nav_of_switch) t.push_back({before, k, 0});
      for (int i = 0; i < kUnitLen; ++i) t.push_back({angle, k, i});
    }
  }
  // Angle 2's last unit follows angle 1's: its pack is read, the rest
  // skipped.
  if (angle == 1) t.push_back({2, kUnits - 1, 0});
  for (int i = 0; i < kTail; ++i) t.push_back({0, 9, i});
  return t;
}

class AngleReading : public testing::Test {
 protected:
  void SetUp() override {
    path_ = testing_support::scratch_dir() + "/ANGLES.VOB";
    const Bytes b = build_title();
    FILE *f = std::fopen(path_.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
  void TearDown() override { dravik::close_source(*s); }

  void open() {
    std::string buf = path_;
    ASSERT_GE(dravik::open_source(*s, dravik::parse_path_buffer(buf.c_str(), int64_t(buf.size() + 1)), 0), 0);
    ASSERT_TRUE(s->source.nav_pack);
  }
  // Seeks to pos and collects the tags of every block from there on;
  // before_block is called once after the first block.
  template <class F>
  std::vector<Tag> read_from(int32_t pos, F &&after_first) {
    EXPECT_EQ(dravik::seek_source(*s, pos, 0), pos);
    std::vector<Tag> got = tags_of(s->parse.bytes.get(), size_t(s->parse.valid_bytes));
    after_first();
    for (int guard = 0; guard < 1000; ++guard) {
      if (dravik::load_parse_block(*s) <= 0) break;
      auto more = tags_of(s->parse.bytes.get(), size_t(s->parse.valid_bytes));
      got.insert(got.end(), more.begin(), more.end());
    }
    return got;
  }
  std::vector<Tag> read_from(int32_t pos) {
    return read_from(pos, [] {});
  }
  // The same with the read-ahead thread paused, one block read at a time
  // in this thread: a choice made between two blocks applies from the next.
  template <class F>
  std::vector<Tag> read_direct(int32_t pos, F &&after_first) {
    dravik::stop_block_reader_for_seek(*s);
    s->source.position = pos;
    dravik::rearm_angle_reading(*s);
    std::vector<uint8_t> block(0x10000);
    std::vector<Tag> got;
    for (int n, i = 0; i < 1000 && (n = dravik::read_source_block(*s, block.data())) > 0; ++i) {
      auto more = tags_of(block.data(), size_t(n));
      got.insert(got.end(), more.begin(), more.end());
      if (i == 0) after_first();
    }
    return got;
  }

  std::string path_;
  std::unique_ptr<dravik::State> s = std::make_unique<dravik::State>();
};

TEST_F(AngleReading, NoRequestPlaysAngleOneAndSkipsTheOthers) {
  open();
  EXPECT_EQ(read_from(0), play(1));
  EXPECT_EQ(dravik::control(*s, CTL_ANGLE_COUNT, 0), 0);  // the tail is not interleaved
}

TEST_F(AngleReading, AngleTwoIsJumpedToAtTheNextUnitAndAgainAfterASeek) {
  open();
  dravik::control(*s, CTL_ANGLE_SELECT, 2);
  EXPECT_EQ(dravik::control(*s, CTL_ANGLE_CURRENT, 0), 2);
  // From the start: the first interleaved unit's pack, then angle 2.
  EXPECT_EQ(read_from(0), play(2, 1, 0, true));
  // A seek applies the choice again.
  EXPECT_EQ(read_from(0), play(2, 1, 0, true));
}

TEST_F(AngleReading, ChoosingWhilePlayingSwitchesAtTheNextUnit) {
  open();
  // The first block (32 sectors: the lead and angle 1's units 0..3 whole,
  // the other angle's skipped) ends inside unit 4: the switch comes at 5.
  auto got = read_direct(0, [&] { dravik::control(*s, CTL_ANGLE_SELECT, 2); });
  EXPECT_EQ(got, play(2, 1, 5, true));
  EXPECT_EQ(dravik::control(*s, CTL_ANGLE_COUNT, 0), 0);
}

TEST_F(AngleReading, AnAngleBeyondTheCountChangesNothing) {
  open();
  dravik::control(*s, CTL_ANGLE_SELECT, 5);
  EXPECT_EQ(read_from(0), play(1));
  dravik::control(*s, CTL_ANGLE_SELECT, 10);  // outside 0..9: ignored
  EXPECT_EQ(dravik::control(*s, CTL_ANGLE_CURRENT, 0), 5);
}

TEST_F(AngleReading, CountIsTakenFromTheInterleavedUnits) {
  open();
  dravik::seek_source(*s, 0, 0);
  EXPECT_EQ(dravik::control(*s, CTL_ANGLE_COUNT, 0), 2);
}

}  // namespace

namespace {

// Navigation packs with damaged fields: the reader ends, never stays in
// place and never leaves the source.
TEST_F(AngleReading, DamagedNavigationPacksNeitherHangNorLeaveTheSource) {
  struct Damage {
    const char *what;
    int sector;
    int dsi_offset;  // field to overwrite (DSI data offset)
    uint32_t value;
    int angle;
  } cases[] = {
      {"next unit 0", unit_start(1, 0), 38, 0, 0},
      {"next unit behind", unit_start(1, 1), 38, 0xFFFFFFF0, 0},
      {"huge unit end", unit_start(1, 0), 34, 0x7FFFFFF0, 0},
      {"huge unit length", 0, 8, 0xFFFFFFFF, 0},
      {"angle far ahead", unit_start(1, 0), 186, 0x7FFFFFF0, 2},
      {"angle far ahead of a later unit", unit_start(1, 2), 186, 0x7FFFFFF0, 2},
  };
  const int total = kLead + 2 * kUnits * kUnitLen + kTail;
  for (const Damage &d : cases) {
    SCOPED_TRACE(d.what);
    Bytes b = build_title();
    put_be32(b.data() + size_t(d.sector) * 2048 + 1031 + d.dsi_offset, d.value);
    FILE *f = std::fopen(path_.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    open();
    dravik::control(*s, CTL_ANGLE_SELECT, d.angle);
    auto got = read_direct(0, [] {});
    EXPECT_LE(int(got.size()), 2 * total);
    EXPECT_GE(s->source.position, 0);
    EXPECT_LE(s->source.position, s->source.size);
    dravik::close_source(*s);
  }
}

}  // namespace

namespace {

// The navigation pack fields as libdvdread reads them (DSI at 1031, PCI at
// 45), against ours: on dvdauthor's title and on the synthetic one.
void expect_fields_as_libdvdread(const Bytes &vob, int *packs) {
  for (size_t at = 0; at + 2048 <= vob.size(); at += 2048) {
    const uint8_t *sector = vob.data() + at;
    if (!dravik::is_navigation_pack(sector)) continue;
    ++*packs;
    std::vector<uint8_t> copy(sector, sector + 2048);
    dsi_t dsi;
    pci_t pci;
    navRead_DSI(&dsi, copy.data() + DSI_START_BYTE);
    navRead_PCI(&pci, copy.data() + 45);
    const dravik::NavPack ours = dravik::read_navigation_pack(sector);
    SCOPED_TRACE("sector " + std::to_string(at / 2048));
    EXPECT_EQ(ours.vobu_end, dsi.dsi_gi.vobu_ea);
    EXPECT_EQ(ours.vob_id, dsi.dsi_gi.vobu_vob_idn);
    EXPECT_EQ(ours.interleaved, (dsi.sml_pbi.category & 0x4000) != 0);
    EXPECT_EQ(ours.unit_end, dsi.sml_pbi.ilvu_ea);
    EXPECT_EQ(ours.next_unit, dsi.sml_pbi.ilvu_sa);
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(ours.seamless_start[i], dsi.sml_agli.data[i].address) << i;
      EXPECT_EQ(ours.seamless_size[i], dsi.sml_agli.data[i].size) << i;
      EXPECT_EQ(ours.non_seamless[i], pci.nsml_agli.nsml_agl_dsta[i]) << i;
    }
  }
}

TEST(NavigationPack, FieldsAgreeWithLibdvdread) {
  int packs = 0;
  const std::string title = testing_support::media_path("disc/dvd_title.vob");
  FILE *f = std::fopen(title.c_str(), "rb");
  ASSERT_TRUE(f) << title;
  Bytes vob;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) vob.insert(vob.end(), buf, buf + n);
  std::fclose(f);
  expect_fields_as_libdvdread(vob, &packs);
  EXPECT_GT(packs, 10);
  const int authored = packs;
  Bytes synthetic = build_title();
  // Non-seamless entries too, one with the "before" bit.
  put_be32(synthetic.data() + size_t(unit_start(1, 1)) * 2048 + 105 + 4, 0x80000010);
  expect_fields_as_libdvdread(synthetic, &packs);
  EXPECT_EQ(packs - authored, 2 + 2 * kUnits);
}

}  // namespace
