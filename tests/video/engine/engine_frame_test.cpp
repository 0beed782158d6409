// The engine frame driven through its exports with stand-in media, audio and
// decoder: defaults, the command tables, the playback thread's states, open
// and close, and the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/change_count.h"
#include "tests/video/engine/fake_ports.h"
#include "video/engine/engine.h"
#include "video/video_api.h"

namespace {

using kestrum::engine;
using kestrum::playback_threads_started;

// Written by the engine's playback thread, read by the test.
struct Recorded {
  std::atomic<int32_t> pictures{0};
  std::atomic<int32_t> width{0};
  std::atomic<int32_t> height{0};
  std::mutex lock;
  std::condition_variable presented;
  // Set: a picture presented on this thread (a seek's) takes this long, as
  // a real decoder's restart does (a deliberate sleep that widens the race
  // the test provokes).
  std::thread::id slow_thread;
  std::chrono::microseconds slow_present{0};

  /// Sleeps until more than `count` pictures have come, at most `bound`;
  /// -> whether they have.
  bool wait_beyond(int32_t count, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> g(lock);
    return presented.wait_for(g, bound, [&] { return pictures.load() > count; });
  }
};

int32_t record_planes(void *user, const KestrumPicture *p) {
  auto *r = static_cast<Recorded *>(user);
  if (std::this_thread::get_id() == r->slow_thread) std::this_thread::sleep_for(r->slow_present);
  r->width = p->width;
  r->height = p->height;
  {
    std::lock_guard<std::mutex> g(r->lock);
    ++r->pictures;
  }
  r->presented.notify_all();
  return 1;
}

// A bound no healthy wait comes near.
constexpr uint32_t kBoundMs = 10000;

// Looks at `cond` after every play step of the engine's thread and
// whenever it goes idle, within the bound.
template <class F>
bool after_thread_steps(F cond) {
  return engine().state.playback.changes.wait_until(cond, kBoundMs);
}

// A stopped thread presents nothing even when woken: it looks at its flags
// and goes back to its wait. -> whether it went back.
bool woken_thread_stays_idle() {
  kestrum::PlaybackRecord &p = engine().state.playback;
  if (!p.stepping.wait_clear(kBoundMs)) return false;
  const uint64_t seen = p.changes.value();
  engine().wake.set();
  return p.changes.wait_past(seen, kBoundMs) && p.stepping.wait_clear(kBoundMs);
}

class EngineFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    VideoStartup();
    fake::install();
    display_.user = &recorded_;
    display_.present_planes = record_planes;
  }
  void TearDown() override {
    VideoClose(1);
    VideoCloseAudioOnly(0);
    fake::uninstall();
  }
  bool open_file() { return VideoOpen(&display_, "/films/a.m1v", nullptr, 0) == 1; }

  Recorded recorded_;
  KestrumHostDisplay display_{};
};

TEST_F(EngineFrame, SettingsHaveTheirDefaultsBeforeAnyOpen) {
  struct Case {
    int32_t cmd;
    intptr_t expected;
  };
  const Case cases[] = {
      {VCMD_GET_KEEP_ASPECT, 1}, {VCMD_GET_ASPECT_FACTOR, 312},   {VCMD_GET_SCAN_STEP, 1},
      {VCMD_GET_PLAY_MODE, 0},   {VCMD_GET_SLOW_FACTOR, 1},       {VCMD_GET_BACKGROUND, 1},
      {VCMD_SOURCE_TAG, -1},     {VCMD_DVD_AUDIO_COUNT, -1},      {VCMD_DVD_SPU_COUNT, -1},
      {VCMD_IS_PLAYING, 0},      {VCMD_FULL_SCREEN_REQUESTED, 0}, {VCMD_GET_FRAME_HOOK, 0},
      {VCMD_HARDWARE_IN_USE, 0}, {VCMD_GET_PIXEL_LAYOUT, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(VideoCommand(c.cmd, 0), c.expected) << "command " << c.cmd;
  // Stream commands do nothing while no file is open.
  int32_t h = -5;
  EXPECT_EQ(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&h)), 0);
  EXPECT_EQ(h, -5);
  EXPECT_EQ(VideoStep(), 0);
  EXPECT_EQ(VideoSeek(1000, 0), 0);
  EXPECT_EQ(VideoRun(), 0);
  EXPECT_EQ(VideoHalt(), 0);
  EXPECT_EQ(VideoGetBitRate(), 0);

  KestrumStateRecord r;
  std::memset(&r, 0xAA, sizeof r);
  EXPECT_EQ(VideoCommand(VCMD_GET_STATE, reinterpret_cast<intptr_t>(&r)), 0);
  EXPECT_EQ(r.open, 0);
  EXPECT_EQ(r.playing, 0);
  EXPECT_EQ(r.channel_mode, 2);
  EXPECT_EQ(r.audio_rate_mode, 100);
  EXPECT_EQ(r.real_time, 1);
  EXPECT_EQ(r.monochrome, 0);
  EXPECT_EQ(r.mono_tint_cb, 128);
  EXPECT_EQ(r.mono_tint_cr, 128);
  EXPECT_EQ(r.zero, 0);
  EXPECT_EQ(r.open_mode, 0);
}

