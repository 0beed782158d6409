// Whole plays of generated streams through the engine's exports, with a
// host display that records every presented picture (its luma plane and
// the clock time it came). The pictures are checked against the frames
// ffmpeg decodes from the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "tests/support/test_media.h"
#include "tests/video/decode/decode_support.h"
#include "tests/video/playback/sync_log.h"
#include "tests/video/playback/wait_for_end.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/pace_clock.h"
#include "video/video_api.h"

namespace {

using playback_test::wait_for_end;

using Clock = std::chrono::steady_clock;

struct Shown {
  std::vector<uint8_t> luma;  // width x height, tightly packed
  double ms = 0;              // since the recorder was cleared
  uint32_t at_ms = 0;         // the pacing clock at that moment
  // The loop's measure of the picture against the sound, when it took one.
  std::optional<kestrum::play::SyncSample> measure;
};

struct Recorder {
  std::mutex lock;
  std::vector<Shown> shown;
  Clock::time_point origin = Clock::now();
  playback_test::SyncLog *sync = nullptr;
  void clear() {
    std::lock_guard<std::mutex> g(lock);
    shown.clear();
    origin = Clock::now();
  }
  size_t count() {
    std::lock_guard<std::mutex> g(lock);
    return shown.size();
  }
  /// Looks at `holds` after every picture until it is true, at most
  /// `bound`; -> its last answer.
  template <typename Holds>
  bool wait_for(Holds holds, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> g(lock);
    return presented.wait_for(g, bound, [&] { return holds(shown.size()); });
  }
  std::condition_variable presented;
};

int32_t record(void *user, const KestrumPicture *p) {
  auto *r = static_cast<Recorder *>(user);
  Shown s;
  s.luma.resize(static_cast<size_t>(p->width) * static_cast<size_t>(p->height));
  for (int32_t y = 0; y < p->height; ++y) {
    std::copy_n(p->y + static_cast<ptrdiff_t>(y) * p->y_pitch, p->width,
                s.luma.begin() + static_cast<ptrdiff_t>(y) * p->width);
  }
  s.at_ms = kestrum::play::clock_ms();
  if (r->sync) s.measure = r->sync->take();
  {
    std::lock_guard<std::mutex> g(r->lock);
    s.ms = std::chrono::duration<double, std::milli>(Clock::now() - r->origin).count();
    r->shown.push_back(std::move(s));
  }
  r->presented.notify_all();
  return 1;
}

KestrumHostDisplay host(Recorder &r) {
  KestrumHostDisplay d{};
  d.user = &r;
  d.present_planes = record;
  return d;
}

// ffmpeg's frames of a 4:2:0 stream (the generated .yuv reference), luma only.
std::vector<std::vector<uint8_t>> reference_luma(const std::string &name, int w, int h) {
  std::vector<std::vector<uint8_t>> frames;
  std::ifstream in(testing_support::media_path(name + ".yuv"), std::ios::binary);
  const size_t luma = static_cast<size_t>(w) * static_cast<size_t>(h);
  std::vector<uint8_t> frame(luma * 3 / 2);
  while (in.read(reinterpret_cast<char *>(frame.data()), static_cast<std::streamsize>(frame.size()))) {
    frames.emplace_back(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(luma));
  }
  return frames;
}

// Index of the reference frame the picture matches best, and that PSNR.
std::pair<size_t, double> best_match(const std::vector<uint8_t> &luma,
                                     const std::vector<std::vector<uint8_t>> &ref) {
  std::pair<size_t, double> best{0, -1};
  for (size_t i = 0; i < ref.size(); ++i) {
    const double q = video_test::plane_psnr(luma, ref[i]);
    if (q > best.second) best = {i, q};
  }
  return best;
}

// Picture types in display order, as ffmpeg decodes them.
std::string display_types(const std::string &path) {
  std::string out;
  FILE *p =
      popen(("ffprobe -v error -select_streams v:0 -show_entries frame=pict_type -of csv=p=0 '" + path + "'")
                .c_str(),
            "r");
  if (!p) return out;
  int c;
  while ((c = fgetc(p)) != EOF) {
    if (c == 'I' || c == 'P' || c == 'B') out.push_back(static_cast<char>(c));
  }
  pclose(p);
  return out;
}

constexpr int kWidth = 352, kHeight = 288;
constexpr double kPeriodMs = 40;  // 25 pictures per second
constexpr double kMatchDb = 35;   // same picture as ffmpeg's (IDCT rounding aside)
// A bound no healthy wait comes near.
constexpr std::chrono::milliseconds kBound{20000};

class PlaybackStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override { VideoClose(1); }
  Recorder rec;
};

