// The engine frame through its exports: the command table and its clamps,
// opening and closing, the kind decision, and the buffer flow from the
// source to the device and back.
#include "audio/engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "audio/audio_api.h"
#include "tests/audio/engine/fake_media.h"
#include "tests/audio/engine/test_source.h"
#include "tests/support/test_media.h"

namespace {

// Bounds no healthy run comes near.
constexpr uint32_t kBoundMs = 20000;
constexpr uint32_t kPumpRoundMs = 50;

using lunaret::Engine;
using lunaret::engine;
using lunaret_test::counting_source;
using lunaret_test::counting_value;
using lunaret_test::fake_media;
using lunaret_test::recorder;

class AudioEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_media().install();
    counting_source().install();
    recorder().clear();
    lunaret::set_output_driver(&lunaret_test::kRecordingDriver);
  }
  void TearDown() override {
    AudioClose();
    AudioSetChannelMode(AUDIO_CHANNEL_STEREO);
    AudioSetRateMode(AUDIO_RATE_NORMAL);
    AudioCommand(AUDIO_CMD_SET_ECHO, 0);
    AudioCommand(AUDIO_CMD_SET_FRAMES_PER_FILL, 1);
    AudioCommand(AUDIO_CMD_SET_QUEUE_CAP, 10);
    lunaret::set_output_driver(nullptr);
    lunaret_test::CountingSource::uninstall();
    lunaret_test::FakeMedia::uninstall();
  }

  // A stream opened and prepared as the player does.
  void open_prepared() {
    ASSERT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
    ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  }

  // Runs the media layer's callbacks, as the video engine's loop does,
  // until the engine reports the end and every buffer has come back.
  static void play_to_end() { ASSERT_TRUE(fake_media().serve_to_end()) << "playback did not reach its end"; }

  static std::vector<int16_t> expected_counting(int64_t values) {
    std::vector<int16_t> v(static_cast<size_t>(values));
    for (int64_t k = 0; k < values; ++k) v[static_cast<size_t>(k)] = counting_value(k);
    return v;
  }
};

TEST_F(AudioEngine, LunaretProcAnswersEveryOrdinal) {
  const struct {
    int ordinal;
    void *fn;
  } table[] = {
      {61, reinterpret_cast<void *>(&AudioSetChannelMode)}, {62, reinterpret_cast<void *>(&AudioOpenOutput)},
      {63, reinterpret_cast<void *>(&AudioStop)},           {64, reinterpret_cast<void *>(&AudioPlay)},
      {65, reinterpret_cast<void *>(&AudioSeekFile)},       {66, reinterpret_cast<void *>(&AudioGetPlayTime)},
      {67, reinterpret_cast<void *>(&AudioOpenFile)},       {68, reinterpret_cast<void *>(&AudioClose)},
      {69, reinterpret_cast<void *>(&AudioOpenStream)},     {70, reinterpret_cast<void *>(&AudioResetStream)},
      {71, reinterpret_cast<void *>(&AudioFlush)},          {72, reinterpret_cast<void *>(&AudioHalt)},
      {73, reinterpret_cast<void *>(&AudioDeviceUsable)},   {74, reinterpret_cast<void *>(&AudioSetPause)},
      {75, reinterpret_cast<void *>(&AudioGetVolume)},      {76, reinterpret_cast<void *>(&AudioSetVolume)},
      {77, reinterpret_cast<void *>(&AudioWaitRead)},       {78, reinterpret_cast<void *>(&AudioQueueBuffer)},
      {79, reinterpret_cast<void *>(&AudioSetRateMode)},    {80, reinterpret_cast<void *>(&AudioSetHint)},
      {81, reinterpret_cast<void *>(&AudioGetBitRate)},     {82, reinterpret_cast<void *>(&AudioCommand)},
      {83, reinterpret_cast<void *>(&AudioGetScope)},
  };
  for (const auto &row : table) EXPECT_EQ(LunaretProc(row.ordinal), row.fn) << row.ordinal;
  for (int bad : {0, 60, 84, -1, 1000}) EXPECT_EQ(LunaretProc(bad), nullptr) << bad;
}

