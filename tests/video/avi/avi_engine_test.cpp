// AVI sources through the video engine's exports: seeks land on the key
// frame the index names and show ffmpeg's picture of it, the sound the
// engine opens is ffmpeg's decode (from the picture on show after a seek),
// plays are paced by the AVI's own frame times on the engine's clock and
// follow the sound, and files the engine cannot show are refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "tests/video/playback/virtual_clock.h"
#include "tests/video/playback/wait_for_end.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/pace_clock.h"
#include "video/video_api.h"

namespace {

namespace ts = testing_support;
namespace kp = kestrum::play;
using playback_test::wait_for_end;

// ffmpeg's pictures of the first video stream, yuv420p, one per chunk
// (empty chunks repeat the picture before, as the engine shows them).
std::vector<uint8_t> ffmpeg_pictures(const std::string &path) {
  const std::string out = ts::scratch_dir() + "/ref.yuv";
  const ts::ToolRun r = ts::run_tool("ffmpeg -v error -y -threads 1 -i '" + path +
                                     "' -map 0:v:0 -fps_mode cfr -pix_fmt yuv420p -f rawvideo '" + out + "'");
  if (r.status != 0) return {};
  return ts::file_bytes(out);
}

std::vector<int16_t> ffmpeg_sound(const std::string &path, int channels) {
  const std::string out = ts::scratch_dir() + "/ref.s16";
  const ts::ToolRun r = ts::run_tool("ffmpeg -v error -y -i '" + path + "' -map 0:a:0 -ac " +
                                     std::to_string(channels) + " -f s16le '" + out + "'");
  if (r.status != 0) return {};
  return ts::pcm_samples(ts::file_bytes(out));
}

// A display that shows nothing: the engine makes no window, as for the
// converters.
const KestrumHostDisplay kTakesNothing{};

int32_t picture_time() { return static_cast<int32_t>(VideoCommand(VCMD_PICTURE_TIME, 0)); }

// The picture on show against picture `index` of ffmpeg's.
double psnr_against(const std::vector<uint8_t> &ref, int index) {
  int32_t h = 0;
  const auto w = static_cast<int32_t>(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&h)));
  VideoCommand(VCMD_HOLD_PICTURE, 0);
  const auto *p = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
  double psnr = -1;
  if (p) {
    const ts::PictureView ours{{p->y, p->y_pitch, w, h},
                               {p->cb, p->cb_pitch, (w + 1) / 2, (h + 1) / 2},
                               {p->cr, p->cr_pitch, (w + 1) / 2, (h + 1) / 2}};
    const ts::PictureView theirs = ts::yuv_picture(ref, w, h, index);
    if (theirs.y.data) psnr = ts::picture_psnr(ours, theirs).min();
  }
  VideoCommand(VCMD_RELEASE_PICTURE, 0);
  return psnr;
}

class AviEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override { VideoClose(1); }
};

