// Opening and positioning sources through the library's internals: raw
// sector files (seek snapping, entry points), DVD files (navigation pack),
// plain files and the raw elementary modes.
#include "media/source/source.h"

#include <gtest/gtest.h>

#include <memory>

#include "media/rings/reader.h"
#include "media/source/path_forms.h"
#include "media/source/probe.h"
#include "media/state.h"
#include "tests/media/fixtures.h"

namespace {

using media_test::Bytes;

class Source : public testing::Test {
 protected:
  int32_t open(const std::string &path, uint32_t start = 0) {
    std::string buf = path;
    return dravik::open_source(*s, dravik::parse_path_buffer(buf.c_str(), int64_t(buf.size()) + 1), start);
  }
  void TearDown() override { dravik::close_source(*s); }
  std::unique_ptr<dravik::State> s = std::make_unique<dravik::State>();
};

TEST_F(Source, RawSectorFileStartsAfterItsHeader) {
  std::string path = media_test::write_file("plain.dat", media_test::cdxa_file(150, 20));
  ASSERT_GE(open(path), 0);
  EXPECT_TRUE(s->source.raw_sector);
  EXPECT_EQ(s->source.data_start, 44);
  EXPECT_EQ(s->parse.valid_bytes, 18816);  // 8 raw sectors per block
  EXPECT_EQ(s->parse.bytes[15], 2);        // the first sector's mode byte
  EXPECT_EQ(s->source.position, 44 + 18816);
}

TEST_F(Source, SeekSnapsToRawSectors) {
  std::string path = media_test::write_file("snap.dat", media_test::cdxa_file(150, 20));
  ASSERT_GE(open(path), 0);
  struct {
    int32_t pos, origin, expect;
  } cases[] = {
      {5000, 0, 4748},  // 44 + 2 * 2352
      {0, 0, 44},      {44, 0, 44}, {10, 0, 44}, {2396, 0, 2396}, {2395, 0, 44}, {-100, 2, 44 + 19 * 2352},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(dravik::seek_source(*s, c.pos, c.origin), c.expect) << c.pos << "," << c.origin;
    EXPECT_EQ(s->parse.bytes[15], 2);  // the block starts at a sector
  }
  // From the current position: relative to where the reader has reached.
  dravik::seek_source(*s, 44, 0);
  const int32_t here = dravik::seek_source(*s, 0, 1);
  EXPECT_EQ(here, 44 + 18816);
  EXPECT_EQ(dravik::seek_source(*s, 0, 1), here);  // (0, 1) never moves
  EXPECT_EQ(dravik::seek_source(*s, 3000, 1), 44 + 9 * 2352);
  EXPECT_EQ(dravik::seek_source(*s, 100 * 2352, 0), -1);  // past the end
}

TEST_F(Source, EntryPointAtTheFirstSectorStartsNormally) {
  std::string path = media_test::write_file("entry0.dat", media_test::cdxa_file(300, 40));
  ASSERT_GE(open(path, media_test::msf_of_sector(300)), 0);
  EXPECT_EQ(s->source.lowest_start, 0);
  EXPECT_EQ(s->parse.bytes[24], 0);  // payload of sector 0
}

TEST_F(Source, EntryPointLessThanNineSectorsLaterStartsNormally) {
  std::string path = media_test::write_file("entry8.dat", media_test::cdxa_file(300, 40));
  ASSERT_GE(open(path, media_test::msf_of_sector(308)), 0);
  EXPECT_EQ(s->source.lowest_start, 0);
  EXPECT_EQ(s->parse.bytes[24], 0);
}

TEST_F(Source, EntryPointTwentySectorsInBecomesTheFloor) {
  std::string path = media_test::write_file("entry20.dat", media_test::cdxa_file(300, 40));
  ASSERT_GE(open(path, media_test::msf_of_sector(320)), 0);
  const int32_t floor = 44 + 20 * 2352;
  EXPECT_EQ(s->source.lowest_start, floor);
  EXPECT_EQ(s->parse.bytes[24], 20);  // reading starts at sector 20
  EXPECT_EQ(dravik::seek_source(*s, 0, 0), floor);
  EXPECT_EQ(s->parse.bytes[24], 20);
  EXPECT_EQ(dravik::seek_source(*s, floor + 2352 * 3 + 5, 0), floor + 2352 * 3);
}

TEST_F(Source, LargeStartValuesAreIgnored) {
  std::string path = media_test::write_file("entrybig.dat", media_test::cdxa_file(300, 40));
  ASSERT_GE(open(path, 0x1000000), 0);
  EXPECT_EQ(s->source.lowest_start, 0);
  EXPECT_EQ(s->parse.bytes[24], 0);
}

TEST_F(Source, BcdAddresses) {
  EXPECT_EQ(dravik::bcd_address_to_sector(0x000200), 0);
  EXPECT_EQ(dravik::bcd_address_to_sector(0x000420), 170);
  EXPECT_EQ(dravik::bcd_address_to_sector(0x595974), 59 * 4500 + 59 * 75 + 74 - 150);
}

Bytes vob_with_nav_at(int sector, int sectors) {
  Bytes b(size_t(sectors) * 2048, 0x22);
  const uint8_t dsi[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
  std::copy(dsi, dsi + 7, b.begin() + sector * 2048 + 1024);
  return b;
}

TEST_F(Source, VobFindsItsNavigationPack) {
  std::string path = media_test::write_file("nav.vob", vob_with_nav_at(3, 64));
  ASSERT_GE(open(path), 0);
  EXPECT_TRUE(s->source.dvd);
  EXPECT_TRUE(s->source.nav_pack);
  EXPECT_EQ(s->block_count, 16);
  EXPECT_EQ(s->parse.bytes[1024 + 3], 0xBF);  // first block begins at that pack
}

TEST_F(Source, NavigationPackBeyondTheFirstQuarterIsNotSearched) {
  std::string path = media_test::write_file("late.VOB", vob_with_nav_at(20, 64));
  ASSERT_GE(open(path), 0);
  EXPECT_FALSE(s->source.nav_pack);
  // The block in hand was read from the start. (Where the file position
  // stands depends on how far read-ahead has got by now.)
  EXPECT_EQ(s->parse.source_pos, 0);
}

TEST_F(Source, DvdSeeksAlignToSectors) {
  std::string path = media_test::write_file("align.vob", Bytes(64 * 2048, 0x22));
  ASSERT_GE(open(path), 0);
  EXPECT_EQ(dravik::seek_source(*s, 5000, 0), 4096);
}

TEST_F(Source, PlainFilesReadIn64KiBBlocks) {
  Bytes data(200000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13);
  std::string path = media_test::write_file("plain.mpg", data);
  ASSERT_GE(open(path), 0);
  EXPECT_EQ(s->source.size, 200000);
  EXPECT_EQ(s->parse.valid_bytes, 0x10000);
  EXPECT_EQ(dravik::seek_source(*s, 3, 2), -1);  // past the end
  EXPECT_EQ(dravik::seek_source(*s, -10, 2), 199990);
  EXPECT_EQ(s->parse.valid_bytes, 10);
  EXPECT_EQ(s->parse.bytes[0], data[199990]);
}

TEST_F(Source, RawElementaryReadsServeTheFileToItsEnd) {
  Bytes data(50001);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 31 + 5);
  std::string path = media_test::write_file("raw.m2v", data);
  ASSERT_GE(open(path, DRAVIK_START_RAW_VIDEO), 0);
  Bytes got;
  Bytes buf(16384);
  uint8_t probe[4];
  EXPECT_EQ(dravik::read_audio(*s, probe, 4), 0);  // the other path is off
  int32_t n;
  std::vector<int32_t> sizes;
  while ((n = dravik::read_video(*s, buf.data(), 16384)) > 0) {
    sizes.push_back(n);
    got.insert(got.end(), buf.begin(), buf.begin() + n);
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(sizes, (std::vector<int32_t>{16384, 16384, 16384, 849}));
  EXPECT_EQ(dravik::read_video(*s, buf.data(), 16384), 0);
  EXPECT_EQ(dravik::seek_source(*s, 10, 0), 10);
  EXPECT_EQ(dravik::read_video(*s, buf.data(), 4), 4);
  EXPECT_EQ(buf[0], data[10]);
}

TEST_F(Source, RawAudioModeIsTheConverse) {
  Bytes data(1000, 0x5A);
  std::string path = media_test::write_file("raw.mp2", data);
  ASSERT_GE(open(path, DRAVIK_START_RAW_AUDIO), 0);
  Bytes buf(4096);
  EXPECT_EQ(dravik::read_video(*s, buf.data(), 4096), 0);
  EXPECT_EQ(dravik::read_stream(*s, 0xC0, buf.data(), 4096), 1000);
}

TEST_F(Source, MissingFileLeavesTheStateClosed) {
  EXPECT_EQ(open(testing_support::scratch_dir() + "/absent.mpg"), -1);
  EXPECT_EQ(s->source.handle, -1);
  EXPECT_EQ(dravik::seek_source(*s, 0, 0), -1);
}

TEST_F(Source, OpeningAgainClosesThePreviousSource) {
  std::string a = media_test::write_file("a.mpg", Bytes(100, 1));
  std::string b = media_test::write_file("b.mpg", Bytes(200, 2));
  ASSERT_GE(open(a), 0);
  const int first_fd = s->source.fd;
  ASSERT_GE(open(b), 0);
  EXPECT_EQ(s->source.size, 200);
  EXPECT_EQ(s->source.fd, first_fd);  // the descriptor was released and reused
}

}  // namespace