TEST_F(AudioEngine, CommandClamps) {
  Engine &e = engine();
  const struct {
    int32_t cmd;
    intptr_t arg;
    int32_t expected;
  } cases[] = {
      {AUDIO_CMD_SET_FRAMES_PER_FILL, 0, 1},
      {AUDIO_CMD_SET_FRAMES_PER_FILL, -5, 1},
      {AUDIO_CMD_SET_FRAMES_PER_FILL, 100, 8},
      {AUDIO_CMD_SET_FRAMES_PER_FILL, 3, 3},
      {AUDIO_CMD_SET_QUEUE_CAP, 0, 1},
      {AUDIO_CMD_SET_QUEUE_CAP, -7, 1},
      {AUDIO_CMD_SET_QUEUE_CAP, 99, 40},
      {AUDIO_CMD_SET_QUEUE_CAP, 12, 12},
      {AUDIO_CMD_SET_ECHO, 12, 8},
      {AUDIO_CMD_SET_ECHO, 3, 3},
      {AUDIO_CMD_SET_ECHO, 0, 0},
      {AUDIO_CMD_SET_ECHO, -4, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(AudioCommand(c.cmd, c.arg), 0);
    int32_t got = c.cmd == AUDIO_CMD_SET_FRAMES_PER_FILL ? e.frames_per_fill
                  : c.cmd == AUDIO_CMD_SET_QUEUE_CAP     ? e.queue_cap.load()
                                                         : e.echo_write;
    EXPECT_EQ(got, c.expected) << "command " << c.cmd << " arg " << c.arg;
    if (c.cmd == AUDIO_CMD_SET_ECHO) {
      EXPECT_EQ(e.echo_read, 0);
    }
  }
}

TEST_F(AudioEngine, SetAndGetPairsKeepTheirValues) {
  const struct {
    int32_t set, get;
    intptr_t value;
  } pairs[] = {
      {AUDIO_CMD_SET_AC3_MODE, AUDIO_CMD_GET_AC3_MODE, 5},
      {AUDIO_CMD_SET_PASSTHROUGH, AUDIO_CMD_GET_PASSTHROUGH, 1},
      {AUDIO_CMD_SET_ALT_TABLE, AUDIO_CMD_GET_ALT_TABLE, 1},
      {AUDIO_CMD_SET_PRESET, AUDIO_CMD_GET_PRESET, 12},
      {AUDIO_CMD_SET_MULTICHANNEL, AUDIO_CMD_GET_MULTICHANNEL, 1},
      {AUDIO_CMD_SET_EQ_ENABLE, AUDIO_CMD_GET_EQ_ENABLE, 3},
  };
  for (const auto &p : pairs) {
    AudioCommand(p.set, p.value);
    EXPECT_EQ(AudioCommand(p.get, 0), p.value) << p.set;
    AudioCommand(p.set, p.set == AUDIO_CMD_SET_PRESET ? 8 : 0);
  }
  int32_t eq_in[10] = {1, -2, 3, -4, 5, -6, 7, -8, 9, -10}, eq_out[10] = {};
  AudioCommand(AUDIO_CMD_SET_EQUALISER, reinterpret_cast<intptr_t>(eq_in));
  AudioCommand(AUDIO_CMD_GET_EQUALISER, reinterpret_cast<intptr_t>(eq_out));
  EXPECT_EQ(std::memcmp(eq_in, eq_out, sizeof eq_in), 0);

  auto *layout = reinterpret_cast<AudioSpeakerLayout *>(AudioCommand(AUDIO_CMD_EDIT_LAYOUT, 0));
  ASSERT_NE(layout, nullptr);
  const int32_t at_load[9] = {0, 1, 0, 0, 2, 3, 0, 0, 0};
  EXPECT_EQ(std::memcmp(layout->channel, at_load, sizeof at_load), 0);

  EXPECT_EQ(AudioSetHint(77), 77);
  for (int32_t cmd : {0, 27, 28, 57, 99, -3}) EXPECT_EQ(AudioCommand(cmd, 1), 0) << cmd;
  int32_t mask = 0;
  EXPECT_GE(AudioCommand(AUDIO_CMD_MAX_CHANNELS, reinterpret_cast<intptr_t>(&mask)), 2);
  EXPECT_EQ(mask & 0xF8, 0xF8);
}

TEST_F(AudioEngine, WithoutOutputEveryPlaybackCallIsANoOp) {
  EXPECT_EQ(AudioGetPlayTime(), -1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_PLAY_TIME, 0), -1);
  EXPECT_EQ(AudioPlay(), 0);
  EXPECT_EQ(AudioStop(), 0);
  EXPECT_EQ(AudioSetPause(1), 0);
  EXPECT_EQ(AudioClose(), 0);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_POSITION_STALLED, 0), 1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_DEVICE_HANDLE, 0), 0);
  int32_t bytes = 123;
  EXPECT_EQ(AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)), 0);
  EXPECT_EQ(bytes, 0);
  AudioScopePair pairs[4] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}};
  EXPECT_EQ(AudioGetScope(pairs, 4), 0);
  for (auto &p : pairs) EXPECT_TRUE(p.left == 0 && p.right == 0);
  EXPECT_EQ(AudioSeekFile(0, 0), 0);
  AudioFlush();
  AudioHalt();
  EXPECT_EQ(AudioWaitRead(0), 0);
}