TEST_F(EngineFrame, RecordLayoutsKeepTheirDocumentedOffsets) {
  EXPECT_EQ(sizeof(KestrumBenchmarkRecord), 40u);
  EXPECT_EQ(offsetof(KestrumStateRecord, video_window), 8u);
  EXPECT_EQ(offsetof(KestrumStateRecord, window_proc), 16u);
  EXPECT_EQ(offsetof(KestrumStateRecord, audio_rate_mode), 24u);
  EXPECT_EQ(offsetof(KestrumStateRecord, real_time), 32u);
  EXPECT_EQ(offsetof(KestrumStateRecord, coefficient_limit), 38u);
  EXPECT_EQ(offsetof(KestrumStateRecord, overlay_in_use), 40u);
  EXPECT_EQ(offsetof(KestrumStateRecord, open_mode), 51u);
  EXPECT_EQ(offsetof(KestrumPlaneRecord, y_pitch), 24u);
}

// The stored values of the display, subpicture, DVD and plug-in layers:
// each pair and each lone code keeps its own value (setting one changes no
// other), a set answers the value it replaced, and a packed triplet passes
// through whole.
TEST_F(EngineFrame, StoredValuesAreKeptApart) {
  struct Pair {
    int32_t get, set;
  };
  const Pair pairs[] = {{VCMD_GET_VALUE_37, VCMD_SET_VALUE_38},
                        {VCMD_GET_VALUE_105, VCMD_SET_VALUE_106},
                        {VCMD_GET_VALUE_110, VCMD_SET_VALUE_111},
                        {VCMD_GET_VALUE_149, VCMD_SET_VALUE_150},
                        {VCMD_GET_VALUE_152, VCMD_SET_VALUE_153}};
  const int32_t lone[] = {VCMD_VALUE_17, VCMD_VALUE_20, VCMD_VALUE_101, VCMD_VALUE_132, VCMD_VALUE_151};
  // All set at once, each to its own value...
  intptr_t value = 1000;
  for (const Pair &p : pairs) EXPECT_EQ(VideoCommand(p.set, ++value), 0) << p.set;
  for (int32_t c : lone) EXPECT_EQ(VideoCommand(c, ++value), 0) << c;
  // ...each reads back its own, and a set answers the old one.
  value = 1000;
  for (const Pair &p : pairs) {
    EXPECT_EQ(VideoCommand(p.get, 0), ++value) << p.get;
    EXPECT_EQ(VideoCommand(p.set, 0), value) << p.set;
  }
  for (int32_t c : lone) EXPECT_EQ(VideoCommand(c, 0), ++value) << c;
  const intptr_t packed = (intptr_t{5} << 20) | (intptr_t{300} << 8) | 7;
  VideoCommand(VCMD_SET_VALUE_111, packed);
  EXPECT_EQ(VideoCommand(VCMD_GET_VALUE_110, 0), packed);
  EXPECT_EQ(VideoCommand(VCMD_GET_VALUE_37, 0), 0);
  VideoCommand(VCMD_SET_VALUE_111, 0);
  // Codes outside the table answer 0 and keep nothing.
  for (int32_t c : {141, 142, 143, 144, 187, -1, 100000}) {
    EXPECT_EQ(VideoCommand(c, 5), 0) << c;
    EXPECT_EQ(VideoCommand(c, 0), 0) << c;
  }
}

TEST_F(EngineFrame, SettingPairsRoundTrip) {
  struct Case {
    int32_t set, get;
    intptr_t value;
  };
  const Case cases[] = {{VCMD_SET_KEEP_ASPECT, VCMD_GET_KEEP_ASPECT, 0},
                        {VCMD_SET_ASPECT_FACTOR, VCMD_GET_ASPECT_FACTOR, 455},
                        {VCMD_SET_SCAN_STEP, VCMD_GET_SCAN_STEP, 3},
                        {VCMD_SET_SLOW_FACTOR, VCMD_GET_SLOW_FACTOR, 4},
                        {VCMD_SET_PLAY_MODE, VCMD_GET_PLAY_MODE, 2},
                        {VCMD_SET_BACKGROUND, VCMD_GET_BACKGROUND, 2},
                        {VCMD_SET_PIXEL_LAYOUT, VCMD_GET_PIXEL_LAYOUT, 565},
                        {VCMD_SET_DEPTH_PREFERENCE, VCMD_GET_DEPTH_PREFERENCE, 1},
                        {VCMD_SET_FRAME_HOOK, VCMD_GET_FRAME_HOOK, 0x1000}};
  for (const Case &c : cases) {
    const intptr_t before = VideoCommand(c.get, 0);
    VideoCommand(c.set, c.value);
    EXPECT_EQ(VideoCommand(c.get, 0), c.value) << c.set;
    VideoCommand(c.set, before);
    EXPECT_EQ(VideoCommand(c.get, 0), before) << c.set;
  }
  // 83 and 85 exclude each other.
  VideoCommand(VCMD_VARIANT_83, 1);
  VideoCommand(VCMD_VARIANT_85, 1);
  EXPECT_EQ(engine().state.picture.variant, 85);
  VideoCommand(VCMD_VARIANT_83, 1);
  EXPECT_EQ(engine().state.picture.variant, 83);
  VideoCommand(VCMD_VARIANT_83, 0);
  EXPECT_EQ(engine().state.picture.variant, 0);
  // The caption carries the engine's name until a host sets one; the
  // text is copied and bounded.
  EXPECT_STREQ(engine().state.presentation.caption_text.data(), "Kestrum");
  const std::string long_text(200, 'x');
  VideoCommand(VCMD_CAPTION_TEXT, reinterpret_cast<intptr_t>(long_text.c_str()));
  EXPECT_EQ(std::strlen(engine().state.presentation.caption_text.data()), 63u);
  VideoCommand(VCMD_CAPTION_TEXT, reinterpret_cast<intptr_t>("Kestrum"));
  // The "Pell" marker is not taken as a routine.
  VideoCommand(VCMD_SET_POST_FRAME_CALLBACK, KESTRUM_PELL_MARKER);
  EXPECT_EQ(engine().state.picture.post_frame_callback, nullptr);
}