struct Elementary {
  const char *name;
  int width, height;
  size_t pictures;
};

class PlaybackElementary : public ::testing::TestWithParam<Elementary> {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override { VideoClose(1); }
  Recorder rec;
};

// MPEG-1 goes through the normal loop, MPEG-2 through the MPEG-2 loop.
INSTANTIATE_TEST_SUITE_P(Streams, PlaybackElementary,
                         ::testing::Values(Elementary{"video_mpeg1.m1v", 352, 288, 75},
                                           Elementary{"video_mpeg2_progressive.m2v", 720, 576, 50},
                                           Elementary{"video_mpeg2_interlaced.m2v", 720, 576, 50},
                                           Elementary{"video_mpeg2_open_gop.m2v", 720, 576, 50}),
                         [](const auto &info) { return testing_support::case_name(info.param.name); });

TEST_P(PlaybackElementary, PlayedToTheEndEveryPictureComesOnceInDisplayOrder) {
  const Elementary &st = GetParam();
  const auto ref = reference_luma(st.name, st.width, st.height);
  ASSERT_EQ(ref.size(), st.pictures);
  const KestrumHostDisplay d = host(rec);
  const std::string path = testing_support::media_path(st.name);
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  VideoSetRealTime(0);
  rec.clear();
  ASSERT_EQ(VideoRun(), 1);
  ASSERT_TRUE(wait_for_end(60));
  // Every picture once, in display order.
  ASSERT_EQ(rec.count(), ref.size());
  for (size_t i = 0; i < rec.shown.size(); ++i) {
    EXPECT_GE(video_test::plane_psnr(rec.shown[i].luma, ref[i]), kMatchDb) << "picture " << i;
  }
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 1);
  // How long the play waited (none without real time) is the pacing test's,
  // on a virtual clock.
}

TEST_F(PlaybackStreams, SeekBeyondTheLengthLandsAtTheLength) {
  const KestrumHostDisplay d = host(rec);
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  const auto size = static_cast<int32_t>(std::filesystem::file_size(path));
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  EXPECT_EQ(VideoSeek(size * 2, 0), size);
  EXPECT_EQ(VideoSeek(0, 1), size);
  // Back to the start still works: the next step shows a picture of the
  // first GOP.
  const auto ref = reference_luma("video_mpeg1.m1v", kWidth, kHeight);
  rec.clear();
  EXPECT_GE(VideoSeek(0, 0), 0);
  EXPECT_EQ(VideoStep(), 1);
  ASSERT_GE(rec.count(), 1u);
  const auto [index, db] = best_match(rec.shown.back().luma, ref);
  EXPECT_GE(db, kMatchDb);
  EXPECT_LT(index, 10u);
}

TEST_F(PlaybackStreams, SeekIntoAnOpenGopShowsTheIntraPicture) {
  const std::string name = "mpeg1_system.mpg";
  const std::string path = testing_support::media_path(name);
  const auto ref = reference_luma(name, kWidth, kHeight);
  const std::string types = display_types(path);
  ASSERT_FALSE(ref.empty());
  ASSERT_EQ(types.size(), ref.size());
  const KestrumHostDisplay d = host(rec);
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  const auto size = static_cast<int32_t>(std::filesystem::file_size(path));
  for (int32_t at : {size / 3, size / 2, size * 2 / 3}) {
    rec.clear();
    ASSERT_GT(VideoSeek(at, 0), 0) << at;
    ASSERT_GE(rec.count(), 1u) << at;
    const auto [index, db] = best_match(rec.shown.back().luma, ref);
    EXPECT_GE(db, kMatchDb) << at;
    EXPECT_EQ(types[index], 'I') << "seek to " << at << " showed picture " << index;
  }
}

