// Pushed PCM: a plug-in pushing from its own thread, read back through the
// engine's synchronous decode and through a recording device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "audio/source_push.h"
#include "tests/audio/engine/fake_media.h"
#include "tests/audio/engine/push_plugin.h"
#include "tests/audio/engine/test_source.h"

namespace {

using lunaret_test::fake_media;
using lunaret_test::PushPlugin;
using lunaret_test::recorder;

using Bytes = std::vector<uint8_t>;

// A bound on waits that only a fault reaches.
constexpr auto kHangBound = std::chrono::seconds(60);
constexpr uint32_t kHangBoundMs = 60000;

class PushedAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_media().install();
    fake_media().plugin = reinterpret_cast<intptr_t>(static_cast<SourcePlugin *>(&plugin));
    recorder().clear();
    lunaret::set_output_driver(&lunaret_test::kRecordingDriver);
    // A wait step no test outlives: a fill waiting for a push ends only
    // through a push (an empty one from a plug-in that has ended) or a stop.
    lunaret::set_push_wait_step(kHangBoundMs * 10);
  }
  void TearDown() override {
    plugin.join();
    AudioClose();
    AudioSetChannelMode(AUDIO_CHANNEL_STEREO);
    AudioSetRateMode(AUDIO_RATE_NORMAL);
    AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 0);
    AudioCommand(AUDIO_CMD_SET_PRESET, 8);
    AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
    lunaret::set_push_wait_step(0);
    lunaret::set_output_driver(nullptr);
    lunaret_test::FakeMedia::uninstall();
  }

  void open() {
    ASSERT_EQ(AudioOpenStream(0), 1);
    ASSERT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_PUSH_PCM);
    ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  }

  // Waits for the engine to report the end of the pushed stream: the
  // engine thread moves its progress after every fill round.
  static void wait_for_end() {
    lunaret::engine().progress.wait_until([] { return AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) == 1; },
                                          20000);
    ASSERT_EQ(AudioCommand(AUDIO_CMD_END_OF_STREAM, 0), 1);
  }

  // Every block the engine decodes until the end, as a converter pulls
  // them; the sizes of the blocks go to `sizes`.
  std::vector<int16_t> pull_all(std::vector<int32_t> *sizes = nullptr) {
    auto pulled = std::async(std::launch::async, [sizes] { return pull_blocks(sizes); });
    if (pulled.wait_for(kHangBound) != std::future_status::ready) {
      // Frees the engine so that the test can end.
      plugin.ended = true;
      plugin.push_now(noise(4, 0));
      ADD_FAILURE() << "the end of the pushes was not seen";
    }
    return pulled.get();
  }

  static std::vector<int16_t> pull_blocks(std::vector<int32_t> *sizes) {
    std::vector<int16_t> out;
    for (int i = 0; i < 100000; ++i) {
      int32_t bytes = 0;
      auto *pcm = reinterpret_cast<const int16_t *>(
          AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
      if (bytes > 0) {
        out.insert(out.end(), pcm, pcm + bytes / 2);
        if (sizes) sizes->push_back(bytes);
      }
      if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) return out;
    }
    ADD_FAILURE() << "the pushed stream never ended";
    return out;
  }

  static std::vector<int16_t> as_values(const Bytes &b) {
    std::vector<int16_t> v(b.size() / 2);
    std::memcpy(v.data(), b.data(), v.size() * 2);
    return v;
  }

  static Bytes noise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto &x : b) x = static_cast<uint8_t>(rng());
    return b;
  }

  // Cuts bytes into blocks of the given sizes, cycling through them, so
  // that frames straddle pushes.
  static std::vector<Bytes> cut(const Bytes &all, const std::vector<size_t> &sizes) {
    std::vector<Bytes> blocks;
    size_t pos = 0;
    for (size_t k = 0; pos < all.size(); ++k) {
      size_t n = std::min(sizes[k % sizes.size()], all.size() - pos);
      blocks.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(pos),
                          all.begin() + static_cast<std::ptrdiff_t>(pos + n));
      pos += n;
    }
    return blocks;
  }

  PushPlugin plugin;
};

