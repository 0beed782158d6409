// The engine on a sparse 3 GiB system stream (copies of the Video CD
// sample at its start and across the 2 GiB mark): its length, seeks, the
// position it reports and the pictures it shows stay right past the 32-bit
// range, where they report the largest position instead of wrapping.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "tests/support/sparse_file.h"
#include "tests/support/test_media.h"
#include "video/video_api.h"

namespace {

constexpr int64_t kLength = int64_t{3} << 30;
constexpr int32_t kAcross = INT32_MAX - 50000;  // a copy spanning 2 GiB

struct Pictures {
  std::mutex lock;
  std::condition_variable shown;
  int count = 0;
  static int32_t present(void *user, const KestrumPicture *) {
    auto *p = static_cast<Pictures *>(user);
    std::lock_guard<std::mutex> g(p->lock);
    ++p->count;
    p->shown.notify_all();
    return 1;
  }
  // Waits (bounded) until more than `after` pictures were shown.
  bool wait_beyond(int after) {
    std::unique_lock<std::mutex> g(lock);
    return shown.wait_for(g, std::chrono::seconds(20), [&] { return count > after; });
  }
  int seen() {
    std::lock_guard<std::mutex> g(lock);
    return count;
  }
};

class LargeSourceEngine : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(file.ok()) << file.path();
    VideoStartup();
    display.user = &pictures;
    display.present_planes = Pictures::present;
    ASSERT_EQ(VideoOpen(&display, file.path().c_str(), nullptr, 0), 1);
  }
  void TearDown() override {
    VideoClose(1);
    VideoShutdown();
  }

  testing_support::SparseFile file{testing_support::scratch_dir() + "/large_engine.mpg",
                                   kLength,
                                   testing_support::sample_path("vcd_sample.mpg"),
                                   {0, kAcross}};
  Pictures pictures;
  KestrumHostDisplay display{};
};

TEST_F(LargeSourceEngine, LengthSeekAndPositionPastTwoGiB) {
  EXPECT_EQ(VideoCommand(VCMD_TOTAL_LENGTH, 0), INT32_MAX);

  // A seek inside the first copy lands there (the position counts from the
  // next block the reader takes).
  const int32_t at = VideoSeek(400000, 0);
  EXPECT_GE(at, 400000);
  EXPECT_LT(at, 400000 + 2 * 0x10000);
  EXPECT_EQ(VideoSeek(0, 1), at);
  const int before = pictures.seen();
  ASSERT_EQ(VideoStep(), 1);
  EXPECT_GT(pictures.seen(), before);
  EXPECT_GE(VideoSeek(0, 1), at);

  // Into the copy across 2 GiB (its pictures lie past the mark): they are
  // shown while playing, and the position climbs to the largest one.
  const int32_t across = VideoSeek(kAcross, 0);
  EXPECT_GE(across, kAcross);
  ASSERT_EQ(VideoRun(), 1);
  int32_t last = across;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(pictures.wait_beyond(pictures.seen())) << i;
    const int32_t now = VideoSeek(0, 1);
    EXPECT_GE(now, last) << i;
    last = now;
  }
  VideoHalt();
  EXPECT_EQ(last, INT32_MAX);
}

}  // namespace
