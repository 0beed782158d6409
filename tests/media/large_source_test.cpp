// A source of 3 GiB (sparse: copies of the Video CD sample at its start,
// across the 2 GiB mark and at its end) through the exports: sizes and
// positions are 64-bit inside and report as INT32_MAX past the 32-bit
// range, and the bytes read after a seek are those of the copy there.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/support/sparse_file.h"
#include "tests/support/test_media.h"

namespace {

constexpr int64_t kLength = int64_t{3} << 30;
constexpr int64_t kAcross = (int64_t{2} << 30) - 100000;  // a copy spanning 2 GiB

class LargeSource : public testing::Test {
 protected:
  void SetUp() override {
    SysReset();
    ASSERT_TRUE(file.ok()) << file.path();
    copy_bytes = static_cast<int32_t>(file.pattern().size());
  }
  void TearDown() override { SysClose(); }

  // The first n video bytes the demultiplexer delivers from here.
  static std::vector<uint8_t> video_bytes(size_t n) {
    std::vector<uint8_t> got(n);
    size_t have = 0;
    while (have < n) {
      const int32_t r = SysReadVideo(got.data() + have, static_cast<int32_t>(n - have));
      if (r <= 0) break;
      have += static_cast<size_t>(r);
    }
    got.resize(have);
    return got;
  }

  testing_support::SparseFile file{testing_support::scratch_dir() + "/large.mpg",
                                   kLength,
                                   testing_support::sample_path("vcd_sample.mpg"),
                                   {0, kAcross, kLength - 887768}};
  int32_t copy_bytes = 0;
};

TEST_F(LargeSource, ProbeAndSizeSaturate) {
  int32_t length = 0;
  EXPECT_EQ(SysProbe(file.path().c_str(), &length), SOURCE_KIND_SYSTEM);
  EXPECT_EQ(length, INT32_MAX);
  ASSERT_GE(SysOpen(file.path().c_str(), DRAVIK_START_BEGIN), 0);
  EXPECT_EQ(SysControl(CTL_SOURCE_SIZE, 0), INT32_MAX);
}

TEST_F(LargeSource, SeeksReachEveryCopy) {
  ASSERT_EQ(file.pattern().size(), 887768u);  // the end copy's offset above
  int32_t length = 0;
  ASSERT_EQ(SysProbe(file.path().c_str(), &length), SOURCE_KIND_SYSTEM);
  ASSERT_GE(SysOpen(file.path().c_str(), DRAVIK_START_BEGIN), 0);
  const std::vector<uint8_t> first = video_bytes(200000);
  ASSERT_EQ(first.size(), 200000u);

  // Below 2 GiB a seek lands where asked.
  EXPECT_EQ(SysSeek(400000, 0), 400000);
  EXPECT_EQ(SysSeek(static_cast<int32_t>(kAcross), 0), kAcross);
  EXPECT_EQ(video_bytes(first.size()), first);
  // The reader went on past 2 GiB: the position reports as the largest.
  EXPECT_EQ(SysSeek(0, 1), INT32_MAX);

  // From the end and from the current position, positions past 2 GiB are
  // reached (and report as the largest).
  EXPECT_EQ(SysSeek(-copy_bytes, 2), INT32_MAX);
  EXPECT_EQ(video_bytes(first.size()), first);
  EXPECT_EQ(SysSeek(copy_bytes, 1), -1);  // nothing after the end
  EXPECT_EQ(SysSeek(-copy_bytes, 2), INT32_MAX);
  EXPECT_EQ(SysSeek(-100, 1), INT32_MAX);
}

TEST_F(LargeSource, RawModeReadsTheBytesAtTheEnd) {
  ASSERT_GE(SysOpen(file.path().c_str(), DRAVIK_START_RAW_VIDEO), 0);
  EXPECT_EQ(SysSeek(-copy_bytes, 2), INT32_MAX);
  std::vector<char> got(4096);
  ASSERT_EQ(SysReadVideo(got.data(), 4096), 4096);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), file.pattern().begin()));
  EXPECT_EQ(SysSeek(-1000, 1), INT32_MAX);
  ASSERT_EQ(SysReadVideo(got.data(), 1000), 1000);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 1000, file.pattern().begin() + 3096));
}

}  // namespace
