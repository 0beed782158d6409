// fennick convert end to end: Video CD compliance, picture and sound quality
// against ffmpeg, frame-rate conversion that keeps sound and picture
// together, and the film cadence kept in time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "tests/support/compare.h"
#include "tests/support/test_media.h"
#include "tests/tools/fennick/fennick_run.h"

namespace {

using encoder_test::probe_streams;
using encoder_test::run_tool;
using encoder_test::shell_quoted;
using fennick_test::fennick;
using fennick_test::fresh_folder;
using testing_support::media_path;
using testing_support::sample_path;

void need_oracles() {
  for (const char *tool : {"ffmpeg", "ffprobe", "vcdimager"})
    ASSERT_TRUE(encoder_test::have_tool(tool)) << tool;
}

// Mean luma PSNR over the pictures of two gray files of equal picture size.
double gray_psnr(const std::string &a, const std::string &b, int w, int h) {
  const auto x = encoder_test::file_bytes(a);
  const auto y = encoder_test::file_bytes(b);
  const size_t frame = size_t(w) * h;
  const size_t n = std::min(x.size(), y.size()) / frame;
  double sum = 0;
  for (size_t f = 0; f < n; ++f) {
    double se = 0;
    for (size_t i = 0; i < frame; ++i) {
      const double d = double(x[f * frame + i]) - y[f * frame + i];
      se += d * d;
    }
    sum += se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * frame / se);
  }
  std::filesystem::remove(a);
  std::filesystem::remove(b);
  return n ? sum / n : 0;
}

std::string gray(const std::string &in, const std::string &out, const std::string &filter) {
  run_tool("ffmpeg -nostdin -y -v error -threads 1 -i " + shell_quoted(in) + " -map 0:v:0 -vf " + filter +
           ",format=gray -f rawvideo " + shell_quoted(out));
  return out;
}

TEST(FennickConvert, VideoCdFromTheSample) {
  need_oracles();
  const std::string dir = fresh_folder("vcd_sample");
  const std::string in = sample_path("dvd_sample.vob");
  const auto run = fennick("convert --vcd --out " + shell_quoted(dir) + " " + shell_quoted(in));
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Success to output!"), std::string::npos) << run.out;
  const std::string out = dir + "/dvd_sample.MPG";
  const auto streams = probe_streams(out);
  ASSERT_EQ(streams.size(), 2u) << run.out;
  EXPECT_EQ(streams[0].at("codec_name"), "mpeg1video");
  EXPECT_EQ(streams[0].at("width"), "352");
  EXPECT_EQ(streams[0].at("height"), "288");
  EXPECT_EQ(streams[0].at("r_frame_rate"), "25/1");
  EXPECT_EQ(streams[0].at("bit_rate"), "1150000");
  EXPECT_EQ(streams[1].at("codec_name"), "mp2");
  EXPECT_EQ(streams[1].at("sample_rate"), "44100");
  EXPECT_EQ(streams[1].at("channels"), "2");
  EXPECT_EQ(streams[1].at("bit_rate"), "224000");
  std::string source_pictures;
  for (const auto &f : probe_streams(in))
    if (f.count("codec_type") && f.at("codec_type") == "video") source_pictures = f.at("nb_read_frames");
  EXPECT_EQ(streams[0].at("nb_read_frames"), source_pictures);

  const auto image = run_tool("cd " + shell_quoted(dir) + " && vcdimager -t vcd2 dvd_sample.MPG", true);
  EXPECT_EQ(image.status, 0) << image.out;
  EXPECT_EQ(image.out.find("++ WARN"), std::string::npos) << image.out;
  std::filesystem::remove(dir + "/videocd.bin");

  // Sound: against ffmpeg's decode of the source's first audio stream at 44.1 kHz.
  const std::string ref = dir + "/ref.pcm", got = dir + "/got.pcm";
  run_tool("ffmpeg -nostdin -y -v error -i " + shell_quoted(in) + " -map 0:a:0 -ar 44100 -ac 2 -f s16le " +
           ref);
  run_tool("ffmpeg -nostdin -y -v error -i " + shell_quoted(out) + " -map 0:a:0 -f s16le " + got);
  const auto pcm = testing_support::compare_pcm_files(ref, got, 2, 4096);
  ASSERT_TRUE(pcm.ok()) << pcm.describe();
  EXPECT_GE(pcm.snr_db, 30.0) << pcm.describe();
  std::printf("sample sound SNR %.1f dB\n", pcm.snr_db);

  // Pictures: luma against ffmpeg's area scaling (our filters are low-pass).
  const double db = gray_psnr(gray(in, dir + "/ref.gray", "scale=352:288:flags=area"),
                              gray(out, dir + "/got.gray", "null"), 352, 288);
  EXPECT_GE(db, 21.0);
  std::printf("sample luma PSNR %.1f dB\n", db);
}