// avi_divx_mp2.avi: 8 s at 25 pictures a second, a key frame every 50.
TEST_F(AviEngine, SeeksLandOnTheKeyFrameAtOrBeforeAndShowItsPicture) {
  const std::string path = ts::media_path("avi_divx_mp2.avi");
  const std::vector<uint8_t> ref = ffmpeg_pictures(path);
  ASSERT_EQ(ref.size(), ts::yuv_picture_size(320, 240) * 200) << "ffmpeg's decode";
  ASSERT_EQ(VideoOpen(&kTakesNothing, path.c_str(), nullptr, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_SOURCE_TAG, 0), KESTRUM_AVI_SOURCE_TAG);
  // Lengths of AVI sources are milliseconds: the longest stream's (the
  // sound's last frame ends a little after the pictures).
  EXPECT_GE(VideoCommand(VCMD_TOTAL_LENGTH, 0), 8000);
  EXPECT_LT(VideoCommand(VCMD_TOTAL_LENGTH, 0), 8100);
  EXPECT_EQ(picture_time(), 0);
  EXPECT_EQ(psnr_against(ref, 0), ts::kPsnrIdentical);

  struct Seek {
    int32_t pos, origin, key_ms;
  };
  // Relative seeks count from the picture on show (3 steps after the last
  // seek's key frame).
  for (const Seek &s : {Seek{5000, 0, 4000}, Seek{1999, 0, 0}, Seek{2000, 0, 2000}, Seek{2380, 1, 4000},
                        Seek{-2120, 1, 2000}, Seek{-2161, 1, 0}, Seek{99999, 0, 6000}, Seek{7960, 0, 6000}}) {
    SCOPED_TRACE(std::to_string(s.pos) + " from " + std::to_string(s.origin));
    EXPECT_EQ(VideoSeek(s.pos, s.origin), s.key_ms);
    EXPECT_EQ(picture_time(), s.key_ms);
    EXPECT_EQ(psnr_against(ref, s.key_ms / 40), ts::kPsnrIdentical);
    // Steps go on from the key frame, through its predicted pictures.
    for (int n = 1; n <= 3; ++n) {
      ASSERT_EQ(VideoStep(), 1);
      EXPECT_EQ(picture_time(), s.key_ms + 40 * n);
      EXPECT_EQ(psnr_against(ref, s.key_ms / 40 + n), ts::kPsnrIdentical);
    }
    EXPECT_EQ(VideoSeek(0, 1), s.key_ms + 120) << "a tell names the picture on show";
    EXPECT_EQ(VideoCommand(VCMD_PICTURE_TIME, 0), s.key_ms + 120);
  }
  // A seek in display time shows the first picture at or after it.
  for (int32_t ms : {0, 5000, 5020, 7999}) {
    SCOPED_TRACE(ms);
    const int32_t want = std::min((ms + 39) / 40 * 40, 7960);
    EXPECT_EQ(VideoCommand(VCMD_SEEK_TIME, ms), want) << "the position of the picture shown";
    EXPECT_EQ(picture_time(), want);
    EXPECT_EQ(psnr_against(ref, want / 40), ts::kPsnrIdentical);
  }
  // Stepping past the last picture ends the stream.
  ASSERT_EQ(picture_time(), 7960);
  EXPECT_EQ(VideoStep(), 0);
  EXPECT_EQ(picture_time(), 7960);
}

struct Sound {
  const char *name;
  double min_snr;
  double min_snr_after_seek;  // the coded decoders restart there
};

// Samples of the longest coded audio frame among the files (AC-3), and
// what is left out after a restart of a coded stream.
constexpr int64_t kLongestAudioFrame = 1536;
constexpr ptrdiff_t kCodedTrimFrames = 3 * 1536;

class AviEngineSound : public ::testing::TestWithParam<Sound> {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override { VideoClose(1); }
};

// The sound the engine opens for the file, pulled as the converters pull it
// (one block at a time), from `from_ms` on.
std::vector<int16_t> engine_sound(int32_t *channels) {
  AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, reinterpret_cast<intptr_t>(channels));
  std::vector<int16_t> pcm;
  for (int i = 0; i < 100000; ++i) {
    int32_t bytes = 0;
    const auto *block = reinterpret_cast<const int16_t *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    if (block && bytes > 0) pcm.insert(pcm.end(), block, block + bytes / 2);
    if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
  }
  return pcm;
}