TEST_F(EngineFrame, OpenLeavesTheEngineStoppedWithTheFirstPictureShown) {
  ASSERT_TRUE(open_file());
  EXPECT_EQ(fake::media.opens, 1);
  EXPECT_EQ(fake::media.last_open_start, 0x88888888u) << "a bare video stream opens raw";
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 0);
  EXPECT_EQ(VideoCommand(VCMD_IS_ELEMENTARY, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_TOTAL_LENGTH, 0), fake::media.total_length);
  EXPECT_EQ(VideoCommand(VCMD_SOURCE_TAG, 0), 7);
  EXPECT_EQ(VideoCommand(VCMD_GET_ASPECT_FACTOR, 0), 352 * 256 / 288);
  EXPECT_EQ(VideoGetWindow(), &display_);
  EXPECT_EQ(recorded_.pictures.load(), 1);
  EXPECT_EQ(recorded_.width.load(), 352);
  int32_t h = 0;
  EXPECT_EQ(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&h)), 352);
  EXPECT_EQ(h, 288);
  EXPECT_EQ(VideoCommand(VCMD_FRAME_RATE_CODE, 0), 3);
  EXPECT_EQ(VideoGetBitRate(), 2900 * 400);
  EXPECT_STREQ(reinterpret_cast<const char *>(VideoCommand(VCMD_OPEN_PATH, 0)), "/films/a.m1v");
  auto *planes = reinterpret_cast<KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
  ASSERT_NE(planes, nullptr);
  EXPECT_EQ(planes->y_pitch, 352);
  EXPECT_EQ(planes->cb_pitch, 176);
  void *buffer = nullptr;
  EXPECT_EQ(VideoCommand(VCMD_PLANE_TABLE, reinterpret_cast<intptr_t>(&buffer)),
            reinterpret_cast<intptr_t>(planes));
  EXPECT_EQ(buffer, planes->y);
  EXPECT_EQ(VideoClose(1), 1);
  EXPECT_EQ(fake::media.closes, 1);
  EXPECT_EQ(VideoCommand(VCMD_SOURCE_TAG, 0), -1);
  EXPECT_EQ(VideoClose(1), 0) << "nothing left to close";
}

TEST_F(EngineFrame, OpenFailsCleanly) {
  struct Case {
    int32_t kind, open_result, plugin;
  };
  const Case cases[] = {
      {-1, 7, 0}, {2, 7, 0}, {3, 7, 0}, {1, -1, 0}, {0, -1, 0}, {0, 7, 1}, {0, KESTRUM_AVI_SOURCE_TAG, 0}};
  for (const Case &c : cases) {
    fake::install();
    fake::media.probe_kind = c.kind;
    fake::media.open_result = c.open_result;
    fake::media.plugin = c.plugin;
    EXPECT_EQ(VideoOpen(&display_, "/films/x.mpg", nullptr, 0), 0) << "kind " << c.kind;
    EXPECT_EQ(fake::media.opens, fake::media.closes) << "no source left open, kind " << c.kind;
    EXPECT_EQ(VideoCommand(VCMD_SOURCE_TAG, 0), -1);
    EXPECT_EQ(engine().state.source.open.load(), 0);
  }
  EXPECT_EQ(VideoOpen(&display_, nullptr, nullptr, 0), 0);
  EXPECT_EQ(VideoOpen(&display_, "", nullptr, 0), 0);
}

TEST_F(EngineFrame, Command68ReportsPlayingOnlyBetweenPlayAndStop) {
  ASSERT_TRUE(open_file());
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 0);
  EXPECT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_PLAY, 0), 0) << "play only starts when stopped";
  EXPECT_TRUE(recorded_.wait_beyond(2, std::chrono::milliseconds(kBoundMs)))
      << "the thread presents pictures";
  EXPECT_EQ(VideoCommand(VCMD_STOP, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 0);
  EXPECT_TRUE(engine().state.playback.idle.load()) << "stop waits for the thread to go idle";
  const int32_t shown = recorded_.pictures.load();
  EXPECT_TRUE(woken_thread_stays_idle());
  EXPECT_EQ(recorded_.pictures.load(), shown) << "nothing is presented after a stop";
}

// Play resumed right after a halt, with a seek in between (an interface call
// that holds the stream while the thread goes back to its wait) or without:
// the thread must never miss the run that follows. Each round waits for new
// pictures on the recorder's event, with a bound no healthy round comes near.
TEST_F(EngineFrame, PlayResumedManyTimesAlwaysGoesOn) {
  fake::install(1 << 20);
  ASSERT_TRUE(open_file());
  VideoSetRealTime(0);
  // The seeks take a little while, as real ones do: the thread's way back
  // to its wait overlaps them.
  recorded_.slow_thread = std::this_thread::get_id();
  recorded_.slow_present = std::chrono::microseconds(2000);
  constexpr std::chrono::milliseconds kBound{10000};
  for (int round = 0; round < 300; ++round) {
    const int32_t before = recorded_.pictures.load();
    ASSERT_EQ(VideoRun(), 1) << "round " << round;
    ASSERT_TRUE(recorded_.wait_beyond(before + 1, kBound)) << "the play stalled in round " << round;
    ASSERT_EQ(VideoHalt(), 1) << "round " << round;
    if (round % 3 == 1) VideoSeek(4096 * (round % 16), 0);  // well before the end
    if (round % 3 == 2) VideoCommand(VCMD_TOGGLE_AUDIO_PAUSE, 0);
  }
}

