// The play loops' pacing without sound, on a virtual clock that moves only
// when the engine waits: the time each picture is presented at is the
// engine's own due time, however busy the machine is.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_media.h"
#include "tests/video/playback/virtual_clock.h"
#include "tests/video/playback/wait_for_end.h"
#include "video/engine/play/pace_clock.h"
#include "video/video_api.h"

namespace {

using playback_test::wait_for_end;

namespace kp = kestrum::play;

struct Recorder {
  std::mutex lock;
  std::vector<uint32_t> at_ms;  // the pacing clock at each present
  static int32_t present(void *user, const KestrumPicture *) {
    auto *r = static_cast<Recorder *>(user);
    const uint32_t now = kp::clock_ms();
    std::lock_guard<std::mutex> g(r->lock);
    r->at_ms.push_back(now);
    return 1;
  }
};

struct Stream {
  const char *name;
  size_t pictures;
};

class Pacing : public ::testing::TestWithParam<Stream> {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void SetUp() override { kp::set_pace_clock(&playback_test::kVirtualClock); }
  void TearDown() override {
    VideoClose(1);
    kp::set_pace_clock(nullptr);
  }
  // Plays the stream to its end; -> the pacing clock at each picture.
  std::vector<uint32_t> play(bool real_time) {
    KestrumHostDisplay d{};
    d.user = &rec;
    d.present_planes = Recorder::present;
    const std::string path = testing_support::media_path(GetParam().name);
    EXPECT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
    VideoSetRealTime(real_time ? 1 : 0);
    rec.at_ms.clear();
    EXPECT_EQ(VideoRun(), 1);
    EXPECT_TRUE(wait_for_end(120));
    VideoSetRealTime(1);
    std::lock_guard<std::mutex> g(rec.lock);
    return rec.at_ms;
  }
  Recorder rec;
};

// MPEG-1 goes through the normal loop, MPEG-2 through the MPEG-2 loop; all
// at 25 pictures a second.
INSTANTIATE_TEST_SUITE_P(Streams, Pacing,
                         ::testing::Values(Stream{"video_mpeg1.m1v", 75},
                                           Stream{"video_mpeg2_progressive.m2v", 50},
                                           Stream{"video_mpeg2_interlaced.m2v", 50},
                                           Stream{"video_mpeg2_open_gop.m2v", 50}),
                         [](const auto &info) { return testing_support::case_name(info.param.name); });

TEST_P(Pacing, InRealTimeEachPictureComesOneFramePeriodAfterTheLast) {
  const std::vector<uint32_t> at = play(true);
  ASSERT_EQ(at.size(), GetParam().pictures);
  for (size_t i = 0; i + 1 < at.size(); ++i)
    EXPECT_EQ(int32_t(at[i + 1] - at[i]), 40) << "after picture " << i;
}

TEST_P(Pacing, WithoutRealTimeNothingWaitsForTheFramePeriod) {
  const std::vector<uint32_t> at = play(false);
  ASSERT_EQ(at.size(), GetParam().pictures);
  // Paced, the play would take 40 ms a picture; unpaced the clock only
  // moves by the looks at it.
  EXPECT_LT(int32_t(at.back() - at.front()), 40) << "the whole play on the pacing clock";
}

}  // namespace
