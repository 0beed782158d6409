// Video CD recognition and title-set joining on a fake drive, for the
// answers no real image gives: last tracks outside 2..99, a track type
// that rules the disc out, the MPEG-sector fallback, parts of no length.
#include "media/source/disc_structure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "components/sectrel/sectrel.h"
#include "media/source/sector_api.h"
#include "media/state.h"

namespace {

constexpr int kDrive = 3;

struct Fake {
  int32_t last = 3;
  std::map<int, int32_t> types;
  std::vector<uint8_t> info = std::vector<uint8_t>(2352, 0);  // raw sector 150
  std::vector<uint8_t> mpeg = std::vector<uint8_t>(2352, 0);  // raw sector at track 2 + 150
  std::map<int, std::vector<uint8_t>> data;                   // 2048-byte sectors
};
Fake g;

int32_t open_drive(int32_t d) { return d == kDrive; }
int32_t read_raw(int32_t, void *buf, int32_t first, int32_t count) {
  if (count != 1) return 0;
  if (first == 150)
    std::memcpy(buf, g.info.data(), 2352);
  else if (first == 1000 + 150)
    std::memcpy(buf, g.mpeg.data(), 2352);
  else
    return 0;
  return 1;
}
int32_t read_raw8(int32_t d, void *buf, int32_t first) { return read_raw(d, buf, first, 8); }
int32_t command(int32_t, int32_t cmd, int32_t param) {
  switch (cmd) {
    case SECTREL_CMD_READY:
      return 1;
    case SECTREL_CMD_LAST_TRACK:
      return int32_t(uint32_t(g.last) << 16);
    case SECTREL_CMD_TRACK_TYPE:
      return g.types.count(param) ? g.types[param] : 0;
    case SECTREL_CMD_TRACK_START:
      return param == 2 ? 1000 : 0;
    default:
      return 0;
  }
}
int32_t read_data(int32_t, void *buf, int32_t first, int32_t count) {
  for (int i = 0; i < count; ++i) {
    auto it = g.data.find(first + i);
    if (it == g.data.end())
      std::memset(static_cast<uint8_t *>(buf) + i * 2048, 0, 2048);
    else
      std::memcpy(static_cast<uint8_t *>(buf) + i * 2048, it->second.data(), 2048);
  }
  return count * 2048;
}
bool is_cd(int32_t d) { return d == kDrive; }
uint32_t serial(int32_t) { return 1; }
const dravik::SectorApi kFake = {open_drive, read_raw8, read_raw, command, read_data, is_cd, serial};

class DiscStructure : public testing::Test {
 protected:
  void SetUp() override {
    g = Fake{};
    dravik::set_sector_api(&kFake);
  }
  void TearDown() override { dravik::set_sector_api(nullptr); }
  std::unique_ptr<dravik::State> s = std::make_unique<dravik::State>();
};

TEST_F(DiscStructure, RecognitionAnswersZeroForWhatIsNoVideoCd) {
  std::memcpy(g.info.data() + 24, "SUPERVCD", 8);
  EXPECT_EQ(dravik::recognise_video_cd(*s, kDrive), 2);
  EXPECT_EQ(s->settings.vcd_kind, 3);
  struct {
    int32_t last;
    int type_track, type;
  } refused[] = {{1, 0, 0}, {0, 0, 0}, {100, 0, 0}, {0xFFFF, 0, 0}, {3, 1, 2}, {3, 3, 1}};
  for (const auto &r : refused) {
    g.last = r.last;
    g.types.clear();
    if (r.type_track) g.types[r.type_track] = r.type;
    EXPECT_EQ(dravik::recognise_video_cd(*s, kDrive), 0) << r.last << " " << r.type_track;
    EXPECT_EQ(s->settings.vcd_kind, 0);
  }
}

TEST_F(DiscStructure, AnMpegSectorOfTrackTwoMakesAVideoCd) {
  g.last = 4;
  // No INFO sector: a form-2 real-time sector with agreeing subheaders.
  const uint8_t sub[4] = {1, 1, 0x62, 15};
  std::memcpy(g.mpeg.data() + 16, sub, 4);
  std::memcpy(g.mpeg.data() + 20, sub, 4);
  EXPECT_EQ(dravik::recognise_video_cd(*s, kDrive), 3);
  EXPECT_EQ(s->settings.vcd_kind, 1);
  g.mpeg[22] = 0x20;  // copies disagree
  EXPECT_EQ(dravik::recognise_video_cd(*s, kDrive), 0);
}

std::vector<uint8_t> dir_record(const std::string &name, int extent, int bytes) {
  std::vector<uint8_t> r(33, 0);
  r[0] = uint8_t(33 + name.size() + ((name.size() + 1) & 1));
  for (int i = 0; i < 4; ++i)
    r[2 + i] = uint8_t(extent >> (8 * i)), r[10 + i] = uint8_t(uint32_t(bytes) >> (8 * i));
  r[32] = uint8_t(name.size());
  r.insert(r.end(), name.begin(), name.end());
  r.resize(r[0], 0);
  return r;
}

// VIDEO_TS at 20 holding two parts of the given lengths (bytes).
void dvd_with_parts(int bytes1, int bytes2) {
  std::vector<uint8_t> pvd(2048, 0), table(2048, 0), dir(2048, 0);
  pvd[0] = 1;
  std::memcpy(pvd.data() + 1, "CD001", 5);
  pvd[140] = 18;
  const uint8_t rec[] = {8, 0, 20, 0, 0, 0, 1, 0, 'V', 'I', 'D', 'E', 'O', '_', 'T', 'S'};
  std::memcpy(table.data(), rec, sizeof rec);
  size_t at = 0;
  for (const auto &r : {dir_record(std::string(1, '\0'), 20, 2048), dir_record("VTS_01_1.VOB;1", 100, bytes1),
                        dir_record("VTS_01_2.VOB;1", 100 + bytes1 / 2048, bytes2)}) {
    std::memcpy(dir.data() + at, r.data(), r.size());
    at += r.size();
  }
  g.data[16] = pvd;
  g.data[18] = table;
  g.data[20] = dir;
}

int32_t join(dravik::State &s, std::vector<char> &b) {
  DravikJoinRequest r = {b.data(), int32_t(b.size())};
  return dravik::join_title_set(s, &r);
}

TEST_F(DiscStructure, JoiningRefusesPartsOfNoLength) {
  const std::string name = "D:/VIDEO_TS/VTS_01_X.VOB";
  std::vector<char> b(name.begin(), name.end());
  b.push_back(0);
  b.push_back(1);
  b.push_back(2);
  b.resize(b.size() + 8, 0);
  dvd_with_parts(4096, 6144);
  EXPECT_EQ(join(*s, b), 1);
  int32_t total;
  std::memcpy(&total, b.data() + name.size() + 7, 4);
  EXPECT_EQ(total, 5);
  for (int bad : {0, -4096}) {
    s->listing.forget();
    dvd_with_parts(4096, bad);
    std::vector<char> c = b;
    std::memset(c.data() + name.size() + 3, 0x55, 8);
    const std::vector<char> before = c;
    EXPECT_EQ(join(*s, c), 0) << bad;
    EXPECT_EQ(c, before);
  }
  // A buffer too short for its fields.
  std::vector<char> short_buf(b.begin(), b.end() - 1);
  EXPECT_EQ(join(*s, short_buf), 0);
}

}  // namespace