// The sound's flush waits for its fill thread, whose reads may call back
// into the engine: a seek flushes with engine_lock let go.
TEST_F(EngineFrame, SeekFlushesTheSoundWithTheEngineLockFree) {
  fake::install();
  fake::media.probe_kind = 0;
  fake::media.stream_mix = 0;
  ASSERT_TRUE(open_file());
  ASSERT_EQ(VideoCommand(VCMD_OPEN_AUDIO, 0), 1);
  const int32_t flushes = fake::audio.flushes;
  const int32_t under_lock = fake::audio.flushes_under_engine_lock;
  EXPECT_GT(VideoSeek(65536, 0), 0);
  EXPECT_GT(fake::audio.flushes, flushes);
  EXPECT_EQ(fake::audio.flushes_under_engine_lock, under_lock);
}

// Stopping and closing the sound wait for its fill thread, which may call
// back into the engine and take engine_lock, as the stand-in's stop and
// close do: a close must make them with the lock free, or it deadlocks.
TEST_F(EngineFrame, CloseStopsTheSoundWithTheEngineLockFree) {
  for (const bool audio_only : {false, true}) {
    SCOPED_TRACE(audio_only ? "audio-only open" : "open with sound");
    fake::install();
    fake::media.probe_kind = audio_only ? 2 : 0;
    fake::media.stream_mix = 0;
    if (audio_only) {
      ASSERT_EQ(VideoOpenAudioOnly(&display_, "/films/a.mp2", 0, 0), 1);
    } else {
      ASSERT_TRUE(open_file());
      ASSERT_EQ(VideoCommand(VCMD_OPEN_AUDIO, 0), 1);
    }
    ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
    ASSERT_EQ(audio_only ? VideoCloseAudioOnly(0) : VideoClose(1), 1);
    EXPECT_GT(fake::audio.closes, 0);
    EXPECT_GT(fake::audio.stops, 0);
    EXPECT_EQ(fake::audio.closes_under_engine_lock, 0);
    EXPECT_EQ(fake::audio.stops_under_engine_lock, 0);
  }
}

// A scan started from stopped runs even when a halt left its abort behind:
// after a play ends the thread waits, stopped, for a run or a scan, and a
// halt then finds it idle and nobody takes the abort. The stand-in decoder
// gives the scan no anchor, so a scan that runs ends at once, at the end.
TEST_F(EngineFrame, ScanOnFromStoppedClearsALeftoverAbort) {
  fake::install(12);
  ASSERT_TRUE(open_file());
  VideoSetRealTime(0);
  ASSERT_EQ(VideoCommand(VCMD_PLAY_SILENT, 0), 1);
  ASSERT_TRUE(after_thread_steps([] { return VideoCommand(VCMD_IS_PLAYING, 0) == 0; }));
  kestrum::PlaybackRecord &p = engine().state.playback;
  ASSERT_TRUE(p.stepping.wait_clear(kBoundMs));
  ASSERT_EQ(VideoHalt(), 1);
  ASSERT_EQ(p.abort.load(), 1) << "the halt's abort is left over";
  ASSERT_GT(VideoSeek(0, 0), -1);
  ASSERT_EQ(p.end_of_stream.load(), 0) << "a seek forgets the end";
  ASSERT_EQ(VideoScanOn(), 1);
  EXPECT_TRUE(p.end_of_stream.wait_raised(kBoundMs)) << "the scan never ran";
  EXPECT_EQ(VideoScanOff(), 1);
}

TEST_F(EngineFrame, StepIsRefusedWhilePlayingAndWorksAfterStop) {
  ASSERT_TRUE(open_file());
  EXPECT_EQ(VideoStep(), 1);
  EXPECT_EQ(recorded_.pictures.load(), 2);
  VideoCommand(VCMD_PLAY, 0);
  EXPECT_EQ(VideoStep(), 0);
  EXPECT_EQ(VideoCommand(VCMD_STEP, 0), 0);
  VideoCommand(VCMD_STOP, 0);
  EXPECT_EQ(VideoStep(), 1);
}

