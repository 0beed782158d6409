// The playback clock on the SDL device, paced in real time by SDL's dummy
// driver: 0 after AudioPlay, growing, stopping while the device is paused,
// starting again at 0 when the device is reopened, and ending at the
// stream's length.
#include <gtest/gtest.h>

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
  static bool idle(Engine &e) {
    platform::Lock lock(e.queue_lock);
    return e.at_device == 0 && !e.busy && e.fill_read == e.fill_write;
  }
  static void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // Serves the media layer's callbacks until the clock passes ms (at most
  // 20 s); -> whether it did.
  static bool play_past(int32_t ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (AudioGetPlayTime() <= ms) {
      if (std::chrono::steady_clock::now() > until) return false;
      fake_media().run_callbacks();
      sleep_ms(2);
    }
    return true;
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
  int32_t last = 0;
  int steps = 0;
  for (int i = 0; i < 4000; ++i) {
    fake_media().run_callbacks();
    int32_t now = AudioGetPlayTime();
    ASSERT_GE(now, last);
    if (now > last) ++steps;
    last = now;
    if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) && idle(engine())) break;
    sleep_ms(5);
  }
  // Every buffer came back; the last chunk plays out over its own length,
  // and then the clock stands at the stream's length exactly.
  EXPECT_TRUE(play_past(length_ms - 1));
  int32_t end = AudioGetPlayTime();
  EXPECT_GE(end, last);
  EXPECT_EQ(end, length_ms);
  sleep_ms(50);
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
  sleep_ms(200);
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
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (AudioGetScope(pairs, 64) == 0 && std::chrono::steady_clock::now() < until) {
    fake_media().run_callbacks();
    sleep_ms(1);
  }
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
