// The playback clock on the SDL device, paced in real time by SDL's dummy
// driver: 0 after AudioPlay, growing, stopping while the device is paused,
// starting again at 0 when the device is reopened, and ending at the
// stream's length.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "tests/audio/engine/fake_media.h"
#include "tests/audio/engine/test_source.h"

namespace {

using lunaret::Engine;
using lunaret::engine;
using lunaret_test::counting_source;
using lunaret_test::fake_media;

class SdlClock : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_media().install();
    counting_source().install();
    lunaret::set_output_driver(&lunaret::kSdlOutputDriver);
  }
  void TearDown() override {
    AudioClose();
    lunaret::set_output_driver(nullptr);
    lunaret_test::CountingSource::uninstall();
    lunaret_test::FakeMedia::uninstall();
  }
  // Real time passes with nothing to wait for: the clock must be seen
  // standing still over it (a loaded machine only lengthens the look).
  static void let_time_pass(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // Serves the media layer's callbacks until the clock passes ms (at most
  // 20 s); -> whether it did. Between looks it sleeps on the engine's
  // progress, or until the clock should have passed ms when every buffer
  // is already back (the last chunk plays out with no event to wait on).
  static bool play_past(int32_t ms) {
    platform::ChangeCount &progress = engine().progress;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      const uint64_t seen = progress.value();
      fake_media().run_callbacks();
      const int32_t now = AudioGetPlayTime();
      if (now > ms) return true;
      if (std::chrono::steady_clock::now() > until) return false;
      progress.wait_past(seen, static_cast<uint32_t>(std::clamp(ms - now + 1, 1, 1000)));
    }
  }
};

TEST_F(SdlClock, StartsAtZeroGrowsAndEndsAtTheStreamLength) {
  counting_source().frames_total = 38;  // 38 x 1,152 frames at 44.1 kHz: 993 ms
  const int32_t length_ms = 38 * 1152 * 1000 / 44100;
  EXPECT_EQ(AudioGetPlayTime(), -1);
  ASSERT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  ASSERT_EQ(AudioPlay(), 1);
  EXPECT_EQ(AudioGetPlayTime(), 0);
  // Looked at whenever the flow moves (every buffer back), to the end.
  int32_t last = 0;
  int steps = 0;
  ASSERT_TRUE(fake_media().serve_until([&] {
    int32_t now = AudioGetPlayTime();
    EXPECT_GE(now, last);
    if (now > last) ++steps;
    last = std::max(now, last);
    return AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) && lunaret::flow_settled(engine());
  }));
  // Every buffer came back; the last chunk plays out over its own length,
  // and then the clock stands at the stream's length exactly.
  EXPECT_TRUE(play_past(length_ms - 1));
  int32_t end = AudioGetPlayTime();
  EXPECT_GE(end, last);
  EXPECT_EQ(end, length_ms);
  let_time_pass(50);
  EXPECT_EQ(AudioGetPlayTime(), end);  // and stays there
  EXPECT_GT(steps, 10);                // it moves while playing, not in one jump
  EXPECT_EQ(AudioCommand(AUDIO_CMD_PLAY_TIME, 0), end);
}

TEST_F(SdlClock, PauseStopsItAndAReopenStartsItAgain) {
  counting_source().frames_total = 60;
  ASSERT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  ASSERT_EQ(AudioPlay(), 1);
  ASSERT_TRUE(play_past(100));
  ASSERT_EQ(AudioCommand(AUDIO_CMD_DEVICE_PAUSE, 0), 1);
  int32_t held = AudioGetPlayTime();
  let_time_pass(200);
  EXPECT_EQ(AudioGetPlayTime(), held);
  ASSERT_EQ(AudioCommand(AUDIO_CMD_DEVICE_RESTART, 0), 1);
  EXPECT_TRUE(play_past(held));

  // AudioSetPause closes the device; resuming reopens it and the clock
  // starts again from 0.
  AudioSetPause(1);
  EXPECT_EQ(AudioGetPlayTime(), -1);
  AudioSetPause(0);
  int32_t restarted = AudioGetPlayTime();
  EXPECT_GE(restarted, 0);
  EXPECT_LT(restarted, 60);
}

// The scope reads successive frames of the buffer now playing.
TEST_F(SdlClock, ScopeReadsSuccessiveFramesOfWhatPlays) {
  AudioScopePair none[4];
  EXPECT_EQ(AudioGetScope(none, 4), 0);
  for (const auto &p : none) EXPECT_EQ(p.left | p.right, 0);

  counting_source().frames_total = 30;
  ASSERT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  ASSERT_EQ(AudioPlay(), 1);
  ASSERT_TRUE(play_past(100));
  // counting_value(k) = k * 7919 mod 2^16: its inverse finds k again.
  uint32_t inverse = 1;
  while ((inverse * 7919u & 0xFFFFu) != 1) inverse += 2;
  auto index_of = [&](int32_t v) { return (static_cast<uint32_t>(v) & 0xFFFFu) * inverse & 0xFFFFu; };
  // A device the engine fell behind (under load) has nothing playing for a
  // moment: the scope is read again until it shows what plays.
  AudioScopePair pairs[64];
  ASSERT_TRUE(fake_media().serve_until([&] { return AudioGetScope(pairs, 64) != 0; }));
  uint32_t first = index_of(pairs[0].left);
  EXPECT_EQ(first % 2, 0u);
  EXPECT_GT(first, 0u);  // playing has moved past the start
  for (int k = 0; k < 64; ++k) {
    ASSERT_EQ(index_of(pairs[k].left), (first + 2u * k) & 0xFFFFu) << k;
    ASSERT_EQ(index_of(pairs[k].right), (first + 2u * k + 1) & 0xFFFFu) << k;
  }
  AudioScopePair one{};
  AudioCommand(AUDIO_CMD_SCOPE_PAIR, reinterpret_cast<intptr_t>(&one));
  EXPECT_EQ(index_of(one.left) % 2, 0u);
  EXPECT_EQ(index_of(one.right), (index_of(one.left) + 1) & 0xFFFFu);
}

}  // namespace