TEST_F(EngineFrame, PlayRunsToTheEndAndStops) {
  fake::install(12);
  ASSERT_TRUE(open_file());
  VideoSetRealTime(0);
  VideoCommand(VCMD_PLAY_SILENT, 0);
  EXPECT_TRUE(after_thread_steps([] { return VideoCommand(VCMD_IS_PLAYING, 0) == 0; }));
  EXPECT_EQ(recorded_.pictures.load(), 12) << "every picture once: the open shows the first";
  EXPECT_EQ(VideoCommand(VCMD_PLAYBACK_ENDED, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 1);
  EXPECT_EQ(VideoStep(), 0);
}

TEST_F(EngineFrame, ChannelModeIgnoresValuesOutsideItsRange) {
  EXPECT_EQ(VideoCommand(VCMD_SET_CHANNEL_MODE, 1), 1);
  EXPECT_EQ(engine().state.audio_link.channel_mode, 1);
  EXPECT_EQ(VideoCommand(VCMD_SET_CHANNEL_MODE, 4), 0);
  EXPECT_EQ(VideoCommand(VCMD_SET_CHANNEL_MODE, -1), 0);
  EXPECT_EQ(engine().state.audio_link.channel_mode, 1);
  ASSERT_TRUE(open_file());
  EXPECT_EQ(fake::audio.channel_mode, 1) << "the open hands the mode to the audio engine";
  VideoCommand(VCMD_SET_CHANNEL_MODE, 0);
  EXPECT_EQ(fake::audio.channel_mode, 0);
  VideoCommand(VCMD_SET_CHANNEL_MODE, 4);
  EXPECT_EQ(fake::audio.channel_mode, 0);
  EXPECT_EQ(engine().state.audio_link.channel_mode, 0);
  VideoCommand(VCMD_SET_CHANNEL_MODE, 2);
}

TEST_F(EngineFrame, WideAspectTakesOnlyZeroOrOne) {
  ASSERT_TRUE(open_file());
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 0);
  VideoCommand(VCMD_SET_WIDE, 1);
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 1);
  VideoCommand(VCMD_SET_WIDE, 2);
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 1);
  VideoCommand(VCMD_SET_WIDE, 0);
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 0);
  VideoCommand(VCMD_SET_WIDE, -1);
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 0);
}

TEST_F(EngineFrame, EndIsReportedOnlyNearTheEndOfTheSource) {
  fake::install(50);
  ASSERT_TRUE(open_file());
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 0);
  // Close to the end, with pictures still to decode: not yet.
  EXPECT_EQ(VideoSeek(fake::media.total_length - 1000, 0), fake::media.total_length - 1000);
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 0);
  int steps = 0;
  while (!VideoCommand(VCMD_AT_END, 0) && steps < 10) steps += VideoStep();
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 1);
  EXPECT_LE(steps, 2);
  // With audio running the audio engine's end decides.
  VideoSeek(0, 0);
  engine().state.audio_link.audio_running = 1;
  fake::audio.end_of_stream = 1;
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 1);
  fake::audio.end_of_stream = 0;
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 0);
  engine().state.audio_link.audio_running = 0;
}

TEST_F(EngineFrame, TellNeverMovesAndWorksWhilePlaying) {
  ASSERT_TRUE(open_file());
  const int32_t seeks = fake::media.seeks;
  const int32_t pos = VideoSeek(0, 1);
  EXPECT_EQ(pos, fake::media.position);
  EXPECT_EQ(fake::media.seeks, seeks);
  VideoCommand(VCMD_PLAY_SILENT, 0);
  EXPECT_GE(VideoSeek(0, 1), pos);
  EXPECT_EQ(fake::media.seeks, seeks);
  VideoCommand(VCMD_STOP, 0);
  const int32_t restarts = fake::decoder.restarts;
  EXPECT_EQ(VideoSeek(65536, 0), 65536);
  EXPECT_EQ(fake::decoder.restarts, restarts + 1) << "a seek restarts the bit reader";
  EXPECT_EQ(VideoSeek(1000, 1), 66536);
  EXPECT_EQ(VideoCommand(VCMD_SEEK_FORWARD, 100), 66636);
}

TEST_F(EngineFrame, MarksCopyAndReturn) {
  ASSERT_TRUE(open_file());
  EXPECT_EQ(VideoCommand(VCMD_SET_MARK_A, 4096), 4096);
  EXPECT_EQ(VideoCommand(VCMD_SET_MARK_B_2, 9000), 9000);
  VideoSeek(20000, 0);
  EXPECT_EQ(VideoCommand(VCMD_GOTO_MARK_A, 0), 1);
  EXPECT_EQ(VideoSeek(0, 1), 4096);
  EXPECT_EQ(VideoCommand(VCMD_RETURN_FROM_MARK, 0), 1);
  EXPECT_EQ(VideoSeek(0, 1), 20000);
  EXPECT_EQ(VideoCommand(VCMD_COPY_AUDIO, 3), -1) << "nothing copied";
}

TEST_F(EngineFrame, VolumeStepsClampEachChannel) {
  ASSERT_TRUE(open_file());
  fake::audio.volume = 0xFF00u | (0x0100u << 16);
  VideoCommand(VCMD_VOLUME_UP, 0);
  EXPECT_EQ(fake::audio.volume, 0xFFFFu | (0x0300u << 16));
  fake::audio.volume = 0x0100u | (0x0400u << 16);
  VideoCommand(VCMD_VOLUME_DOWN, 0);
  EXPECT_EQ(fake::audio.volume, 0x0000u | (0x0200u << 16));
}

TEST_F(EngineFrame, StateRecordRestoresTheSettingsItCarries) {
  VideoSetMonoTint(100, 90);
  VideoCommand(VCMD_SET_CHANNEL_MODE, 3);
  VideoSetCoefficientLimit(12);
  KestrumStateRecord saved;
  VideoCommand(VCMD_GET_STATE, reinterpret_cast<intptr_t>(&saved));
  EXPECT_EQ(saved.mono_tint_cb, 100);
  EXPECT_EQ(saved.mono_tint_cr, 90);
  EXPECT_EQ(saved.channel_mode, 3);
  EXPECT_EQ(saved.coefficient_limit, 12);
  VideoSetMonoTint(128, 128);
  VideoCommand(VCMD_SET_CHANNEL_MODE, 2);
  EXPECT_EQ(VideoSetCoefficientLimit(0), 12);
  EXPECT_EQ(VideoCommand(VCMD_SET_STATE, reinterpret_cast<intptr_t>(&saved)), 0);
  KestrumStateRecord again;
  VideoCommand(VCMD_GET_STATE, reinterpret_cast<intptr_t>(&again));
  EXPECT_EQ(std::memcmp(&again, &saved, sizeof saved), 0);
  VideoSetMonoTint(128, 128);
  VideoCommand(VCMD_SET_CHANNEL_MODE, 2);
  VideoSetCoefficientLimit(0);
}