TEST_F(AudioEngine, OpenFileTakesAPathLongerThanAnyFixedBuffer) {
  // Nested folders give a path of about 1,400 characters that the file
  // system accepts.
  std::filesystem::path dir = testing_support::scratch_dir();
  for (int i = 0; i < 6; ++i) dir /= std::string(220, static_cast<char>('a' + i));
  std::filesystem::create_directories(dir);
  std::filesystem::path file = dir / "tone_with_a_long_name.mp2";
  std::ofstream(file, std::ios::binary) << std::string("\xFF\xFD\x90\x00", 4);
  ASSERT_GT(file.string().size(), 1300u);

  fake_media().header_word = 0xFFFD;
  EXPECT_EQ(AudioOpenFile(file.c_str()), 7);
  EXPECT_EQ(fake_media().probed_path, file.string());
  EXPECT_EQ(fake_media().opened_path, file.string());
  EXPECT_EQ(fake_media().opened_start, 0x88888889u);
  Engine &e = engine();
  // The state around the path kept its values.
  EXPECT_EQ(e.sync_word, 0xFFFDu);
  EXPECT_EQ(e.sync_bits, 16);
  EXPECT_TRUE(e.file_mode);
  EXPECT_TRUE(e.audio_file);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_MPEG_AUDIO);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SYNC_WORD, 0), 0xFFFD);
  AudioClose();
  EXPECT_EQ(fake_media().closes, 1);
}

TEST_F(AudioEngine, OpenFileResults) {
  const struct {
    int32_t probe, open;
    int32_t expected;
  } cases[] = {
      {2, 7, 7}, {0, 7, 7}, {2, -1, -1}, {1, 7, 0}, {3, 7, 0}, {-1, 7, 0},
  };
  for (const auto &c : cases) {
    fake_media().probe_result = c.probe;
    fake_media().open_result = c.open;
    EXPECT_EQ(AudioOpenFile("/tmp/whatever.mp2"), c.expected) << "probe " << c.probe;
    AudioClose();
  }
  EXPECT_EQ(AudioOpenFile(nullptr), 0);
  EXPECT_EQ(AudioOpenFile(""), 0);
}

