// Joining a DVD title set's VOB parts (command 65) on ISO images against
// isoinfo's listing, and reading the joined extent.
#include <dvdread/dvd_reader.h>
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>

#include "media/media_api.h"
#include "tests/media/disc/disc_support.h"

namespace {

using namespace disc_test;

// isoinfo -l: "...  2211840 Dec 10 2026 [    317 00]  VTS_01_1.VOB;1".
std::pair<int, int> isoinfo_extent(const std::string &iso, const std::string &name) {
  std::istringstream lines(run("isoinfo -l -i '" + iso + "' 2>/dev/null"));
  std::regex row(R"((\d+) \w+ +\d+ +\d+ \[ *(\d+) \d+\]\s+(\S+);1)");
  std::string line;
  std::smatch m;
  while (std::getline(lines, line))
    if (std::regex_search(line, m, row) && m[3] == name) return {std::stoi(m[2]), std::stoi(m[1]) / 2048};
  return {-1, -1};
}

Bytes join_buffer(const std::string &name, int first, int last) {
  Bytes b(name.begin(), name.end());
  b.push_back(0);
  b.insert(b.end(), {uint8_t(first), uint8_t(last)});
  b.insert(b.end(), 8, 0xEE);  // filled by the join
  return b;
}

int32_t field(const Bytes &b, size_t at) {
  return int32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24);
}

int32_t join(Bytes &b) {
  DravikJoinRequest r = {reinterpret_cast<char *>(b.data()), int32_t(b.size())};
  return int32_t(SysControl(CTL_JOIN_VTS, reinterpret_cast<intptr_t>(&r)));
}

class Join : public testing::Test {
 protected:
  void TearDown() override {
    SysClose();
    SysControl(CTL_FORGET_DISC, 0);
    unmap_all();
  }
};

TEST_F(Join, PartsOneAfterAnotherJoinAtTheFirstSector) {
  const std::string iso = disc_path("dvd3.iso");
  const auto p1 = isoinfo_extent(iso, "VTS_01_1.VOB"), p2 = isoinfo_extent(iso, "VTS_01_2.VOB"),
             p3 = isoinfo_extent(iso, "VTS_01_3.VOB");
  ASSERT_GT(p1.first, 0) << "isoinfo gave no listing";
  map_drive('W', iso);
  const std::string name = "W:/VIDEO_TS/VTS_01_X.VOB";
  Bytes b = join_buffer(name, 1, 3);
  ASSERT_EQ(join(b), 1);
  EXPECT_EQ(field(b, name.size() + 3), p1.first);
  EXPECT_EQ(field(b, name.size() + 7), p1.second + p2.second + p3.second);

  // The joined extent is the title's VOB, read by sectors.
  int32_t length = 0;
  EXPECT_EQ(SysProbeBuffer(b.data(), int32_t(b.size()), &length), SOURCE_KIND_SYSTEM);
  EXPECT_EQ(length, (p1.second + p2.second + p3.second) * 2048);
  ASSERT_GE(SysOpenBuffer(b.data(), int32_t(b.size()), 0), 0);
  EXPECT_EQ(SysControl(CTL_IS_DVD, 0), 1);
  // libdvdread's reading of the title VOBs is the oracle.
  Bytes title;
  {
    dvd_reader_t *dvd = DVDOpen(iso.c_str());
    ASSERT_TRUE(dvd) << "libdvdread cannot open the image";
    dvd_file_t *vobs = DVDOpenFile(dvd, 1, DVD_READ_TITLE_VOBS);
    ASSERT_TRUE(vobs);
    const ssize_t blocks = DVDFileSize(vobs);
    title.resize(size_t(blocks) * 2048);
    EXPECT_EQ(DVDReadBlocks(vobs, 0, size_t(blocks), title.data()), blocks);
    DVDCloseFile(vobs);
    DVDClose(dvd);
  }
  ASSERT_EQ(int(title.size()), length);
  // After a seek to 0 the parser holds the first block; the blocks read
  // after it follow on.
  ASSERT_EQ(SysSeek(0, 0), 0);
  Bytes got(title.begin(), title.begin() + 0x10000);
  const uint8_t *block = nullptr;
  for (;;) {
    const int32_t n = int32_t(SysControl(CTL_READ_BLOCK, reinterpret_cast<intptr_t>(&block)));
    if (n <= 0) break;
    got.insert(got.end(), block, block + n);
  }
  EXPECT_EQ(got.size(), title.size());
  EXPECT_TRUE(got == title);
}

TEST_F(Join, MissingPartsGapsAndBadRequestsAreRefused) {
  struct {
    const char *iso;
    int first, last;
  } cases[] = {{"dvd_missing.iso", 1, 3}, {"dvd_gap.iso", 1, 3}, {"dvd3.iso", 0, 3},
               {"dvd3.iso", 1, 10},       {"dvd3.iso", 3, 1},    {"dvd3.iso", 1, 4}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.iso) + " " + std::to_string(c.first) + ".." + std::to_string(c.last));
    map_drive('W', disc_path(c.iso));
    SysControl(CTL_FORGET_DISC, 0);
    Bytes b = join_buffer("W:/VIDEO_TS/VTS_01_X.VOB", c.first, c.last);
    const Bytes before = b;
    EXPECT_EQ(join(b), 0);
    EXPECT_EQ(b, before);
  }
  // A single part always lies together.
  map_drive('W', disc_path("dvd_gap.iso"));
  SysControl(CTL_FORGET_DISC, 0);
  Bytes two = join_buffer("W:/VIDEO_TS/VTS_01_X.VOB", 2, 2);
  EXPECT_EQ(join(two), 1);
  Bytes bad = join_buffer("W:/VIDEO_TS/VTS_01_1.VOB", 1, 3);
  EXPECT_EQ(join(bad), 0);
  DravikJoinRequest none = {nullptr, 0};
  EXPECT_EQ(SysControl(CTL_JOIN_VTS, reinterpret_cast<intptr_t>(&none)), 0);
  EXPECT_EQ(SysControl(CTL_JOIN_VTS, 0), 0);
}

}  // namespace
