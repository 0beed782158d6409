// Film on NTSC: pictures that repeat a field (3:2 pull-down flags) keep
// their display time, and streams without the flags keep their timing.
//
// The plays without sound run on a virtual pacing clock that moves only when
// the engine waits, so the time each picture is presented at is the engine's
// own due time, however busy the machine is. The play with sound runs on the
// real clocks and looks at what the audio clock made the pacing do.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/media_api.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "tests/video/decode/decode_support.h"
#include "tests/video/playback/sync_log.h"
#include "tests/video/playback/virtual_clock.h"
#include "tests/video/playback/wait_for_end.h"
#include "video/decode/decoder.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/pace_clock.h"
#include "video/video_api.h"

namespace {

using playback_test::wait_for_end;

namespace kp = kestrum::play;

struct Shown {
  std::vector<uint8_t> luma;
  uint32_t at_ms = 0;  // the pacing clock when it was presented
  int32_t fields = 0;  // how long the engine says it stays
  // The loop's measure of it against the sound (plays with sound).
  std::optional<kp::SyncSample> measure;
};

struct Recorder {
  std::mutex lock;
  std::vector<Shown> shown;
  bool keep_luma = true;
  playback_test::SyncLog *sync = nullptr;
};

int32_t record(void *user, const KestrumPicture *p) {
  auto *r = static_cast<Recorder *>(user);
  Shown s;
  s.at_ms = kp::clock_ms();
  s.fields = p->fields;
  if (r->sync) s.measure = r->sync->take();
  if (r->keep_luma) {
    s.luma.resize(static_cast<size_t>(p->width) * static_cast<size_t>(p->height));
    for (int32_t y = 0; y < p->height; ++y) {
      std::copy_n(p->y + static_cast<ptrdiff_t>(y) * p->y_pitch, p->width,
                  s.luma.begin() + static_cast<ptrdiff_t>(y) * p->width);
    }
  }
  std::lock_guard<std::mutex> g(r->lock);
  r->shown.push_back(std::move(s));
  return 1;
}

KestrumHostDisplay host(Recorder &r) {
  KestrumHostDisplay d{};
  d.user = &r;
  d.present_planes = record;
  return d;
}

// ffmpeg's pictures of a generated stream (.yuv reference).
std::vector<video_test::Picture> reference(const std::string &file) {
  return video_test::read_yuv(testing_support::media_path(file), 352, 480);
}

constexpr double kMatchDb = 35;
constexpr double kNtscPeriodMs = 1001.0 / 30.0;
constexpr double kFieldMs = kNtscPeriodMs / 2;

class FilmTiming : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override {
    VideoClose(1);
    VideoCommand(VCMD_SET_PLAY_MODE, 0);
    VideoCommand(VCMD_SET_SLOW_FACTOR, 1);
    kp::set_pace_clock(nullptr);
  }
  // Plays a stream to its end on the virtual clock.
  void play_virtual(const std::string &name) {
    kp::set_pace_clock(&playback_test::kVirtualClock);
    const KestrumHostDisplay d = host(rec);
    ASSERT_EQ(VideoOpen(&d, testing_support::media_path(name).c_str(), nullptr, 0), 1) << name;
    rec.shown.clear();
    ASSERT_EQ(VideoRun(), 1);
    ASSERT_TRUE(wait_for_end(120)) << name;
    ASSERT_EQ(VideoClose(1), 1) << name;
  }
  Recorder rec;
};

TEST_F(FilmTiming, PullDownFilmLastsItsTenSecondsEveryPictureOnceInOrder) {
  play_virtual("film_pulldown.m2v");
  const auto ref = reference("film_pulldown.m2v.yuv");
  ASSERT_EQ(ref.size(), 240u);
  ASSERT_EQ(rec.shown.size(), ref.size());
  int32_t fields = 0;
  int repeats = 0;
  for (size_t i = 0; i < rec.shown.size(); ++i) {
    const Shown &s = rec.shown[i];
    EXPECT_GE(video_test::plane_psnr(s.luma, ref[i].y), kMatchDb) << "picture " << i;
    ASSERT_TRUE(s.fields == 2 || s.fields == 3) << "picture " << i << ": " << s.fields;
    repeats += s.fields == 3;
    fields += s.fields;
    // Each picture stays its own time (to the millisecond the due times
    // are counted in): the next one comes that much later.
    if (i + 1 < rec.shown.size()) {
      const double gap = double(rec.shown[i + 1].at_ms - s.at_ms);
      EXPECT_NEAR(gap, s.fields * kFieldMs, 1.0) << "after picture " << i;
    }
  }
  // 3:2 pull-down: every other picture repeats a field; 600 fields in all.
  EXPECT_EQ(repeats, 120);
  EXPECT_EQ(fields, 600);
  // From the first picture to the end of the last: 10.01 s, not the 8 s
  // that one period a picture would make.
  const double span =
      double(rec.shown.back().at_ms - rec.shown.front().at_ms) + rec.shown.back().fields * kFieldMs;
  EXPECT_NEAR(span, 240 * 1001.0 / 24.0, kNtscPeriodMs);
}