TEST_F(AudioEngine, KindDecision) {
  const struct {
    const char *name;
    int32_t audio_count, current;
    intptr_t plugin;
    int32_t handle;
    int32_t tag;
    int32_t expected;
  } cases[] = {
      {"mpeg", 1, 0xC0, 0, 7, 0, AUDIO_SOURCE_MPEG_AUDIO},
      {"none selected yet", 2, -1, 0, 7, 0, AUDIO_SOURCE_MPEG_AUDIO},
      {"no audio", 0, -1, 0, 7, 0, AUDIO_SOURCE_NO_AUDIO},
      {"ac3", 1, 0x81, 0, 7, 0, AUDIO_SOURCE_AC3},
      {"lpcm", 1, 0xA0, 0, 7, 0, AUDIO_SOURCE_LPCM},
      {"avi by handle", 1, 0xC0, 0, AUDIO_TAG_AVI, 0, AUDIO_SOURCE_AVI_AUDIO},
      {"avi by tag", 1, 0xC0, 0, 7, AUDIO_TAG_AVI, AUDIO_SOURCE_AVI_AUDIO},
      {"plug-in", 1, 0xC0, 0x1234, 7, 0, AUDIO_SOURCE_PUSH_PCM},
  };
  for (const auto &c : cases) {
    fake_media().audio_count = c.audio_count;
    fake_media().audio_current = c.current;
    fake_media().plugin = c.plugin;
    fake_media().source_handle = c.handle;
    int32_t r = AudioOpenStream(c.tag);
    EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), c.expected) << c.name;
    EXPECT_EQ(r, c.expected == AUDIO_SOURCE_PUSH_PCM ? 1 : c.expected) << c.name;
    AudioClose();
  }
}

TEST_F(AudioEngine, FileKindDecision) {
  // An audio file whose header word is the AC-3 sync is AC-3; a ".avi"
  // whose AVI probe finds no audio is MPEG audio.
  fake_media().header_word = 0x0B77;
  fake_media().audio_count = 0;
  EXPECT_EQ(AudioOpenFile("/x/film.ac3"), 7);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_AC3);
  AudioClose();

  fake_media().header_word = 0xFFFD;
  fake_media().avi_probe_result = 1;
  EXPECT_EQ(AudioOpenFile("/x/clip.AVI"), 7);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_MPEG_AUDIO);
  AudioClose();

  fake_media().avi_probe_result = 2;
  fake_media().open_result = AUDIO_TAG_AVI;
  EXPECT_EQ(AudioOpenFile("/x/clip.avi"), AUDIO_TAG_AVI);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_AVI_AUDIO);
  EXPECT_EQ(AudioGetBitRate(), 8000);
  AudioClose();
}

TEST_F(AudioEngine, KindsWithoutDecoderEndAtOnce) {
  fake_media().audio_current = 0x80;
  EXPECT_EQ(AudioOpenStream(0), AUDIO_SOURCE_AC3);
  EXPECT_EQ(AudioOpenOutput(nullptr), 0);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_DECODE_BLOCK, 0), 0);
  AudioClose();
}

TEST_F(AudioEngine, PreparedStreamAnswersFormatQueries) {
  open_prepared();
  int32_t rate = 0;
  EXPECT_EQ(AudioCommand(AUDIO_CMD_LAYER, 0), 2);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate)), 0);
  EXPECT_EQ(rate, 44100);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, 0), 0);
  EXPECT_EQ(AudioGetBitRate(), 224 << 10);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_BITS_PER_SAMPLE, 0), 16);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_OUTPUT_CHANNELS, 0), 2);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_BYTE_RATE, 0), 176128);
  EXPECT_EQ(AudioDeviceUsable(), 1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_RATE_SUPPORTED, 44100), 1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_RATE_SUPPORTED, 11025), 0);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_RATE_CHANNELS, 22050), 2);
}

TEST_F(AudioEngine, SynchronousBlocksFollowTheSource) {
  open_prepared();
  counting_source().frames_total = 5;
  std::vector<int16_t> got;
  for (int i = 0; i < 10; ++i) {
    int32_t bytes = -1;
    auto *pcm = reinterpret_cast<const int16_t *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    ASSERT_NE(pcm, nullptr);
    if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) {
      EXPECT_EQ(bytes, 0);
      break;
    }
    EXPECT_EQ(bytes, 1152 * 2 * 2);
    got.insert(got.end(), pcm, pcm + bytes / 2);
  }
  EXPECT_EQ(got, expected_counting(5 * 2304));
}