TEST(FennickConvert, SmoothGradientKeepsItsLuma) {
  need_oracles();
  // Our smoothed conversion with the area filter, the plain stretch, and
  // the engine's own frame copy (whose range differs a little).
  struct Case {
    const char *options;
    double min_db;
  } cases[] = {{"", 45.0}, {"--no-smooth-zoom", 40.0}, {"--quality fast", 30.0}};
  const std::string in = media_path("fen_gradient.vob");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.options);
    const std::string dir = fresh_folder("gradient");
    const auto run = fennick(std::string("convert --vcd ") + c.options + " --out " + shell_quoted(dir) + " " +
                             shell_quoted(in));
    ASSERT_EQ(run.status, 0) << run.out;
    const double db = gray_psnr(gray(in, dir + "/ref.gray", "scale=352:288:flags=area"),
                                gray(dir + "/fen_gradient.MPG", dir + "/got.gray", "null"), 352, 288);
    EXPECT_GE(db, c.min_db);
    std::printf("gradient luma PSNR %s: %.1f dB\n", c.options, db);
  }
}

// Each beep lies within one output picture + 10 ms of its flash, and the
// two streams end together, whatever the source and output rates.
TEST(FennickConvert, FlashAndBeepStayTogether) {
  need_oracles();
  struct Case {
    const char *source;
    const char *options;
    double out_fps;
  } cases[] = {
      {"fen_flash25.vob", "--vcd", 25},
      {"fen_flash23.vob", "--vcd", 25},
      {"fen_flash29.vob", "--vcd", 30000.0 / 1001},
      {"fen_flash29.vob", "--rate 25 --size 352x288", 25},
      {"fen_flash25.vob", "--rate 29.97 --size 352x240", 30000.0 / 1001},
      {"fen_flash23.vob", "--rate 29.97 --size 352x240", 30000.0 / 1001},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.options);
    const std::string dir = fresh_folder("sync");
    const auto run = fennick(std::string("convert ") + c.options + " --out " + shell_quoted(dir) + " " +
                             shell_quoted(media_path(c.source)));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string out =
        dir + "/" + std::string(c.source).substr(0, std::string(c.source).size() - 4) + ".MPG";
    const auto o = fennick_test::onsets(out);
    ASSERT_EQ(o.flashes.size(), 20u);
    ASSERT_GE(o.beeps.size(), 19u);
    const double picture = 1.0 / c.out_fps;
    for (size_t k = 1; k < 20; ++k) {
      const double beep = o.beeps[k - 1];
      EXPECT_NEAR(beep, o.flashes[k], picture + 0.010) << "second " << k;
    }
    const double video = fennick_test::video_seconds(out, c.out_fps);
    const double audio = fennick_test::audio_seconds(out);
    EXPECT_NEAR(video, 20.0, picture + 0.001);
    EXPECT_NEAR(audio, video, picture + 1152.0 / 44100) << "video " << video << " audio " << audio;
  }
}

TEST(FennickConvert, FilmWithPullDownKeepsItsLength) {
  need_oracles();
  const std::string in = media_path("film_pulldown.vob");
  struct Case {
    const char *options;
    int pictures;
  } cases[] = {{"--vcd", 300}, {"--rate 25 --size 352x240", 250}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.options);
    const std::string dir = fresh_folder("film");
    const auto run =
        fennick(std::string("convert ") + c.options + " --out " + shell_quoted(dir) + " " + shell_quoted(in));
    ASSERT_EQ(run.status, 0) << run.out;
    const auto streams = probe_streams(dir + "/film_pulldown.MPG");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_NEAR(std::atoi(streams[0].at("nb_read_frames").c_str()), c.pictures, 1);
  }
}