// A closed GOP needs no second anchor: the seek shows its I picture at once,
// and the steps after it go on in display order, none shown twice or skipped.
// The elementary stream has closed GOPs; the program stream takes the same
// checks through the MPEG-2 path.
struct SeekCase {
  const char *name;
  int width, height;
};

class SeekThenStep : public ::testing::TestWithParam<SeekCase> {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override { VideoClose(1); }
  Recorder rec;
};

INSTANTIATE_TEST_SUITE_P(Streams, SeekThenStep,
                         ::testing::Values(SeekCase{"video_mpeg1.m1v", 352, 288},
                                           SeekCase{"mpeg2_ps.mpg", 720, 576}),
                         [](const auto &info) { return testing_support::case_name(info.param.name); });

TEST_P(SeekThenStep, ShowsTheIntraPictureAtOnceThenDisplayOrder) {
  const SeekCase &sc = GetParam();
  const std::string path = testing_support::media_path(sc.name);
  const auto ref = reference_luma(sc.name, sc.width, sc.height);
  const std::string types = display_types(path);
  ASSERT_FALSE(ref.empty());
  ASSERT_EQ(types.size(), ref.size());
  const KestrumHostDisplay d = host(rec);
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  const auto size = static_cast<int32_t>(std::filesystem::file_size(path));
  for (int32_t at : {size / 4, size / 2}) {
    rec.clear();
    ASSERT_GT(VideoSeek(at, 0), 0) << at;
    ASSERT_EQ(rec.count(), 1u) << "seek to " << at;
    const auto [index, db] = best_match(rec.shown.back().luma, ref);
    EXPECT_GE(db, kMatchDb) << at;
    EXPECT_EQ(types[index], 'I') << "seek to " << at << " showed picture " << index;
    // The following steps cross the B pictures and the next anchor.
    for (size_t k = 1; k <= 4 && index + k < ref.size(); ++k) {
      ASSERT_EQ(VideoStep(), 1) << at << " step " << k;
      ASSERT_EQ(rec.count(), k + 1) << at;
      EXPECT_GE(video_test::plane_psnr(rec.shown.back().luma, ref[index + k]), kMatchDb)
          << "seek to " << at << ": step " << k << " after picture " << index;
    }
  }
}

TEST_F(PlaybackStreams, PauseStopsBothClocksAndResumeRestartsThem) {
  const KestrumHostDisplay d = host(rec);
  const std::string path = testing_support::media_path("mpeg1_system.mpg");
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  rec.clear();
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  // Playing: pictures come and the sound's clock runs.
  ASSERT_TRUE(rec.wait_for([](size_t n) { return n > 5 && AudioGetPlayTime() > 100; }, kBound));
  // Pause: the pictures stop, and so does the sound.
  ASSERT_EQ(VideoHalt(), 1);
  ASSERT_EQ(VideoCommand(VCMD_TOGGLE_AUDIO_PAUSE, 0), 1);
  const size_t pictures = rec.count();
  const int32_t audio_at_pause = AudioGetPlayTime();
  // A picture or a moving clock would show within this look.
  EXPECT_FALSE(rec.wait_for([&](size_t n) { return n != pictures; }, std::chrono::milliseconds(400)));
  EXPECT_LE(std::abs(AudioGetPlayTime() - audio_at_pause), 20);
  // Resume: both go on. The sound restarts once its refills have run
  // again.
  ASSERT_EQ(VideoCommand(VCMD_TOGGLE_AUDIO_PAUSE, 0), 1);
  ASSERT_EQ(VideoRun(), 1);
  const int32_t audio_resumed = AudioGetPlayTime();
  EXPECT_TRUE(rec.wait_for(
      [&](size_t n) { return n > pictures + 5 && AudioGetPlayTime() >= audio_resumed + 100; }, kBound));
}

// With sound, a picture is due when the audio clock reaches its place in
// the stream. The ring levels alone let the pictures run ahead by about
// 25 ms a second on these streams (their sound is multiplexed close to the
// pictures, so the audio ring never fills far enough to hold them back);
// the loop follows the audio clock itself.
//
// Each picture is judged against the audio clock as the loop read it for
// that picture, run on at the real rate to the moment it came. Reading the
// clock again at that moment would judge the machine, not the loop: on a
// loaded machine the sound's device thread starves, and its clock stands
// still for a while after the loop read it. A picture must not come before
// its sound, except while the loop holds the pictures back as far as it may
// (half a frame period each) to let a clock that lost time catch up. How
// late pictures come follows the load, so it is not checked. Each picture
// is told by ffmpeg's frames, and the sound's due time the loop used must be
// its own place in the stream, pictures passed over before it included.
// Judged after the first second and before the last half second, while
// both rings are fed.
struct SyncedStream {
  const char *name;
  int width, height;
};