TEST_F(EngineFrame, BenchmarkDecodesUpToItsLimit) {
  fake::install(200);
  ASSERT_TRUE(open_file());
  KestrumBenchmarkRecord r;
  VideoCommand(VCMD_PLAY_SILENT, 0);
  EXPECT_EQ(VideoCommand(VCMD_BENCHMARK, reinterpret_cast<intptr_t>(&r)), 0) << "only when stopped";
  VideoCommand(VCMD_STOP, 0);
  VideoSeek(0, 0);
  const int32_t shown = recorded_.pictures.load();
  std::memset(&r, 0x55, sizeof r);
  EXPECT_EQ(VideoCommand(VCMD_BENCHMARK, reinterpret_cast<intptr_t>(&r)), 1);
  EXPECT_EQ(r.pictures, 130);
  EXPECT_GE(r.elapsed_ms, 0);
  EXPECT_EQ(r.audio[0], -1) << "no audio benchmark without audio";
  EXPECT_EQ(recorded_.pictures.load(), shown + 130);
  VideoCommand(VCMD_VARIANT_85, 1);
  EXPECT_EQ(VideoCommand(VCMD_BENCHMARK, reinterpret_cast<intptr_t>(&r)), 1);
  EXPECT_EQ(r.pictures, 200 - 130 + 20) << "the rest of the stream plus the variant mark";
  VideoCommand(VCMD_VARIANT_85, 0);
}

TEST_F(EngineFrame, SystemStreamOpensItsAudio) {
  fake::install();
  fake::media.probe_kind = 0;
  fake::media.stream_mix = 0;
  ASSERT_TRUE(open_file());
  EXPECT_EQ(fake::media.last_open_start, 0u);
  EXPECT_EQ(VideoCommand(VCMD_IS_ELEMENTARY, 0), 0);
  EXPECT_EQ(fake::audio.opens, 1);
  EXPECT_EQ(fake::audio.rate_mode, -1) << "a device that plays 44.1 kHz";
  EXPECT_EQ(VideoCommand(VCMD_OPEN_AUDIO, 0), 1);
  VideoCommand(VCMD_PLAY, 0);
  EXPECT_EQ(fake::audio.plays, 1);
  VideoCommand(VCMD_TOGGLE_AUDIO_PAUSE, 0);
  EXPECT_EQ(fake::audio.pause, 1);
  VideoCommand(VCMD_STOP, 0);
  EXPECT_EQ(fake::audio.stops, 1);
  VideoClose(1);
  EXPECT_EQ(fake::audio.closes, 1);
}

TEST_F(EngineFrame, AudioOnlyOpenDecodesNoVideo) {
  fake::install();
  fake::media.probe_kind = 2;
  EXPECT_EQ(VideoOpenAudioOnly(nullptr, "/music/a.mp2", 0, 0), 1);
  EXPECT_EQ(engine().state.source.open_mode, 2);
  EXPECT_EQ(VideoStep(), 0);
  VideoCommand(VCMD_PLAY, 0);
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 1);
  EXPECT_EQ(VideoReopenAudioOnly(0, "/music/b.mp2", 0, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 1) << "a playing file keeps playing";
  EXPECT_EQ(VideoCloseAudioOnly(0), 1);
  EXPECT_EQ(engine().state.source.open.load(), 0);
  EXPECT_GE(fake::audio.closes, 2);
  fake::media.probe_kind = 1;
  EXPECT_EQ(VideoOpenAudioOnly(nullptr, "/films/v.m1v", 0, 0), 0) << "a video-only file has no audio";
}

// The calls of `want`, in this order, with `want[i]` the first matching
// call after `want[i - 1]`.
bool called_in_order(const std::vector<std::string> &calls, const std::vector<std::string> &want) {
  size_t at = 0;
  for (const std::string &w : want) {
    while (at < calls.size() && calls[at] != w) ++at;
    if (at == calls.size()) return false;
    ++at;
  }
  return true;
}

std::string audio_call(int32_t cmd) { return "audio " + std::to_string(cmd); }
std::string control_call(int32_t cmd) { return "ctl " + std::to_string(cmd); }