TEST(FennickConvert, WideSourceIsLetterboxed) {
  need_oracles();
  const std::string dir = fresh_folder("wide");
  const auto run =
      fennick("convert --vcd --out " + shell_quoted(dir) + " " + shell_quoted(media_path("fen_wide.vob")));
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string luma = gray(dir + "/fen_wide.MPG", dir + "/wide.gray", "null");
  const auto bytes = encoder_test::file_bytes(luma);
  const size_t frame = 352 * 240;
  ASSERT_GE(bytes.size(), frame * 10);
  // The coded black may ring a little at the band's edge: rows well inside
  // the bars are black, rows inside the band are not.
  auto row_mean = [&](size_t f, int row) {
    double s = 0;
    for (int x = 0; x < 352; ++x) s += bytes[f * frame + size_t(row) * 352 + x];
    return s / 352;
  };
  for (size_t f : {size_t(0), size_t(5), bytes.size() / frame - 1}) {
    for (int row : {0, 10, 19, 221, 230, 239})
      EXPECT_LT(row_mean(f, row), 20.0) << "picture " << f << " row " << row;
    for (int row : {24, 120, 216}) EXPECT_GT(row_mean(f, row), 30.0) << "picture " << f << " row " << row;
  }
}

TEST(FennickConvert, RangeConvertsItsShare) {
  need_oracles();
  const std::string dir = fresh_folder("range");
  const auto run = fennick("convert --vcd --range 20-60 --out " + shell_quoted(dir) + " " +
                           shell_quoted(sample_path("dvd_sample.vob")));
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NEAR(fennick_test::video_seconds(dir + "/dvd_sample.MPG", 25), 4.0, 1.0);
}

// Sound at 32 and 22.05 kHz comes in blocks twice the Layer II frame's
// share: the output's sound still lasts as long as its pictures.
TEST(FennickConvert, LowRateSoundKeepsItsLength) {
  need_oracles();
  for (const char *name : {"fen_32k.vob", "fen_22k.vob"}) {
    SCOPED_TRACE(name);
    const std::string dir = fresh_folder("low_rate");
    const auto run =
        fennick("convert --vcd --out " + shell_quoted(dir) + " " + shell_quoted(media_path(name)));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string out = dir + "/" + std::string(name).substr(0, 7) + ".MPG";
    const double video = fennick_test::video_seconds(out, 25);
    const double audio = fennick_test::audio_seconds(out);
    EXPECT_NEAR(video, 3.0, 0.05);
    EXPECT_NEAR(audio, video, 0.04 + 1152.0 / 44100);
    // The tone is there all along, not half of it.
    const std::string ref = dir + "/ref.pcm", got = dir + "/got.pcm";
    run_tool("ffmpeg -nostdin -y -v error -i " + shell_quoted(media_path(name)) +
             " -map 0:a:0 -ar 44100 -ac 2 -f s16le " + ref);
    run_tool("ffmpeg -nostdin -y -v error -i " + shell_quoted(out) + " -map 0:a:0 -f s16le " + got);
    const auto pcm = testing_support::compare_pcm_files(ref, got, 2, 4096);
    EXPECT_GE(pcm.snr_db, 20.0) << pcm.describe();
  }
}

// A Layer I conversion plays in the suite's own audio engine.
TEST(FennickConvert, LayerOneOutputPlaysInTheEngine) {
  need_oracles();
  const std::string dir = fresh_folder("layer1");
  const auto run = fennick("convert --layer 1 --size 352x288 --out " + shell_quoted(dir) + " " +
                           shell_quoted(media_path("fen_flash25.vob")));
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string out = dir + "/fen_flash25.MPG";
  const auto streams = probe_streams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1].at("codec_name"), "mp1");
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  const auto ours = run_tool(shell_quoted(std::string(bin ? bin : ".") + "/bin/razavori") + " audio " +
                                 shell_quoted(out) + " --pcm " + shell_quoted(dir + "/ours.pcm"),
                             true);
  ASSERT_EQ(ours.status, 0) << ours.out;
  EXPECT_NE(ours.out.find("layer 1"), std::string::npos) << ours.out;
  run_tool("ffmpeg -nostdin -y -v error -i " + shell_quoted(out) + " -map 0:a:0 -f s16le " + dir +
           "/ref.pcm");
  const auto pcm = testing_support::compare_pcm_files(dir + "/ref.pcm", dir + "/ours.pcm", 2, 2048);
  ASSERT_TRUE(pcm.ok()) << pcm.describe();
  EXPECT_GT(pcm.frames_compared, 44100 * 19);
  EXPECT_GE(pcm.snr_db, 40.0) << pcm.describe();
}

}  // namespace