TEST_P(AviEngineSound, IsFfmpegsDecodeFromThePictureOnShow) {
  const std::string path = ts::media_path(GetParam().name);
  ASSERT_EQ(VideoOpen(&kTakesNothing, path.c_str(), nullptr, 0), 1);
  ASSERT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_AVI_AUDIO);
  int32_t channels = 0;
  const std::vector<int16_t> whole = engine_sound(&channels);
  ASSERT_TRUE(channels == 1 || channels == 2) << channels;
  const std::vector<int16_t> ref = ffmpeg_sound(path, channels);
  ASSERT_FALSE(ref.empty()) << "ffmpeg failed";
  const ts::PcmComparison all = ts::compare_pcm(ref, whole, channels);
  EXPECT_GE(all.snr_db, GetParam().min_snr) << all.describe();
  if (GetParam().min_snr >= ts::kSnrIdentical) {
    EXPECT_EQ(whole.size(), ref.size());
  }

  // After a seek the sound starts with the picture on show: PCM to the
  // sample; coded sound at a frame boundary within a frame of it, its first
  // frames (the decoder's start, a reservoir) left out of the comparison.
  const int32_t at = VideoSeek(2000, 0);
  ASSERT_EQ(picture_time(), at);
  const std::vector<int16_t> tail = engine_sound(&channels);
  int32_t rate = 0;
  AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate));
  ASSERT_GT(rate, 0);
  const auto from = static_cast<ptrdiff_t>(int64_t{at} * rate / 1000 * channels);
  ASSERT_GT(static_cast<ptrdiff_t>(ref.size()), from);
  const std::vector<int16_t> ref_tail(ref.begin() + from, ref.end());
  const bool exact = GetParam().min_snr >= ts::kSnrIdentical;
  const ptrdiff_t trim = exact ? 0 : std::min<ptrdiff_t>(kCodedTrimFrames * channels, ptrdiff_t(tail.size()));
  const std::vector<int16_t> ours(tail.begin() + trim, tail.end());
  const ts::PcmComparison after = ts::compare_pcm(ref_tail, ours, channels, exact ? 0 : 2 * kCodedTrimFrames);
  EXPECT_GE(after.snr_db, GetParam().min_snr_after_seek) << after.describe();
  // Where our sound starts against the picture (frames, later is positive).
  const int64_t start = -after.lag - trim / channels;
  EXPECT_LE(std::abs(start), exact ? 0 : kLongestAudioFrame) << after.describe();
}

INSTANTIATE_TEST_SUITE_P(Files, AviEngineSound,
                         ::testing::Values(Sound{"avi_mjpeg_pcm.avi", ts::kSnrIdentical, ts::kSnrIdentical},
                                           Sound{"avi_dv_pcm48.avi", ts::kSnrIdentical, ts::kSnrIdentical},
                                           Sound{"avi_xvid_mp3.avi", 70, 70},
                                           Sound{"avi_divx_mp2.avi", 70, 70},
                                           Sound{"avi_h264_ac3.avi", 80, 75}),
                         [](const auto &info) {
                           std::string n = info.param.name;
                           return n.substr(4, n.size() - 8);
                         });

// Times (ms, rounded half up as the AVI's own) of the video packets of a
// file, from ffprobe's time stamps and time base.
std::vector<int32_t> packet_times(const std::string &path) {
  const std::string probe = "ffprobe -v error -select_streams v:0 ";
  std::string base = ts::command_output(probe + "-show_entries stream=time_base -of csv=p=0 '" + path + "'");
  int64_t num = 0, den = 0;
  if (std::sscanf(base.c_str(), "%lld/%lld", reinterpret_cast<long long *>(&num),
                  reinterpret_cast<long long *>(&den)) != 2 ||
      den <= 0)
    return {};
  std::vector<int32_t> times;
  std::istringstream in(ts::command_output(probe + "-show_entries packet=pts -of csv=p=0 '" + path + "'"));
  int64_t pts;
  while (in >> pts) times.push_back(static_cast<int32_t>((pts * num * 2000 + den) / (2 * den)));
  std::sort(times.begin(), times.end());
  return times;
}