TEST_F(PushedAudio, BytesArriveUnchangedWhilePushedConcurrently) {
  open();
  int32_t rate = 0;
  AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate));
  EXPECT_EQ(rate, 44100);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_BITS_PER_SAMPLE, 0), 16);
  EXPECT_EQ(AudioGetBitRate(), 8000);

  const Bytes all = noise(4 * 30011, 1);
  plugin.push_from_thread(cut(all, {4, 1000, 3, 5, 4096, 17, 2, 9000}), true);
  EXPECT_EQ(pull_all(), as_values(all));
  EXPECT_GE(plugin.starts, 1);
}

TEST_F(PushedAudio, The129thBlockDropsTheOldest) {
  open();
  std::vector<Bytes> blocks;
  for (int k = 0; k < 129; ++k) {
    int16_t frame[2] = {static_cast<int16_t>(k), static_cast<int16_t>(-k)};
    blocks.emplace_back(reinterpret_cast<uint8_t *>(frame), reinterpret_cast<uint8_t *>(frame) + 4);
  }
  plugin.push_from_thread(blocks, false);
  plugin.join();
  int32_t queued = -1;
  plugin.clock(plugin.context, &queued);
  EXPECT_EQ(queued, 128);

  plugin.ended = true;
  std::vector<int16_t> expected;
  for (int k = 1; k < 129; ++k) {
    expected.push_back(static_cast<int16_t>(k));
    expected.push_back(static_cast<int16_t>(-k));
  }
  EXPECT_EQ(pull_all(), expected);
}

TEST_F(PushedAudio, ResetFlagDropsWhatWaits) {
  open();
  plugin.push_now(noise(400, 2));
  plugin.push_now(noise(3, 3));  // a partial frame, also dropped
  plugin.push_now({}, DRAVIK_PUSH_RESET);
  int32_t queued = -1;
  plugin.clock(plugin.context, &queued);
  EXPECT_EQ(queued, 0);
  const Bytes after = noise(800, 4);
  plugin.push_now(after);
  plugin.ended = true;
  EXPECT_EQ(pull_all(), as_values(after));
}

TEST_F(PushedAudio, LongPushIsServedWholeOverSeveralFills) {
  open();
  const Bytes all = noise(100000, 5);
  plugin.push_from_thread({all}, true);
  std::vector<int32_t> sizes;
  EXPECT_EQ(pull_all(&sizes), as_values(all));
  EXPECT_GT(sizes.size(), 1u);
  for (int32_t s : sizes) EXPECT_LE(s, lunaret::kSlotBytes);
}

TEST_F(PushedAudio, EightBitIsWidenedAndMoreChannelsFolded) {
  struct Case {
    int32_t channels;
    int32_t bits;
    Bytes in;
    std::vector<int16_t> out;
  };
  auto le16 = [](std::initializer_list<int16_t> v) {
    Bytes b;
    for (int16_t x : v) {
      b.push_back(static_cast<uint8_t>(x & 0xFF));
      b.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
    }
    return b;
  };
  Bytes ramp(256);
  std::vector<int16_t> widened(256);
  for (int b = 0; b < 256; ++b) {
    ramp[b] = static_cast<uint8_t>(b);
    widened[b] = static_cast<int16_t>((b - 128) * 256);
  }
  const Case cases[] = {
      {1, 8, ramp, widened},
      {2, 8, ramp, widened},
      // 5.1: L = s0 + s1/2 + s4/2, R = s2 + s3/2 + s5/2, saturated.
      {6,
       16,
       le16({1000, 301, 2000, -401, 51, -7, 30000, 20000, 30000, 20000, 1, 1}),
       {1175, 1797, 32767, 32767}},
      // 8-bit 3.0: the widened values go through the table too.
      {3, 8, {128, 130, 0, 255, 0, 255}, {256, -32512, 16128, 16128}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.bits << " bits");
    plugin.channels = c.channels;
    plugin.bits = c.bits;
    plugin.ended = false;
    open();
    plugin.push_from_thread({c.in}, true);
    EXPECT_EQ(pull_all(), c.out);
    plugin.join();
    AudioClose();
  }
}