// Slow motion holds each picture slow-factor x 40 ms a frame: a picture
// that repeats a field stays half as long again, so the film's motion keeps
// its rhythm.
TEST_F(FilmTiming, SlowMotionKeepsEachPicturesShare) {
  rec.keep_luma = false;
  kp::set_pace_clock(&playback_test::kVirtualClock);
  const KestrumHostDisplay d = host(rec);
  ASSERT_EQ(VideoOpen(&d, testing_support::media_path("film_pulldown.m2v").c_str(), nullptr, 0), 1);
  VideoCommand(VCMD_SET_SLOW_FACTOR, 2);
  VideoCommand(VCMD_SET_PLAY_MODE, 2);
  ASSERT_EQ(VideoCommand(VCMD_GET_PLAY_MODE, 0), 2);
  rec.shown.clear();
  ASSERT_EQ(VideoRun(), 1);
  ASSERT_TRUE(wait_for_end(120));
  VideoClose(1);
  ASSERT_EQ(rec.shown.size(), 240u);
  for (size_t i = 0; i + 1 < rec.shown.size(); ++i) {
    const int32_t gap = int32_t(rec.shown[i + 1].at_ms - rec.shown[i].at_ms);
    EXPECT_EQ(gap, 2 * 40 * rec.shown[i].fields / 2) << "after picture " << i;
  }
}

// Streams without the flags: each picture one whole-millisecond frame
// period, as the pacing has always done. A hard-telecined stream (the film
// spread over interlaced fields before encoding) is one of them, and so is
// plain 29.97 Hz MPEG-1.
struct Plain {
  const char *name;
  size_t pictures;
};

class PlainTiming : public FilmTiming, public ::testing::WithParamInterface<Plain> {};

INSTANTIATE_TEST_SUITE_P(Streams, PlainTiming,
                         ::testing::Values(Plain{"hard_telecine.m2v", 120},
                                           Plain{"video_mpeg1_360x240.m1v", 60}),
                         [](const auto &info) { return testing_support::case_name(info.param.name); });

TEST_P(PlainTiming, EveryPictureOneFramePeriod) {
  rec.keep_luma = false;
  play_virtual(GetParam().name);
  ASSERT_EQ(rec.shown.size(), GetParam().pictures);
  const int32_t period = kestrum::frame_period_ms(4);
  for (size_t i = 0; i + 1 < rec.shown.size(); ++i) {
    EXPECT_EQ(rec.shown[i].fields, 2) << "picture " << i;
    EXPECT_EQ(int32_t(rec.shown[i + 1].at_ms - rec.shown[i].at_ms), period) << "after picture " << i;
  }
}

// With sound the audio clock has the last word, but on a film whose
// pictures keep their own time it has nothing left to correct. Counted as
// pictures, each would come 8 ms before its sound and the clock would pull
// nearly every picture back by most of a field.
//
// Judged by the loop's own measures, so that the clock's pace does not
// count: on a loaded machine the sound's device thread starves, its clock
// falls behind the real one and the loop rightly holds the pictures back
// for it (how much follows the load, so it is only recorded). What must
// hold is that the loop places each picture's sound where the film puts
// it: after the fields of every picture shown before it. The pacing's own
// picture lengths are the virtual-clock tests' above.
TEST_F(FilmTiming, WithSoundTheAudioClockFindsNothingToCorrect) {
  rec.keep_luma = false;
  playback_test::SyncLog sync;
  rec.sync = &sync;
  const KestrumHostDisplay d = host(rec);
  ASSERT_EQ(VideoOpen(&d, testing_support::media_path("film_pulldown.vob").c_str(), nullptr, 0), 1);
  rec.shown.clear();
  sync.clear();
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  ASSERT_TRUE(wait_for_end(60));
  ASSERT_EQ(VideoClose(1), 1);
  rec.sync = nullptr;
  ASSERT_EQ(rec.shown.size(), 240u);
  int64_t fields = 0, origin = -1;
  int measured = 0, repeats = 0;
  for (size_t i = 0; i < rec.shown.size(); ++i) {
    const Shown &s = rec.shown[i];
    if (s.measure) {
      const int64_t from = fields - s.measure->fields_before;
      if (origin < 0) origin = from;
      EXPECT_EQ(from, origin) << "picture " << i << ": " << s.measure->fields_before << " fields before it";
      ++measured;
      repeats += s.fields == 3;
    }
    fields += s.fields;
  }
  EXPECT_GT(measured, 200);
  EXPECT_GT(repeats, 80) << "the pictures measured include those that repeat a field";
  const std::vector<kp::SyncSample> measures = sync.all();
  int64_t moved = 0, net = 0;
  for (const kp::SyncSample &m : measures) {
    moved += std::abs(m.moved_ms);
    net += m.moved_ms;
  }
  RecordProperty("moved_ms", static_cast<int>(moved));
  RecordProperty("net_moved_ms", static_cast<int>(net));
  if (!measures.empty()) {
    RecordProperty("clock_lost_ms", static_cast<int>(static_cast<int32_t>(measures.back().read_at_ms -
                                                                          measures.front().read_at_ms) -
                                                     (measures.back().heard_ms - measures.front().heard_ms)));
  }
}