TEST_F(AudioEngine, PlaybackDeliversEveryBlockOnceInOrder) {
  const struct {
    int32_t frames_per_fill, queue_cap, frames_total;
  } cases[] = {{1, 10, 120}, {3, 4, 100}, {8, 40, 200}, {2, 1, 37}};
  for (const auto &c : cases) {
    SetUp();
    AudioCommand(AUDIO_CMD_SET_FRAMES_PER_FILL, c.frames_per_fill);
    AudioCommand(AUDIO_CMD_SET_QUEUE_CAP, c.queue_cap);
    counting_source().frames_total = c.frames_total;
    open_prepared();
    ASSERT_EQ(AudioPlay(), 1);
    EXPECT_NE(AudioCommand(AUDIO_CMD_DEVICE_HANDLE, 0), 0);
    play_to_end();
    std::vector<int16_t> played = recorder().take();
    EXPECT_EQ(played, expected_counting(int64_t{c.frames_total} * 2304))
        << "frames per fill " << c.frames_per_fill;
    EXPECT_EQ(AudioStop(), 1);
    EXPECT_EQ(AudioGetPlayTime(), -1);
    AudioClose();
  }
}

TEST_F(AudioEngine, StateChangesDuringPlaybackNeitherDeadlockNorLoseBuffers) {
  counting_source().frames_total = 1 << 30;
  open_prepared();
  ASSERT_EQ(AudioPlay(), 1);
  Engine &e = engine();
  std::atomic<bool> run{true};
  // The pump serves the callbacks as they come (and reads the clock as a
  // player does) while the test changes state under it.
  std::thread pump([&] {
    while (run) {
      const uint64_t seen = e.progress.value();
      fake_media().run_callbacks();
      AudioCommand(AUDIO_CMD_PLAY_TIME, 0);
      if (fake_media().queued() == 0) e.progress.wait_past(seen, kPumpRoundMs);
    }
  });
  for (int round = 0; round < 30; ++round) {
    switch (round % 6) {
      case 0:
        EXPECT_EQ(AudioSetPause(1), 0);
        EXPECT_EQ(AudioSetPause(0), 1);
        break;
      case 1:
        AudioHalt();
        AudioFlush();
        break;
      case 2:
        AudioSetChannelMode(round % 4 == 0 ? AUDIO_CHANNEL_MIX : AUDIO_CHANNEL_STEREO);
        break;
      case 3:
        AudioSetRateMode(round % 4 == 1 ? AUDIO_RATE_HALF : AUDIO_RATE_NORMAL);
        break;
      case 4:
        AudioCommand(AUDIO_CMD_DEVICE_PAUSE, 0);
        AudioCommand(AUDIO_CMD_DEVICE_RESTART, 0);
        break;
      case 5:
        EXPECT_EQ(AudioStop(), 1);
        EXPECT_EQ(AudioPlay(), 1);
        break;
    }
    // Some blocks flow between two changes.
    const int writes = recorder().write_count();
    EXPECT_TRUE(e.progress.wait_until([&] { return recorder().write_count() >= writes + 2; }, kBoundMs))
        << "round " << round;
  }
  // Still flowing after all that.
  const int writes = recorder().write_count();
  EXPECT_TRUE(e.progress.wait_until([&] { return recorder().write_count() >= writes + 5; }, kBoundMs));
  run = false;
  pump.join();
  EXPECT_EQ(AudioStop(), 1);
  platform::Lock lock(e.queue_lock);
  EXPECT_EQ(e.at_device, 0);
  for (auto w : e.where) EXPECT_EQ(w, Engine::Where::idle);
}

