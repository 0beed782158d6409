// The read-ahead block reader seen through the exports: DVD sources read
// with 16 blocks ahead and other files with one prefetched block deliver
// every block once and in order, and after a seek no block from before it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/support/test_media.h"

namespace demux_test {
namespace {

constexpr int kSectors = 1536;  // 3 MiB
constexpr int kPayload = 2048 - 14 - 9;

// One pack per 2048-byte sector; its video payload starts with the sector
// number.
Bytes sector_payload(int sector) {
  Bytes p = pattern(kPayload, static_cast<uint32_t>(sector));
  p[0] = static_cast<uint8_t>(sector >> 24);
  p[1] = static_cast<uint8_t>(sector >> 16);
  p[2] = static_cast<uint8_t>(sector >> 8);
  p[3] = static_cast<uint8_t>(sector);
  return p;
}

std::string make_sectors(const std::string &name) {
  StreamBuilder b;
  for (int s = 0; s < kSectors; ++s) {
    b.pack(true, 900ull * s, 25200);
    b.mpeg2_packet(0xE0, sector_payload(s));
  }
  return write_file(testing_support::scratch_dir() + "/" + name, b.data());
}

int sector_at(const uint8_t *p) { return p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

class ReadAhead : public ::testing::TestWithParam<const char *> {
 protected:
  void TearDown() override { SysClose(); }
};

TEST_P(ReadAhead, EveryBlockOnceInOrder) {
  const std::string path = make_sectors(std::string("order.") + GetParam());
  ASSERT_NE(SysOpen(path.c_str(), 0), -1);
  EXPECT_EQ(SysControl(CTL_IS_DVD, 0), std::string(GetParam()) == "vob" ? 1 : 0);
  std::vector<uint8_t> buf(kPayload);
  for (int s = 0; s < kSectors; ++s) {
    ASSERT_EQ(SysReadVideo(buf.data(), kPayload), kPayload) << "sector " << s;
    ASSERT_TRUE(buf == sector_payload(s)) << "sector " << s;
  }
  EXPECT_EQ(SysReadVideo(buf.data(), kPayload), 0);
}

TEST_P(ReadAhead, NoBlockFromBeforeASeekIsDeliveredAfterIt) {
  const std::string path = make_sectors(std::string("seek.") + GetParam());
  ASSERT_NE(SysOpen(path.c_str(), 0), -1);
  std::mt19937 rng(5);
  std::vector<uint8_t> buf(kPayload);
  for (int round = 0; round < 40; ++round) {
    // Read a while so that the reader runs ahead, then jump.
    const int reads = static_cast<int>(rng() % 40);
    for (int i = 0; i < reads; ++i) SysReadVideo(buf.data(), kPayload);
    const int target = static_cast<int>(rng() % (kSectors - 1));
    EXPECT_EQ(SysSeek(target * 2048, 0), target * 2048);
    const int32_t here = SysSeek(0, 1);
    EXPECT_EQ(SysSeek(0, 1), here) << "(0, 1) only reports";
    ASSERT_EQ(SysReadVideo(buf.data(), kPayload), kPayload);
    ASSERT_EQ(sector_at(buf.data()), target) << "round " << round;
    ASSERT_TRUE(buf == sector_payload(target));
    ASSERT_EQ(SysReadVideo(buf.data(), kPayload), kPayload);
    ASSERT_EQ(sector_at(buf.data()), target + 1);
  }
  EXPECT_EQ(SysSeek(kSectors * 2048 + 4096, 0), -1) << "past the end";
}

// The block reader's own command: 78 hands out the next 64 KiB block.
TEST_P(ReadAhead, ReadBlockCommandHandsOutTheNextBlock) {
  const std::string path = make_sectors(std::string("block.") + GetParam());
  ASSERT_NE(SysOpen(path.c_str(), 0), -1);
  const Bytes file = read_file(path);
  const uint8_t *block = nullptr;
  // The block in hand is the first; each command takes the next one.
  for (int i = 1; i < 4; ++i) {
    ASSERT_EQ(SysControl(CTL_READ_BLOCK, reinterpret_cast<intptr_t>(&block)), 65536);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::equal(block, block + 65536, file.begin() + 65536 * i)) << "block " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, ReadAhead, ::testing::Values("vob", "mpg"));

}  // namespace
}  // namespace demux_test