// A converter's open (a host display that takes nothing) leaves the sound
// device alone: asking its rates loads the sound system. An open that
// shows pictures asks, and settles the rate left for the open.
TEST_F(EngineFrame, OnlyAnOpenThatShowsAsksTheDeviceItsRates) {
  const auto asked = [] {
    const auto calls = fake::trail.calls();
    return std::count(calls.begin(), calls.end(), audio_call(AUDIO_CMD_RATE_SUPPORTED)) +
           std::count(calls.begin(), calls.end(), audio_call(AUDIO_CMD_RATE_CHANNELS));
  };
  static const KestrumHostDisplay takes_nothing{};
  engine().state.audio_link.audio_rate_mode = kestrum::kRateModeChooseAtOpen;  // as after start-up
  fake::trail.clear();
  ASSERT_EQ(VideoOpen(&takes_nothing, "/films/a.m1v", nullptr, 0), 1);
  EXPECT_EQ(asked(), 0);
  EXPECT_EQ(fake::audio.rate_mode, -1) << "the normal rate stands in for the device's answer";
  EXPECT_EQ(fake::audio.channel_mode, 2);
  EXPECT_EQ(engine().state.audio_link.audio_rate_mode, kestrum::kRateModeChooseAtOpen);
  VideoClose(1);

  fake::trail.clear();
  ASSERT_TRUE(open_file());
  EXPECT_GT(asked(), 0);
  EXPECT_EQ(engine().state.audio_link.audio_rate_mode, -1);
}

TEST_F(EngineFrame, AudioOnlyPlayAndSeekStartTheDeviceWithFullBuffers) {
  fake::media.probe_kind = SOURCE_KIND_AUDIO;
  ASSERT_EQ(VideoOpenAudioOnly(nullptr, "/music/a.mp2", 0, 0), 1);
  // Play: the device waits paused while every queued refill runs, then
  // restarts; only then is the media layer told that play starts.
  fake::trail.clear();
  VideoCommand(VCMD_PLAY, 0);
  const std::vector<std::string> start = {audio_call(AUDIO_CMD_DEVICE_PAUSE), "refills",
                                          audio_call(AUDIO_CMD_DEVICE_RESTART),
                                          control_call(CTL_FILE_IO_B_HOOK1)};
  EXPECT_TRUE(called_in_order(fake::trail.calls(), start));
  // A seek while playing restarts the device the same way.
  fake::trail.clear();
  VideoSeek(4096, 0);
  EXPECT_TRUE(called_in_order(fake::trail.calls(), {audio_call(AUDIO_CMD_DEVICE_PAUSE), "refills",
                                                    audio_call(AUDIO_CMD_DEVICE_RESTART)}));
  fake::trail.clear();
  VideoCommand(VCMD_STOP, 0);
  EXPECT_TRUE(called_in_order(fake::trail.calls(), {control_call(CTL_FILE_IO_B_HOOK2)}));
  // Stopped, a seek decodes one block at the new place instead.
  fake::trail.clear();
  VideoSeek(8192, 0);
  const auto calls = fake::trail.calls();
  EXPECT_TRUE(called_in_order(calls, {audio_call(AUDIO_CMD_DECODE_BLOCK)}));
  EXPECT_FALSE(called_in_order(calls, {audio_call(AUDIO_CMD_DEVICE_RESTART)}));
}

TEST_F(EngineFrame, SecondStartupCreatesNothingTwice) {
  void *first = VideoStartup();
  const size_t controls = fake::media.controls.size();
  void *second = VideoStartup();
  EXPECT_EQ(first, second);
  EXPECT_EQ(fake::media.controls.size(), controls) << "no second binding of the subpicture decoder";
  EXPECT_EQ(playback_threads_started(), 1);
  ASSERT_TRUE(open_file());
  VideoClose(1);
  ASSERT_TRUE(open_file());
  EXPECT_EQ(playback_threads_started(), 1) << "opens start no thread";
}

TEST_F(EngineFrame, OpenAndCloseManyTimes) {
  for (int i = 0; i < 100; ++i) {
    fake::install(5);
    ASSERT_TRUE(open_file()) << i;
    if (i % 10 == 0) {
      VideoCommand(VCMD_PLAY_SILENT, 0);
      VideoCommand(VCMD_STOP, 0);
    }
    ASSERT_EQ(VideoClose(i & 1), 1) << i;
    ASSERT_EQ(fake::media.opens, fake::media.closes);
  }
  EXPECT_EQ(VideoCommand(VCMD_OPEN_COUNT, 0) >= 100, true);
}

TEST_F(EngineFrame, MonochromeShowsTheTint) {
  struct Probe {
    uint8_t cb = 0, cr = 0;
  } probe;
  KestrumHostDisplay d{};
  d.user = &probe;
  d.present_planes = [](void *user, const KestrumPicture *p) -> int32_t {
    auto *pr = static_cast<Probe *>(user);
    pr->cb = p->cb[0];
    pr->cr = p->cr[100];
    return 1;
  };
  ASSERT_EQ(VideoOpen(&d, "/films/a.m1v", nullptr, 0), 1);
  VideoSetMonoTint(60, 200);
  VideoCommand(VCMD_TOGGLE_COLOUR, 0);
  EXPECT_EQ(probe.cb, 60);
  EXPECT_EQ(probe.cr, 200);
  VideoCommand(VCMD_TINT_CB_DOWN, 0);
  EXPECT_EQ(probe.cb, 56);
  VideoCommand(VCMD_TOGGLE_COLOUR, 0);
  EXPECT_EQ(probe.cb, 0) << "colour again: the decoder's planes";
  VideoSetMonoTint(128, 128);
}

TEST_F(EngineFrame, HoldAndReleaseCallTheRoutines) {
  static int calls = 0;
  calls = 0;
  VideoCommand(VCMD_SET_POST_FRAME_CALLBACK, reinterpret_cast<intptr_t>(+[](void *, int32_t) { ++calls; }));
  ASSERT_TRUE(open_file());
  EXPECT_EQ(VideoCommand(VCMD_HOLD_PICTURE, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_RELEASE_PICTURE, 0), 1);
  EXPECT_EQ(calls, 1);
  VideoCommand(VCMD_SET_POST_FRAME_CALLBACK, 0);
  static int before = 0;
  before = 0;
  VideoCommand(VCMD_PLAY_WITH_CALLBACK, reinterpret_cast<intptr_t>(+[] { ++before; }));
  EXPECT_GE(before, 1) << "called once at once";
  VideoCommand(VCMD_STOP, 0);
  EXPECT_EQ(engine().state.playback.end_callback.load(), nullptr);
}