TEST_F(AudioEngine, QueueDepthGrowsWhenTheDeviceRunsLow) {
  using lunaret_test::manual_device;
  lunaret::set_output_driver(&lunaret_test::kManualDriver);
  counting_source().frames_total = 1 << 30;
  open_prepared();
  Engine &e = engine();
  ASSERT_EQ(AudioPlay(), 1);
  // Settled: the thread waits with nothing to do, because the device holds
  // what the limit allows or nothing is left to fill.
  auto settle = [&] {
    ASSERT_TRUE(fake_media().serve_until([&] {
      if (fake_media().queued() != 0) return false;
      platform::Lock lock(e.queue_lock);
      return !e.busy && (e.at_device >= e.queue_limit || e.fill_read == e.fill_write);
    }));
  };
  settle();
  // Ten buffers out (the default depth) and none back: the depth holds.
  EXPECT_EQ(manual_device().holding(), 10u);
  EXPECT_EQ(e.queue_limit, 10);
  // Eight come back: with two left at the device it starves, and every
  // buffer written while fewer than half of ten are out deepens the queue
  // by two, until the device holds what the limit allows.
  {
    // All eight arrive before the engine thread looks again.
    platform::Lock hold(e.queue_lock);
    manual_device().release(8);
  }
  settle();
  EXPECT_EQ(e.queue_limit, 14);
  EXPECT_EQ(manual_device().holding(), 14u);
  EXPECT_EQ(AudioWaitRead(0), 0);
  AudioStop();
  EXPECT_EQ(manual_device().holding(), 0u);
}

TEST_F(AudioEngine, FlushWhilePausedDoesNothing) {
  counting_source().frames_total = 1 << 30;
  open_prepared();
  ASSERT_EQ(AudioPlay(), 1);
  EXPECT_EQ(AudioSetPause(1), 0);
  size_t flushes = fake_media().flushes.size();
  int fills = counting_source().fills;
  AudioFlush();
  EXPECT_EQ(fake_media().flushes.size(), flushes);
  EXPECT_EQ(counting_source().fills, fills);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_DEVICE_HANDLE, 0), 0);
  EXPECT_EQ(AudioSetPause(0), 1);
  EXPECT_NE(AudioCommand(AUDIO_CMD_DEVICE_HANDLE, 0), 0);
}

TEST_F(AudioEngine, EchoReturnsOnTheOtherSideAtHalfLevel) {
  counting_source().install();
  counting_source().impulses = true;
  counting_source().frames_total = 9;
  open_prepared();
  AudioCommand(AUDIO_CMD_SET_ECHO, 3);
  std::vector<int16_t> out;
  for (;;) {
    int32_t bytes = 0;
    auto *pcm = reinterpret_cast<const int16_t *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
    out.insert(out.end(), pcm, pcm + bytes / 2);
  }
  ASSERT_EQ(out.size(), 9u * 2304);
  // The click at frame 0 on the left; its echo 3 x 1,152 frames later on
  // the right at half amplitude; nothing else.
  for (size_t i = 0; i < out.size(); ++i) {
    int16_t expect = 0;
    if (i == 0) expect = 10000;
    if (i == 3 * 2304 + 1) expect = 5000;
    ASSERT_EQ(out[i], expect) << "value " << i;
  }
}

TEST_F(AudioEngine, WavCaptureHoldsExactlyTheDecodedBlocks) {
  open_prepared();
  counting_source().frames_total = 4;
  std::string path = testing_support::scratch_dir() + "/capture.wav";
  FILE *f = std::fopen(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  int fd = fileno(f);
  AudioCommand(AUDIO_CMD_CAPTURE_START, fd);
  std::vector<int16_t> decoded;
  for (;;) {
    int32_t bytes = 0;
    auto *pcm = reinterpret_cast<const int16_t *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
    decoded.insert(decoded.end(), pcm, pcm + bytes / 2);
  }
  AudioCommand(AUDIO_CMD_CAPTURE_FINISH, 0);
  std::fclose(f);

  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 44 + decoded.size() * 2);
  auto u32 = [&](size_t o) {
    return file[o] | file[o + 1] << 8 | file[o + 2] << 16 | uint32_t(file[o + 3]) << 24;
  };
  auto u16 = [&](size_t o) { return file[o] | file[o + 1] << 8; };
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(u32(4), decoded.size() * 2 + 36);
  EXPECT_EQ(u32(16), 16u);
  EXPECT_EQ(u16(20), 1);
  EXPECT_EQ(u16(22), 2);
  EXPECT_EQ(u32(24), 44100u);
  EXPECT_EQ(u32(28), 44100u * 4);
  EXPECT_EQ(u16(32), 4);
  EXPECT_EQ(u16(34), 16);
  EXPECT_EQ(std::memcmp(file.data() + 36, "data", 4), 0);
  EXPECT_EQ(u32(40), decoded.size() * 2);
  EXPECT_EQ(std::memcmp(file.data() + 44, decoded.data(), decoded.size() * 2), 0);
}

