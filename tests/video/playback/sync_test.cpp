// The loop against the sound's clock, driven by hand: a stand-in audio
// engine whose clock the test sets, a fixed pacing clock, and pictures
// counted as the play loops count them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/audio_api.h"
#include "tests/video/playback/sync_log.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/pace_clock.h"
#include "video/engine/ports.h"
#include "video/video_api.h"

namespace {

namespace kp = kestrum::play;

constexpr int32_t kPeriodUs = 40000;  // 25 pictures a second
constexpr uint32_t kNowMs = 100000;

int32_t g_heard = 0;

intptr_t audio_command(int32_t cmd, intptr_t) {
  if (cmd == AUDIO_CMD_DEVICE_HANDLE) return 1;
  if (cmd == AUDIO_CMD_PLAY_TIME) return g_heard;
  return 0;
}

uint32_t fixed_now() { return kNowMs; }
void no_sleep(uint32_t) {}
const kp::PaceClock kFixedClock = {fixed_now, no_sleep};

class AudioSync : public ::testing::Test {
 protected:
  void SetUp() override {
    audio_port.command = audio_command;
    kestrum::set_audio_port(&audio_port);
    kp::set_pace_clock(&kFixedClock);
    kestrum::EngineState &s = kestrum::engine().state;
    s.audio_link.audio_open = 1;
    s.audio_link.audio_running = 1;
    s.audio_link.audio_paused = 0;
    kp::restart_audio_sync();
  }
  void TearDown() override {
    kestrum::EngineState &s = kestrum::engine().state;
    s.audio_link.audio_open = 0;
    s.audio_link.audio_running = 0;
    kp::set_pace_clock(nullptr);
    kestrum::set_audio_port(nullptr);
  }
  // The loop's measure of a picture due now whose display time is `time`
  // (fields), with the sound's clock at `heard`; then the picture is shown.
  kp::SyncSample measure(int64_t time, int32_t heard) {
    g_heard = heard;
    kp::LoopContext c;
    c.period_us = kPeriodUs;
    c.target = kNowMs;
    kp::follow_audio_clock(kestrum::engine().state, c, time);
    kp::count_shown_picture(2);
    const auto s = log.take();
    EXPECT_TRUE(s.has_value()) << "picture at " << time;
    return s.value_or(kp::SyncSample{});
  }
  kestrum::AudioPort audio_port{};
  playback_test::SyncLog log;
};

// Ten pictures shown on time, then five passed over (a play behind its
// sound catching up), then the next one on time against the sound. The
// pictures passed over count when the shown picture's display time is
// known; without it (AVI, or after a seek by position) only the shown ones
// can be counted, and the same picture reads as 200 ms late.
TEST_F(AudioSync, PicturesPassedOverCountByTheShownPicturesTime) {
  struct Case {
    bool time_known;
    int64_t fields_before;
    int32_t lead_ms;
  };
  for (const Case k : {Case{true, 30, 0}, Case{false, 20, -200}}) {
    SCOPED_TRACE(k.time_known ? "time known" : "time unknown");
    kp::restart_audio_sync();
    for (int64_t n = 0; n < 10; ++n) {
      const kp::SyncSample s =
          measure(k.time_known ? 2 * n : kp::kNoPictureTime, static_cast<int32_t>(40 * (n + 1)));
      ASSERT_EQ(s.lead_ms, 0) << n;
      ASSERT_EQ(s.moved_ms, 0) << n;
    }
    // Picture 15 is due when the sound reaches 16 frame periods: 640 ms.
    const kp::SyncSample s = measure(k.time_known ? 30 : kp::kNoPictureTime, 16 * 40);
    EXPECT_EQ(s.fields_before, k.fields_before);
    EXPECT_EQ(s.lead_ms, k.lead_ms);
    EXPECT_EQ(s.moved_ms, kp::sync_correction_ms(k.lead_ms, kPeriodUs));
  }
}

// A stream that does not start at display time 0 (a play entered by time)
// counts from its first picture; a clock standing still is not measured.
TEST_F(AudioSync, CountsFromTheFirstPictureAndSkipsAStandingClock) {
  const kp::SyncSample first = measure(300, 0);
  EXPECT_EQ(first.fields_before, 0);
  EXPECT_EQ(first.lead_ms, 40);  // due one period in, the sound at 0
  const kp::SyncSample second = measure(302, 40);
  EXPECT_EQ(second.fields_before, 2);
  EXPECT_EQ(second.lead_ms, 40);
  g_heard = 40;
  kp::LoopContext c;
  c.period_us = kPeriodUs;
  c.target = kNowMs;
  kp::follow_audio_clock(kestrum::engine().state, c, 304);
  EXPECT_FALSE(log.take().has_value());
  EXPECT_EQ(c.target, kNowMs);
}

}  // namespace