TEST_F(EngineFrame, HaltDoesNotKillAThreadThatIsSlowToStop) {
  // A display that takes 600 ms per picture (a deliberate sleep: the
  // halt's 300 ms wait runs out while the thread is inside a present).
  static std::atomic<int> presents{0};
  static platform::ChangeCount entered;
  presents = 0;
  KestrumHostDisplay slow{};
  slow.present_planes = [](void *, const KestrumPicture *) -> int32_t {
    ++presents;
    entered.bump();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return 1;
  };
  ASSERT_EQ(VideoOpen(&slow, "/films/a.m1v", nullptr, 0), 1);
  presents = 0;
  VideoCommand(VCMD_PLAY_SILENT, 0);
  ASSERT_TRUE(entered.wait_until([] { return presents.load() > 0; }, kBoundMs));
  EXPECT_EQ(VideoHalt(), 1);
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 0);
  // The thread finishes its picture by itself and goes idle; nothing new
  // was started in its place.
  EXPECT_TRUE(engine().state.playback.stepping.wait_clear(kBoundMs));
  const int after = presents.load();
  EXPECT_TRUE(woken_thread_stays_idle());
  EXPECT_EQ(presents.load(), after);
  EXPECT_EQ(playback_threads_started(), 1);
  // And it plays again when asked.
  VideoCommand(VCMD_PLAY_SILENT, 0);
  EXPECT_TRUE(entered.wait_until([&] { return presents.load() > after; }, kBoundMs));
  VideoCommand(VCMD_STOP, 0);
}

TEST_F(EngineFrame, OnTopIsKeptInTheSettingsFile) {
  const char *home = std::getenv("RAZAVORI_HOME");
  ASSERT_NE(home, nullptr);
  const std::string ini = std::string(home) + "/KESTRUM.INI";
  EXPECT_EQ(VideoCommand(VCMD_SET_ON_TOP, 1), 0);
  EXPECT_EQ(VideoCommand(VCMD_GET_ON_TOP, 0), 1);
  EXPECT_EQ(kestrum::read_on_top_setting(), 1);
  std::ifstream in(ini);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("[SETTING]"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("VideoWinOnTop=1"), std::string::npos) << text.str();
  EXPECT_EQ(VideoCommand(VCMD_SET_ON_TOP, 0), 1);
  EXPECT_EQ(kestrum::read_on_top_setting(), 0);
}

TEST_F(EngineFrame, RgbHostsGetPixelsWhenConvertersExist) {
  struct Got {
    int calls = 0;
    int32_t pitch = 0, width = 0, height = 0;
  } got;
  KestrumHostDisplay rgb{};
  rgb.user = &got;
  rgb.present_rgb = [](void *user, const uint8_t *, int32_t pitch, int32_t w, int32_t h) -> int32_t {
    auto *g = static_cast<Got *>(user);
    ++g->calls;
    g->pitch = pitch;
    g->width = w;
    g->height = h;
    return 1;
  };
  ASSERT_EQ(VideoOpen(&rgb, "/films/a.m1v", nullptr, 0), 1);
  VideoStep();
  EXPECT_EQ(got.calls, 2);
  EXPECT_EQ(got.width, 352);
  EXPECT_EQ(got.height, 288);
  EXPECT_EQ(got.pitch, 352 * 4);
  // The frame-copy routine copies the same picture.
  auto copy = reinterpret_cast<KestrumFrameCopy>(VideoCommand(VCMD_FRAME_COPY, 0));
  std::vector<uint8_t> pixels(352 * 288 * 3, 0xEE);
  VideoCommand(VCMD_HOLD_PICTURE, 0);
  EXPECT_EQ(copy(24, 1, 0, pixels.data(), 352 * 3), 1);
  VideoCommand(VCMD_RELEASE_PICTURE, 0);
  EXPECT_EQ(pixels[0], 0) << "blue of the stand-in picture (Y 0, Cb 0) is 0";
}

TEST(KestrumProcTable, EveryOrdinalHasItsExport) {
  struct Case {
    int32_t ordinal;
    void *fn;
  };
  const Case cases[] = {
      {71, reinterpret_cast<void *>(&VideoCloseAudioOnly)}, {75, reinterpret_cast<void *>(&VideoCommand)},
      {84, reinterpret_cast<void *>(&VideoOpen)},           {87, reinterpret_cast<void *>(&VideoSeek)},
      {100, reinterpret_cast<void *>(&VideoStep)},          {101, reinterpret_cast<void *>(&VideoStartup)},
      {102, reinterpret_cast<void *>(&VideoShutdown)}};
  for (const Case &c : cases) EXPECT_EQ(KestrumProc(c.ordinal), c.fn) << c.ordinal;
  for (int32_t ord = 71; ord <= 102; ++ord) EXPECT_NE(KestrumProc(ord), nullptr) << ord;
  for (int32_t ord : {0, 70, 103, -1}) EXPECT_EQ(KestrumProc(ord), nullptr) << ord;
}

}  // namespace