struct Recorder {
  std::mutex lock;
  std::vector<uint32_t> clock_ms;  // the pacing clock at each present
  std::vector<int32_t> audio_ms;   // the audio clock then
  bool with_audio_clock = false;
  static int32_t present(void *user, const KestrumPicture *) {
    auto *r = static_cast<Recorder *>(user);
    const uint32_t now = kp::clock_ms();
    const int32_t heard = r->with_audio_clock ? AudioGetPlayTime() : -1;
    std::lock_guard<std::mutex> g(r->lock);
    r->clock_ms.push_back(now);
    r->audio_ms.push_back(heard);
    return 1;
  }
  void clear() {
    std::lock_guard<std::mutex> g(lock);
    clock_ms.clear();
    audio_ms.clear();
  }
};

class AviEnginePlay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override {
    VideoClose(1);
    kp::set_pace_clock(nullptr);
  }
  KestrumHostDisplay display() {
    KestrumHostDisplay d{};
    d.user = &rec;
    d.present_planes = Recorder::present;
    return d;
  }
  Recorder rec;
};

// 350x238 at 30000/1001 without sound: frames 33 or 34 ms apart by the
// AVI's times. The whole play on the virtual clock keeps them exactly.
TEST_F(AviEnginePlay, WithoutSoundEachPictureStaysItsOwnTime) {
  const std::string path = ts::media_path("avi_odd_size.avi");
  const std::vector<int32_t> times = packet_times(path);
  ASSERT_EQ(times.size(), 120u) << "ffprobe's packets";
  kp::set_pace_clock(&playback_test::kVirtualClock);
  const KestrumHostDisplay d = display();
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_SOURCE_TAG, 0), KESTRUM_AVI_SOURCE_TAG) << "a video-only AVI opens as AVI";
  rec.clear();
  ASSERT_EQ(VideoRun(), 1);
  ASSERT_TRUE(wait_for_end(120));
  std::lock_guard<std::mutex> g(rec.lock);
  // The open showed frame 0; the play shows the rest.
  ASSERT_EQ(rec.clock_ms.size(), times.size() - 1);
  for (size_t i = 0; i + 1 < rec.clock_ms.size(); ++i)
    EXPECT_EQ(int32_t(rec.clock_ms[i + 1] - rec.clock_ms[i]), times[i + 2] - times[i + 1])
        << "after frame " << i + 1;
}

TEST_F(AviEnginePlay, WithoutRealTimeNothingWaits) {
  kp::set_pace_clock(&playback_test::kVirtualClock);
  const KestrumHostDisplay d = display();
  const std::string path = ts::media_path("avi_i420.avi");
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  VideoSetRealTime(0);
  rec.clear();
  ASSERT_EQ(VideoRun(), 1);
  ASSERT_TRUE(wait_for_end(120));
  VideoSetRealTime(1);
  std::lock_guard<std::mutex> g(rec.lock);
  ASSERT_EQ(rec.clock_ms.size(), 49u);
  EXPECT_LT(int32_t(rec.clock_ms.back() - rec.clock_ms.front()), 40) << "the whole play on the pacing clock";
}

// With sound (SDL's dummy device plays in real time), picture n is due when
// the sound reaches its time: the sound starts with the picture the open
// showed. A loaded machine can only make a picture later than its sound,
// never earlier, so only earliness is checked; pictures the loop dropped
// for being late are simply missing.
TEST_F(AviEnginePlay, WithSoundNoPictureComesBeforeItsSound) {
  constexpr int32_t kEarlyMs = 80;
  const std::string path = ts::media_path("avi_mjpeg_pcm.avi");
  rec.with_audio_clock = true;
  const KestrumHostDisplay d = display();
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  rec.clear();
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  ASSERT_TRUE(wait_for_end(60));
  EXPECT_EQ(VideoCommand(VCMD_PLAYBACK_ENDED, 0), 1);
  EXPECT_GE(kp::sync_record().pictures, 25) << "the loop measured the pictures against the sound";
  std::lock_guard<std::mutex> g(rec.lock);
  ASSERT_GE(rec.clock_ms.size(), 25u);
  // The first second settles the device's start; its pictures are frames
  // 1.. in order unless late ones were dropped, so frame k is at least the
  // k-th shown: checking index k against frame k's time is on the safe side.
  for (size_t k = 25; k + 12 < rec.audio_ms.size(); ++k) {
    const int32_t frame_ms = int32_t(k + 1) * 40;
    EXPECT_LT(frame_ms - rec.audio_ms[k], kEarlyMs) << "picture " << k << " before its sound";
  }
}