TEST_F(PlaybackStreams, WithSoundPicturesFollowTheAudioClock) {
  // The audio clock moves in the device's blocks, and the loop leaves a
  // picture within its tolerance of its sound: two frame periods at most.
  constexpr double kEarlyMs = 2 * kPeriodMs;
  constexpr int32_t kPeriodUs = static_cast<int32_t>(kPeriodMs * 1000);
  const int32_t most_held = kestrum::play::sync_correction_ms(kestrum::play::kSyncRestartMs, kPeriodUs);
  for (const SyncedStream st :
       {SyncedStream{"mpeg1_system.mpg", kWidth, kHeight}, SyncedStream{"mpeg2_ps.mpg", 720, 576}}) {
    SCOPED_TRACE(st.name);
    const auto ref = reference_luma(st.name, st.width, st.height);
    ASSERT_GE(ref.size(), 50u);
    playback_test::SyncLog sync;
    rec.sync = &sync;
    const KestrumHostDisplay d = host(rec);
    ASSERT_EQ(VideoOpen(&d, testing_support::media_path(st.name).c_str(), nullptr, 0), 1);
    rec.clear();
    sync.clear();
    ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
    ASSERT_TRUE(wait_for_end(60));
    ASSERT_EQ(VideoClose(1), 1);
    rec.sync = nullptr;
    // How many pictures the loop passes over to keep up with the sound
    // follows the load (under a sanitizer on a busy machine, several of
    // 50); those it shows come once each, in display order.
    ASSERT_GE(rec.count(), ref.size() / 2);
    size_t measured = 0;
    int64_t origin = -1;  // fields counted before the first picture
    int64_t last_index = -1;
    double earliest = 0;
    for (const Shown &s : rec.shown) {
      if (!s.measure) continue;
      const kestrum::play::SyncSample &m = *s.measure;
      const auto [index, db] = best_match(s.luma, ref);
      ASSERT_GE(db, kMatchDb) << "measured picture " << measured;
      EXPECT_GT(static_cast<int64_t>(index), last_index) << "measured picture " << measured;
      last_index = static_cast<int64_t>(index);
      ++measured;
      // Two fields a picture, counted from where the sound started.
      const int64_t from = 2 * static_cast<int64_t>(index) - m.fields_before;
      if (origin < 0) origin = from;
      EXPECT_EQ(from, origin) << "picture " << index << " counted at " << m.fields_before << " fields";
      if (index < 25 || index + 12 >= ref.size()) continue;
      const double heard_then = m.heard_ms + double(static_cast<int32_t>(s.at_ms - m.read_at_ms));
      const double early = double(m.sound_due_ms) - heard_then;
      if (m.moved_ms == most_held) continue;
      EXPECT_LT(early, kEarlyMs) << "picture " << index << " came before its sound (read " << m.heard_ms
                                 << " ms, " << static_cast<int32_t>(s.at_ms - m.read_at_ms) << " ms before)";
      earliest = std::max(earliest, early);
    }
    // The loop measured the pictures against the sound.
    EXPECT_GE(measured, 25u);
    RecordProperty(std::string("earliest_ms_") + st.name, static_cast<int>(earliest));
  }
}

TEST_F(PlaybackStreams, FiftyOpensAndClosesInARow) {
  const KestrumHostDisplay d = host(rec);
  const std::string path = testing_support::media_path("mpeg1_system.mpg");
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1) << i;
    if (i % 10 == 0) {
      // Closed while pictures come.
      rec.clear();
      VideoCommand(VCMD_PLAY, 0);
      ASSERT_TRUE(rec.wait_for([](size_t n) { return n > 1; }, kBound)) << i;
    }
    ASSERT_EQ(VideoClose(1), 1) << i;
  }
}

}  // namespace