// The decoder's display time of each shown picture: the lengths of the
// pictures shown before it, whether it is reached from the stream's start
// or by entering the stream at an intra picture found in display time.
uint64_t luma_hash(const kestrum::Decoder &d) {
  const kestrum::Planes p = d.shown_planes();
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < 480; y += 7) {
    for (int x = 0; x < 352; x += 5) h = (h ^ p.y[y * p.y_stride + x]) * 1099511628211ull;
  }
  return h;
}

TEST(FilmDecoder, ShownPicturesCarryTheirDisplayTime) {
  video_test::MemorySource m;
  m.bytes = testing_support::file_bytes(testing_support::media_path("film_pulldown.m2v"));
  ASSERT_GT(m.bytes.size(), 100000u);
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.open_stream(), 1);
  std::vector<std::pair<int64_t, int32_t>> shown;  // (time, fields) in display order
  std::map<uint64_t, int64_t> time_of;
  auto take = [&] {
    if (!d.has_shown_picture()) return;
    shown.emplace_back(d.shown_time_fields(), d.shown_fields());
    time_of[luma_hash(d)] = d.shown_time_fields();
  };
  while (d.step_picture()) take();
  if (d.show_last_anchor()) take();
  ASSERT_EQ(shown.size(), 240u);
  ASSERT_EQ(time_of.size(), 240u) << "pictures told apart by their hash";
  EXPECT_EQ(shown.front().first, 0);
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    EXPECT_EQ(shown[i + 1].first, shown[i].first + shown[i].second) << "picture " << i;
  }
  EXPECT_EQ(shown.back().first + shown.back().second, 600);

  // Behind time the play loops pass over B pictures: the anchors shown
  // still start when they would have.
  m.pos = 0;
  d.reset_reader();
  ASSERT_EQ(d.open_stream(), 1);
  int anchors = 0;
  while (d.find_picture() && !d.end_of_data()) {
    d.parse_picture_header();
    if (d.picture().picture_coding_type == 3) continue;
    d.decode_picture();
    if (!d.has_shown_picture()) continue;
    const auto it = time_of.find(luma_hash(d));
    ASSERT_NE(it, time_of.end());
    EXPECT_EQ(d.shown_time_fields(), it->second) << "anchor " << anchors;
    ++anchors;
  }
  EXPECT_GT(anchors, 70);

  // Entered in display time: the intra picture shown has the time it had
  // read from the start, no later than the target, and stepping on reaches
  // the first picture that starts at or after the target.
  for (int64_t target : {0, 1, 37, 299, 300, 301, 450, 598, 599}) {
    m.pos = 0;
    d.reset_reader();
    kestrum::Decoder::IntraPlace place;
    ASSERT_EQ(d.locate_intra(target, &place), 1) << target;
    EXPECT_LE(place.time_fields, std::max<int64_t>(target, 0)) << target;
    m.pos = 0;
    d.reset_reader();
    ASSERT_EQ(d.enter_at_intra(place), 1) << target;
    ASSERT_TRUE(d.has_shown_picture());
    auto it = time_of.find(luma_hash(d));
    ASSERT_NE(it, time_of.end()) << target;
    EXPECT_EQ(d.shown_time_fields(), it->second) << target;
    EXPECT_EQ(d.shown_time_fields(), place.time_fields) << target;
    while (d.shown_time_fields() < target) {
      // Past the last picture's start the last picture stays.
      if (!d.step_picture() && !d.show_last_anchor()) break;
      if (!d.has_shown_picture()) continue;
      it = time_of.find(luma_hash(d));
      ASSERT_NE(it, time_of.end()) << target;
      ASSERT_EQ(d.shown_time_fields(), it->second) << target;
    }
    auto first = std::find_if(shown.begin(), shown.end(), [&](const auto &p) { return p.first >= target; });
    if (first == shown.end()) --first;
    EXPECT_EQ(d.shown_time_fields(), first->first) << target;
  }
}

