// Video CD recognition (commands 24, 25) against vcd-info, and starts at
// the entry points vcd-info lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "media/media_api.h"
#include "tests/media/disc/disc_support.h"

namespace {

using namespace disc_test;

constexpr int kV = 'V' - 'A';

// vcd-info -f: "VCD 1.1 detected", "VCD 2.0 detected", "HQVCD detected",
// "SVCD detected" -> the kind of command 25.
int vcd_info_kind(const std::string &cue) {
  const std::string out = run("vcd-info -B -f --cue-file '" + cue + "' 2>/dev/null");
  if (out.find("SVCD detected") != std::string::npos) return 3;
  if (out.find("HQVCD detected") != std::string::npos) return 2;
  if (out.find("VCD 1.1 detected") != std::string::npos || out.find("VCD 2.0 detected") != std::string::npos)
    return 1;
  return 0;
}

// vcd-info -E: "ENTRY[01]: track#  1 (SEQUENCE[0]), LSN    620 (MSF 00:10:20)".
std::vector<std::pair<int, std::string>> vcd_info_entries(const std::string &cue) {
  std::istringstream lines(run("vcd-info -B -E --cue-file '" + cue + "' 2>/dev/null"));
  std::regex row(R"(ENTRY\[\d+\]: track#\s+(\d+).*LSN\s+(\d+) \(MSF (\d\d):(\d\d):(\d\d)\))");
  std::vector<std::pair<int, std::string>> entries;
  std::string line;
  std::smatch m;
  while (std::getline(lines, line))
    if (std::regex_search(line, m, row))
      entries.push_back({std::stoi(m[2]), std::string(m[3]) + m[4].str() + m[5].str()});
  return entries;
}

class VideoCd : public testing::Test {
 protected:
  void TearDown() override {
    SysClose();
    unmap_all();
  }
};

TEST_F(VideoCd, KindAndTracksAgreeWithVcdInfo) {
  struct {
    const char *cue;
    int tracks;  // MPEG tracks; the mixed disc's audio track rules it out
  } cases[] = {{"vcd2.cue", 2},    {"vcd11.cue", 2},     {"svcd.cue", 1}, {"hqvcd.cue", 1},
               {"entries.cue", 2}, {"vcd2_2336.cue", 2}, {"mixed.cue", 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.cue);
    map_drive('V', disc_path(c.cue));
    // vcd-info cannot read the 2336-byte image; the same disc in 2352 can.
    const std::string oracle = std::string(c.cue) == "vcd2_2336.cue" ? "vcd2.cue" : c.cue;
    const int kind = std::string(c.cue) == "mixed.cue" ? 0 : vcd_info_kind(disc_path(oracle));
    ASSERT_TRUE(std::string(c.cue) == "mixed.cue" || kind > 0) << "vcd-info did not recognise the disc";
    SysControl(CTL_VCD_KIND, 0);
    EXPECT_EQ(SysControl(CTL_VCD_TRACKS, kV), c.tracks);
    EXPECT_EQ(SysControl(CTL_VCD_KIND, 0), kind);
  }
  // No disc in the drive: 0, kind 0.
  unmap_all();
  EXPECT_EQ(SysControl(CTL_VCD_TRACKS, kV), 0);
  EXPECT_EQ(SysControl(CTL_VCD_KIND, 0), 0);
}

TEST_F(VideoCd, EntryPointsStartTheTrackFileWhereVcdInfoSays) {
  map_drive('V', disc_path("entries.cue"));
  const auto entries = vcd_info_entries(disc_path("entries.cue"));
  ASSERT_EQ(entries.size(), 4u) << "vcd-info listed no entries";
  ASSERT_EQ(entries[1].first, 620);
  ASSERT_GE(SysOpen("V:/MPEGAV/AVSEQ01.DAT", 0), 0);
  const Bytes whole = [] {
    Bytes got, buf(16384);
    int32_t n;
    while ((n = SysReadVideo(buf.data(), 16384)) > 0) got.insert(got.end(), buf.begin(), buf.begin() + n);
    return got;
  }();
  SysClose();
  ASSERT_GT(whole.size(), 100000u);
  const uint32_t bcd = uint32_t(std::stoul(entries[1].second, nullptr, 16));  // 0x00001020
  ASSERT_EQ(bcd, 0x001020u);
  ASSERT_GE(SysOpen("V:/MPEGAV/AVSEQ01.DAT", bcd), 0);
  Bytes from_entry, buf(16384);
  int32_t n;
  while ((n = SysReadVideo(buf.data(), 16384)) > 0)
    from_entry.insert(from_entry.end(), buf.begin(), buf.begin() + n);
  ASSERT_GT(from_entry.size(), 10000u);
  ASSERT_LT(from_entry.size(), whole.size());
  // A suffix of the whole video (the last reads are rounded up to 4 bytes)
  // that starts with a sequence header within its first sector's payload.
  auto at = std::search(whole.begin(), whole.end(), from_entry.begin(), from_entry.begin() + 64);
  ASSERT_NE(at, whole.end());
  EXPECT_LT(whole.end() - at - long(from_entry.size()), 4);
  EXPECT_GT(whole.end() - at - long(from_entry.size()), -4);
  EXPECT_TRUE(std::equal(from_entry.begin(), from_entry.end() - 4, at));
  const uint8_t seq[4] = {0, 0, 1, 0xB3};
  auto hit = std::search(from_entry.begin(), from_entry.begin() + 2324, seq, seq + 4);
  EXPECT_NE(hit, from_entry.begin() + 2324);
  // The entry is the floor of seeks: 170 sectors after the file's first.
  EXPECT_EQ(SysSeek(0, 0), 44 + 170 * 2352);
  SysClose();
  // An entry past the end of the file starts at its beginning.
  ASSERT_GE(SysOpen("V:/MPEGAV/AVSEQ01.DAT", 0x00590000), 0);
  EXPECT_EQ(SysSeek(0, 0), 44);
}

}  // namespace