TEST_F(AudioEngine, ConverterWavCommandsWriteAWholeFile) {
  open_prepared();
  counting_source().frames_total = 3;
  std::string path = testing_support::scratch_dir() + "/converter.wav";
  FILE *f = std::fopen(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  int fd = fileno(f);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_WAV_HEADER, fd), 44);
  int64_t total = 0;
  while (intptr_t n = AudioCommand(AUDIO_CMD_DECODE_TO_FILE, fd)) total += n;
  EXPECT_EQ(total, 3 * 2304 * 2);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_WAV_FINISH, fd), 1);
  std::fclose(f);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 44u + total);
  uint32_t data_size = file[40] | file[41] << 8 | file[42] << 16 | uint32_t(file[43]) << 24;
  EXPECT_EQ(data_size, total);
  std::vector<int16_t> pcm(static_cast<size_t>(total / 2));
  std::memcpy(pcm.data(), file.data() + 44, static_cast<size_t>(total));
  EXPECT_EQ(pcm, expected_counting(3 * 2304));
}

TEST_F(AudioEngine, RawCopyStartsAtTheSyncWord) {
  fake_media().bytes = {0x12, 0x34, 0x56, 0xFF, 0xFD, 0x90, 0x00, 0xAA, 0xBB};
  fake_media().header_word = 0xFFFD;
  ASSERT_EQ(AudioOpenFile("/x/a.mp2"), 7);
  fake_media().pos = 0;
  std::string path = testing_support::scratch_dir() + "/raw.bin";
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_COPY_RAW_SYNCED, fileno(f)), 6);
  std::fclose(f);
  std::ifstream in(path, std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, std::string("\xFF\xFD\x90\x00\xAA\xBB", 6));
}

TEST_F(AudioEngine, TimingRunReportsItsFigures) {
  open_prepared();
  counting_source().frames_total = 100;
  AudioTimingRun run{-1, -1, -1, -1, -1};
  EXPECT_EQ(AudioCommand(AUDIO_CMD_TIMING_RUN, reinterpret_cast<intptr_t>(&run)), 1);
  EXPECT_EQ(run.frames, 36);
  EXPECT_GE(run.elapsed_ms, 0);
  EXPECT_GE(run.decode_ms, 0);
  EXPECT_GE(run.read_ms, 0);
  EXPECT_GE(run.write_ms, 0);
  EXPECT_EQ(recorder().write_count(), 36);
  // The device is closed again and playback still starts.
  EXPECT_EQ(AudioCommand(AUDIO_CMD_DEVICE_HANDLE, 0), 0);
  EXPECT_EQ(AudioPlay(), 1);
}

TEST_F(AudioEngine, VolumeIsKeptAcrossDeviceOpens) {
  open_prepared();
  AudioSetVolume(0x12345678u);
  EXPECT_EQ(AudioGetVolume(), 0x12345678u);
  ASSERT_EQ(AudioPlay(), 1);
  EXPECT_EQ(AudioGetVolume(), 0x12345678u);
  EXPECT_EQ(AudioSetVolume(0xFFFFFFFFu), 0x12345678u);
}

TEST_F(AudioEngine, RateModeMinusOneReinitialisesAndZeroThenReturnsAtOnce) {
  open_prepared();
  Engine &e = engine();
  AudioSetRateMode(AUDIO_RATE_FULL);
  EXPECT_EQ(e.rate_mode_requested, AUDIO_RATE_FULL);
  EXPECT_EQ(e.rate_mode_active, AUDIO_RATE_NORMAL);
  AudioSetRateMode(AUDIO_RATE_HALF);
  EXPECT_EQ(e.out.pcm.rate, 22050u);
  AudioSetChannelMode(AUDIO_CHANNEL_MIX);
  EXPECT_EQ(e.out.pcm.channels, 1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_OUTPUT_CHANNELS, 0), 1);
}

}  // namespace