// A seek to 5 s of display time shows the picture ffmpeg shows at 5 s (the
// first that starts from 5 s on); counted in coded pictures it would be
// one of 6.25 s.
TEST_F(FilmTiming, SeekToFiveSecondsShowsFfmpegsPicture) {
  const auto at5 = reference("film_pulldown.vob.at5s.yuv");
  ASSERT_EQ(at5.size(), 1u);
  for (const char *name : {"film_pulldown.vob", "film_pulldown.m2v"}) {
    SCOPED_TRACE(name);
    const KestrumHostDisplay d = host(rec);
    ASSERT_EQ(VideoOpen(&d, testing_support::media_path(name).c_str(), nullptr, 0), 1);
    rec.shown.clear();
    EXPECT_GT(VideoCommand(VCMD_SEEK_TIME, 5000), 0);
    ASSERT_FALSE(rec.shown.empty());
    EXPECT_GE(video_test::plane_psnr(rec.shown.back().luma, at5[0].y), kMatchDb);
    // The picture starts 5.005 s in: 300 fields (150 frame periods).
    EXPECT_EQ(VideoCommand(VCMD_PICTURE_TIME, 0), 300 * 33367 / 2000);
    // Stepping on counts the picture's own length.
    const int32_t fields = rec.shown.back().fields;
    EXPECT_EQ(VideoCommand(VCMD_PICTURE_FIELDS, 0), fields);
    ASSERT_EQ(VideoStep(), 1);
    const int32_t next = static_cast<int32_t>(VideoCommand(VCMD_PICTURE_TIME, 0));
    EXPECT_NEAR(next - 5005, fields * kFieldMs, 1);
    // A seek by position leaves the time unknown.
    VideoSeek(0, 0);
    EXPECT_EQ(VideoCommand(VCMD_PICTURE_TIME, 0), -1);
    VideoClose(1);
  }
}

// `razavori info`: each picture's repeat_first_field, top_field_first and
// length, and the cadence, against what ffprobe reads of the same frames
// (ffprobe lists them in display order, razavori in stream order: the
// counts of each kind must agree).
struct Cadence {
  std::map<std::pair<int, int>, int> kinds;  // (repeat_first_field, top_field_first) -> pictures
  int fields = 0;
  std::string summary;
};

Cadence razavori_cadence(const std::string &path) {
  const std::string text = testing_support::run_razavori("info --pictures '" + path + "'", false).out;
  Cadence c;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("cadence: ", 0) == 0) c.summary = line.substr(9);
    int rff = 0, tff = 0, fields = 0;
    long n = 0;
    char type = 0;
    char structure[16] = {};
    if (std::sscanf(line.c_str(), "%ld %c %15s repeat_first_field=%d top_field_first=%d fields=%d", &n, &type,
                    structure, &rff, &tff, &fields) == 6) {
      ++c.kinds[{rff, tff}];
      c.fields += fields;
    }
  }
  return c;
}

Cadence ffprobe_cadence(const std::string &path) {
  const std::string text = testing_support::command_output(
      "ffprobe -v error -select_streams v:0 -show_entries frame=repeat_pict,top_field_first "
      "-of csv=p=0 '" +
      path + "'");
  Cadence c;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    int tff = 0, repeat = 0;
    if (std::sscanf(line.c_str(), "%d,%d", &tff, &repeat) == 2) {
      ++c.kinds[{repeat, tff}];
      c.fields += 2 + repeat;
    }
  }
  return c;
}

TEST(RazavoriInfo, PicturesShowTheirFieldFlagsAndLengthAndFilmIsNamed) {
  for (const char *name : {"film_pulldown.m2v", "hard_telecine.m2v"}) {
    SCOPED_TRACE(name);
    const std::string path = testing_support::media_path(name);
    const Cadence ours = razavori_cadence(path);
    const Cadence ref = ffprobe_cadence(path);
    ASSERT_FALSE(ref.kinds.empty()) << "ffprobe read no frames";
    EXPECT_EQ(ours.kinds, ref.kinds);
    EXPECT_EQ(ours.fields, ref.fields);
    const bool film = std::string(name) == "film_pulldown.m2v";
    EXPECT_EQ(ours.summary.rfind(film ? "film with pull-down" : "plain", 0), 0u) << ours.summary;
  }
}

}  // namespace