// Fast and slow modes run to the end (an AVI frame counts as an anchor:
// fast mode passes over none). A halt in the middle keeps the picture on show, and a step goes
// on from it.
TEST_F(AviEnginePlay, FastAndSlowModesRunToTheEndAndHaltsKeepThePlace) {
  kp::set_pace_clock(&playback_test::kVirtualClock);
  const std::string path = ts::media_path("avi_divx_mp2.avi");
  const KestrumHostDisplay d = display();
  for (int32_t mode : {1, 2}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
    VideoCommand(VCMD_SET_PLAY_MODE, mode);
    ASSERT_EQ(VideoCommand(VCMD_GET_PLAY_MODE, 0), mode);
    rec.clear();
    ASSERT_EQ(VideoCommand(VCMD_PLAY_SILENT, 0), 1);
    ASSERT_TRUE(wait_for_end(120));
    {
      std::lock_guard<std::mutex> g(rec.lock);
      EXPECT_EQ(rec.clock_ms.size(), 199u);
    }
    EXPECT_EQ(picture_time(), 7960);
    VideoClose(1);
    VideoCommand(VCMD_SET_PLAY_MODE, 0);
  }
  ASSERT_EQ(VideoOpen(&d, path.c_str(), nullptr, 0), 1);
  VideoSetRealTime(0);
  ASSERT_EQ(VideoCommand(VCMD_PLAY_SILENT, 0), 1);
  ASSERT_EQ(VideoHalt(), 1);
  VideoSetRealTime(1);
  const int32_t at = picture_time();
  ASSERT_GE(at, 0);
  EXPECT_EQ(VideoSeek(0, 1), at) << "the place is the picture on show";
  if (at < 7960) {
    ASSERT_EQ(VideoStep(), 1);
    EXPECT_EQ(picture_time(), at + 40);
  }
}

// Files the engine cannot show are refused, and it opens the next one.
TEST_F(AviEngine, RefusesWhatItCannotShowAndStaysUsable) {
  const std::string dir = ts::scratch_dir();
  const std::string mpeg_in_avi = dir + "/mpeg1_in.avi";
  ASSERT_EQ(ts::run_tool("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v "
                         "mpeg1video '" +
                         mpeg_in_avi + "'")
                .status,
            0);
  const std::string garbage = dir + "/garbage.avi";
  {
    std::vector<uint8_t> g = ts::file_bytes(ts::media_path("avi_xvid_mp3.avi"));
    ASSERT_GT(g.size(), 4096u);
    // The headers survive, the chunk bytes are noise.
    for (size_t i = 4096; i < g.size(); ++i) g[i] = uint8_t(i * 2654435761u >> 24);
    FILE *f = std::fopen(garbage.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(g.data(), 1, g.size(), f);
    std::fclose(f);
  }
  EXPECT_EQ(VideoOpen(&kTakesNothing, mpeg_in_avi.c_str(), nullptr, 0), 0)
      << "no decompressor for MPEG video";
  EXPECT_EQ(VideoCommand(VCMD_SOURCE_TAG, 0), -1);
  // Noise opens or not, but it never crashes, and steps end.
  if (VideoOpen(&kTakesNothing, garbage.c_str(), nullptr, 0)) {
    int steps = 0;
    while (VideoStep() && steps < 1000) ++steps;
    EXPECT_LT(steps, 1000);
    VideoClose(1);
  }
  const std::string good = ts::media_path("avi_i420.avi");
  ASSERT_EQ(VideoOpen(&kTakesNothing, good.c_str(), nullptr, 0), 1);
  EXPECT_EQ(picture_time(), 0);
}

}  // namespace