TEST_F(PushedAudio, BadFormatsFailTheOpen) {
  struct Case {
    bool has_audio;
    int32_t answer, rate, bits, channels;
  } cases[] = {
      {false, 1, 44100, 16, 2},  // a video-only plug-in is never asked
      {true, 0, 44100, 16, 2},   // the plug-in declines
      {true, 1, 0, 16, 2},      {true, 1, 44100, 24, 2}, {true, 1, 44100, 16, 0},
      {true, 1, 44100, 16, 9},  {true, 1, -5, 8, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.answer << " " << c.rate << " " << c.bits << " " << c.channels);
    plugin.has_audio = c.has_audio;
    plugin.format_answer = c.answer;
    plugin.rate = c.rate;
    plugin.bits = c.bits;
    plugin.channels = c.channels;
    plugin.push = nullptr;
    EXPECT_EQ(AudioOpenStream(0), 0);
    EXPECT_EQ(AudioOpenOutput(nullptr), 0);
    EXPECT_EQ(plugin.push, nullptr);
  }
}

TEST_F(PushedAudio, StopDuringTheWaitReturnsWithoutAPush) {
  open();
  ASSERT_EQ(AudioPlay(), 1);
  EXPECT_EQ(plugin.starts, 1);
  // The device's buffers reach the engine through the callback queue; its
  // thread then waits for a push that does not come.
  fake_media().run_callbacks();
  ASSERT_TRUE(lunaret::push_queue().reader_waiting.wait_set(kHangBoundMs));

  auto stopped = std::async(std::launch::async, [] { return AudioStop(); });
  if (stopped.wait_for(kHangBound) != std::future_status::ready) {
    plugin.push_now(noise(4, 6));  // frees the engine so that the test can end
    FAIL() << "AudioStop waited for a push";
  }
  EXPECT_EQ(stopped.get(), 1);
  EXPECT_EQ(plugin.stops, 1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_END_OF_STREAM, 0), 0);
  EXPECT_FALSE(lunaret::push_queue().reader_waiting.is_set());
}

TEST_F(PushedAudio, PushesHandBuffersToThePlayingDevice) {
  open();
  ASSERT_EQ(AudioPlay(), 1);
  // Nothing but the pushes runs the callback queue here.
  const Bytes all = noise(4 * 44100, 7);
  plugin.push_from_thread(cut(all, {4410 * 4, 1000, 6}), true);
  plugin.join();
  wait_for_end();
  EXPECT_EQ(recorder().take(), as_values(all));
  // The recorder holds every byte before a starved device has played
  // any: the clock is judged once the device has played some.
  lunaret::engine().progress.wait_until([] { return AudioGetPlayTime() > 0; }, 20000);
  ASSERT_GT(AudioGetPlayTime(), 0);
  // The clock goes on from where it stood when the output stops and
  // starts again; AudioStop restarts it.
  ASSERT_EQ(AudioSetPause(1), 0);
  int32_t queued = -1;
  const int32_t paused_at = plugin.clock(plugin.context, &queued);
  EXPECT_EQ(queued, 0);
  EXPECT_EQ(AudioGetPlayTime(), -1);
  EXPECT_GT(paused_at, 0);
  EXPECT_EQ(plugin.stops, 1);
  AudioSetPause(0);
  EXPECT_GE(plugin.clock(plugin.context, nullptr), paused_at);
  EXPECT_EQ(plugin.starts, 2);
  AudioStop();
  EXPECT_EQ(plugin.clock(plugin.context, nullptr), 0);
}

}  // namespace

TEST_F(PushedAudio, LongPushPlacedOverSurroundSpeakersLosesNothing) {
  // Placed frames take six values of the slot or more: a long block is
  // served in fills of fewer frames, and every frame still plays.
  AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 1);
  AudioCommand(AUDIO_CMD_SET_ALT_TABLE, 0);
  AudioCommand(AUDIO_CMD_SET_PRESET, 13);
  AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
  open();
  const int32_t speakers = lunaret::engine().out.pcm.channels;
  ASSERT_GT(speakers, 2);
  ASSERT_EQ(AudioPlay(), 1);
  const Bytes all = noise(100000, 8);
  plugin.push_from_thread({all}, true);
  plugin.join();
  wait_for_end();
  EXPECT_EQ(recorder().take().size(), all.size() / 4 * speakers);
  EXPECT_GT(recorder().write_count(), 2);
}
