// Weavix against ffmpeg and vcdimager: what it writes reads back with
// ffprobe, gives each input's bytes back exactly through `ffmpeg -c copy`,
// starts both streams together, keeps Video CD's pack size and rate, and
// passes vcdimager; failures (full disk, unwritable folder, bad inputs,
// cancel) give 0 and leave no file behind.
#include "components/weavix/weavix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "components/pikran/pikran.h"
#include "components/sondral/sondral.h"
#include "platform/dynamic_library.h"
#include "tests/components/encoder_support/encoder_support.h"
#include "tests/support/test_media.h"

namespace {

using encoder_test::shell_quoted;

std::string media(const std::string &name) { return testing_support::media_path(name); }

/// The stream's bytes as `ffmpeg -c copy` takes them out of a system stream.
std::vector<uint8_t> copy_out(const std::string &mpg, const char *map, const char *format) {
  const std::string out = mpg + "." + map + "." + format;
  // The mp3 muxer adds tags and an information frame unless told not to.
  const std::string bare = std::string(format) == "mp3" ? " -id3v2_version 0 -write_xing 0" : "";
  const auto r = encoder_test::run_tool("ffmpeg -v error -y -i " + shell_quoted(mpg) + " -map 0:" + map +
                                        " -c copy -f " + format + bare + " " + shell_quoted(out));
  return r.status == 0 ? encoder_test::file_bytes(out) : std::vector<uint8_t>{};
}

/// Files in a folder (to see that no temporary is left behind).
std::vector<std::string> folder_names(const std::string &dir) {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

/// Frame period of the video stream, in seconds, from ffprobe.
double frame_period(const encoder_test::Fields &video) {
  const std::string &r = video.at("r_frame_rate");
  const size_t slash = r.find('/');
  return std::stod(r.substr(slash + 1)) / std::stod(r.substr(0, slash));
}

/// The pictures of an MPEG video stream with their byte ranges.
struct Picture {
  size_t begin, end;
  int type;
};
std::vector<Picture> pictures_of(const std::vector<uint8_t> &s) {
  std::vector<Picture> pics;
  for (size_t i = 0; i + 6 < s.size(); ++i) {
    if (s[i] || s[i + 1] || s[i + 2] != 1) continue;
    const uint8_t code = s[i + 3];
    if (code == 0x00 || code == 0xB3 || code == 0xB8 || code == 0xB7) {
      if (!pics.empty() && pics.back().end == 0) pics.back().end = i;
    }
    if (code == 0x00) pics.push_back({i, 0, (s[i + 5] >> 3) & 7});
  }
  if (!pics.empty() && pics.back().end == 0) pics.back().end = s.size();
  return pics;
}

class WeavixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(encoder_test::have_tool("ffmpeg")) << "ffmpeg is needed as the oracle";
    ASSERT_TRUE(encoder_test::have_tool("ffprobe")) << "ffprobe is needed as the oracle";
    ASSERT_TRUE(encoder_test::file_exists(media("video_mpeg1.m1v"))) << "test media missing";
    dir_ = testing_support::scratch_dir() + "/" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir_);
  }
  std::string dir_;
};

TEST_F(WeavixTest, PairsAndSingleStreamsReadBackAndCopyOutExactly) {
  struct Case {
    const char *name;
    std::string video, audio;
    const char *video_format;  // ffmpeg's raw muxer for the copy, or null
    const char *audio_format;
  };
  const Case cases[] = {
      {"video cd pair", media("mpeg1_system.mpg.video.es"), media("mpeg1_system.mpg.audio.es"), "mpeg1video",
       "mp2"},
      {"mpeg-2 pair", media("mpeg2_ps.mpg.video.es"), media("mpeg2_ps.mpg.audio.es"), "mpeg2video", "mp2"},
      {"mpeg-1 with 32 kHz sound", media("video_mpeg1.m1v"), media("audio_l2_32k_stereo.mp2"), "mpeg1video",
       "mp2"},
      {"names swapped", media("mpeg1_system.mpg.audio.es"), media("mpeg1_system.mpg.video.es"), "mpeg1video",
       "mp2"},
      {"open gop start", media("video_starts_with_b.m2v"), media("audio_l2_48k_stereo.mp2"), "mpeg2video",
       "mp2"},
      {"video only", media("video_mpeg1.m1v"), "", "mpeg1video", nullptr},
      {"video, empty audio", media("video_mpeg2_interlaced.m2v"), dir_ + "/empty", "mpeg2video", nullptr},
      {"layer iii only", "", media("audio_l3_44k.mp3"), nullptr, "mp3"},
      {"low-rate layer ii, missing video", dir_ + "/missing.m1v", media("audio_l2_22k_lsf.mp2"), nullptr,
       "mp2"},
  };
  encoder_test::write_bytes(dir_ + "/empty", {});
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir_ + "/pair" + std::to_string(n++) + ".mpg";
    ASSERT_EQ(WeavixMultiplex(c.video.empty() ? nullptr : c.video.c_str(), c.audio.c_str(), out.c_str()), 1);
    EXPECT_EQ(WeavixProgress(), 100);
    EXPECT_EQ(WeavixSkipped(), 0);
    const auto streams = encoder_test::probe_streams(out);
    ASSERT_EQ(streams.size(), size_t(c.video_format != nullptr) + size_t(c.audio_format != nullptr));
    const bool swapped = std::string(c.name) == "names swapped";
    size_t s = 0;
    if (c.video_format) {
      EXPECT_EQ(streams[s].at("id"), "0x1e0");
      EXPECT_TRUE(copy_out(out, "v", c.video_format) == encoder_test::file_bytes(swapped ? c.audio : c.video))
          << "video bytes differ";
      ++s;
    }
    if (c.audio_format) {
      EXPECT_EQ(streams[s].at("id"), "0x1c0");
      EXPECT_TRUE(copy_out(out, "a", c.audio_format) == encoder_test::file_bytes(swapped ? c.video : c.audio))
          << "audio bytes differ";
    }
    if (c.video_format && c.audio_format && std::string(c.name) != "open gop start") {
      const auto times = encoder_test::first_packet_times(out);
      ASSERT_EQ(times.size(), 2u);
      EXPECT_LE(std::abs(times[0] - times[1]), frame_period(streams[0]) + 1e-6);
    }
  }
}

TEST_F(WeavixTest, VideoCdPairKeepsPacksAndRateAndPassesVcdimager) {
  ASSERT_TRUE(encoder_test::have_tool("vcdimager")) << "vcdimager is needed as the oracle";
  const std::string out = dir_ + "/vcd.mpg";
  ASSERT_EQ(WeavixMultiplex(media("mpeg1_system.mpg.video.es").c_str(),
                            media("mpeg1_system.mpg.audio.es").c_str(), out.c_str()),
            1);
  const auto bytes = encoder_test::file_bytes(out);
  ASSERT_EQ(bytes.size() % 2324, 0u);
  for (size_t at = 0; at < bytes.size(); at += 2324) {
    ASSERT_EQ(bytes[at + 3], 0xBA) << "pack at " << at;
    // MPEG-1 pack header: 22-bit mux_rate between marker bits.
    const uint32_t rate =
        ((uint32_t(bytes[at + 9]) << 16 | uint32_t(bytes[at + 10]) << 8 | bytes[at + 11]) >> 1) & 0x3FFFFF;
    ASSERT_EQ(rate, 3528u) << "pack at " << at;
  }
  const auto r = encoder_test::run_tool(
      "cd " + shell_quoted(dir_) + " && vcdimager -t vcd2 -c x.cue -b x.bin " + shell_quoted(out), true);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("++ WARN"), std::string::npos) << r.out;
}

TEST_F(WeavixTest, EncoderOutputMakesAVideoCd) {
  ASSERT_TRUE(encoder_test::have_tool("vcdimager")) << "vcdimager is needed as the oracle";
  // The converter's road: Pikran with the Video CD flag, Sondral from 48 kHz
  // to 44.1 kHz Layer II at 224 kbit/s into a file named ".MP3".
  const auto &pics = encoder_test::test_pictures();
  ASSERT_GT(pics.count, 0) << "test pictures missing";
  const std::string video = dir_ + "/video.m1v", audio = dir_ + "/audio.MP3", out = dir_ + "/encoded.mpg";
  auto dib = encoder_test::make_dib(pics.picture(0), pics.width, pics.height, encoder_test::DibForm::bgr24);
  PikranBitmapHeader header;
  std::memcpy(&header, dib.data(), sizeof header);
  const PikranParams params{PIKRAN_VCD_BIT_RATE, 1, 0, 352, 288, PIKRAN_VCD_VBV_UNITS, &header, 3};
  ASSERT_EQ(PikranOpen(video.c_str(), &params, pics.count), 1);
  for (int i = 0; i < pics.count; ++i) {
    dib = encoder_test::make_dib(pics.picture(i), pics.width, pics.height, encoder_test::DibForm::bgr24);
    PikranEncodeFrame(dib.data(), int32_t(dib.size()));
  }
  ASSERT_EQ(PikranClose(), 1);
  const auto pcm = encoder_test::file_bytes(media("audio_l2_48k_stereo.pcm"));
  ASSERT_FALSE(pcm.empty());
  SondralSetInputRate(48000);
  SondralSetInputBits(16);
  SondralSetChannels(2);
  SondralSetLayer(2);
  SondralSetOutputRate(44100);
  SondralSetBitRate(224);
  ASSERT_EQ(SondralOpen(audio.c_str()), 1);
  SondralWrite(pcm.data(), int32_t(pcm.size()));
  ASSERT_EQ(SondralClose(), 1);

  ASSERT_EQ(WeavixMultiplex(video.c_str(), audio.c_str(), out.c_str()), 1);
  EXPECT_EQ(encoder_test::file_bytes(out).size() % 2324, 0u);
  EXPECT_TRUE(copy_out(out, "v", "mpeg1video") == encoder_test::file_bytes(video));
  EXPECT_TRUE(copy_out(out, "a", "mp2") == encoder_test::file_bytes(audio));
  const auto streams = encoder_test::probe_streams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(pics.count));
  const auto times = encoder_test::first_packet_times(out);
  ASSERT_EQ(times.size(), 2u);
  EXPECT_LE(std::abs(times[0] - times[1]), 0.04 + 1e-6);
  const auto r = encoder_test::run_tool(
      "cd " + shell_quoted(dir_) + " && vcdimager -t vcd2 -c x.cue -b x.bin " + shell_quoted(out), true);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("++ WARN"), std::string::npos) << r.out;
}

TEST_F(WeavixTest, OurLayerOneGoesThroughToo) {
  const auto pcm = encoder_test::file_bytes(media("audio_l2_32k_stereo.pcm"));
  ASSERT_FALSE(pcm.empty());
  const std::string audio = dir_ + "/audio.mp1", out = dir_ + "/layer1.mpg";
  SondralSetInputRate(32000);
  SondralSetInputBits(16);
  SondralSetChannels(2);
  SondralSetLayer(1);
  SondralSetOutputRate(44100);
  SondralSetBitRate(192);
  ASSERT_EQ(SondralOpen(audio.c_str()), 1);
  SondralWrite(pcm.data(), int32_t(pcm.size()));
  ASSERT_EQ(SondralClose(), 1);
  ASSERT_EQ(WeavixMultiplex(media("video_mpeg1.m1v").c_str(), audio.c_str(), out.c_str()), 1);
  const auto streams = encoder_test::probe_streams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1].at("codec_name"), "mp1");
  // The raw mp2 muxer writes any MPEG audio frames as they are.
  EXPECT_TRUE(copy_out(out, "a", "mp2") == encoder_test::file_bytes(audio));
  EXPECT_TRUE(copy_out(out, "v", "mpeg1video") == encoder_test::file_bytes(media("video_mpeg1.m1v")));
}

TEST_F(WeavixTest, ZeroedBPicturesPassThroughAndKeepTheirTimes) {
  // The joiner keeps I and P pictures and overwrites the B pictures' bytes
  // with zeros in place.
  std::vector<uint8_t> video = encoder_test::file_bytes(media("video_mpeg1.m1v"));
  const auto pics = pictures_of(video);
  int kept = 0;
  for (const Picture &p : pics) {
    if (p.type == 3)
      std::fill(video.begin() + long(p.begin), video.begin() + long(p.end), 0);
    else
      ++kept;
  }
  ASSERT_LT(kept, int(pics.size()));
  const std::string zeroed = dir_ + "/zeroed.m1v", out = dir_ + "/zeroed.mpg";
  encoder_test::write_bytes(zeroed, video);
  ASSERT_EQ(WeavixMultiplex(zeroed.c_str(), media("audio_l2_44k_joint.mp2").c_str(), out.c_str()), 1);
  EXPECT_TRUE(copy_out(out, "v", "mpeg1video") == video);
  const auto streams = encoder_test::probe_streams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(kept));
  // The last picture keeps its place in time: the kept pictures span the
  // whole 3 s, as the sound does.
  const auto r = encoder_test::run_tool(
      "ffprobe -v error -select_streams 0 -show_entries packet=pts_time -of csv=p=0 " + shell_quoted(out));
  double first = 1e9, last = 0;
  for (size_t at = 0; at < r.out.size();) {
    const double t = std::atof(r.out.c_str() + at);
    first = std::min(first, t);
    last = std::max(last, t);
    at = r.out.find('\n', at);
    if (at == std::string::npos) break;
    ++at;
  }
  EXPECT_GT(last - first, 2.8);
}

TEST_F(WeavixTest, ProgressReadFromAnotherThreadRisesTo100) {
  // A long input: the same closed-GOP stream ten times over.
  std::vector<uint8_t> one = encoder_test::file_bytes(media("video_mpeg2_progressive.m2v")), many;
  for (int i = 0; i < 10; ++i) many.insert(many.end(), one.begin(), one.end());
  const std::string input = dir_ + "/long.m2v", out = dir_ + "/long.mpg";
  encoder_test::write_bytes(input, many);
  std::atomic<bool> done{false};
  std::vector<int> seen;
  std::thread watcher([&] {
    while (!done.load()) {
      const int p = WeavixProgress();
      if (seen.empty() || seen.back() != p) seen.push_back(p);
      std::this_thread::yield();
    }
    seen.push_back(WeavixProgress());
  });
  const int result = WeavixMultiplex(input.c_str(), media("audio_l2_48k_stereo.mp2").c_str(), out.c_str());
  done = true;
  watcher.join();
  ASSERT_EQ(result, 1);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin() + 1, seen.end())) << "progress went back";
  EXPECT_TRUE(copy_out(out, "v", "mpeg2video") == many);
}

TEST_F(WeavixTest, FailuresGiveZeroAndLeaveNoFile) {
  const std::string video = media("mpeg1_system.mpg.video.es"), audio = media("mpeg1_system.mpg.audio.es");
  const std::string garbage = dir_ + "/garbage.bin";
  std::vector<uint8_t> noise(200000);
  uint32_t x = 12345;
  for (auto &b : noise) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
  encoder_test::write_bytes(garbage, noise);
  const std::string plain = dir_ + "/plain";
  encoder_test::write_bytes(plain, {1});
  struct Case {
    const char *name;
    const char *video;
    const char *audio;
    std::string out;
  };
  const std::string out = dir_ + "/out.mpg";
  const Case cases[] = {
      {"both missing", "/nonexistent/v.m1v", "/nonexistent/a.mp2", out},
      {"both null", nullptr, nullptr, out},
      {"garbage video", garbage.c_str(), audio.c_str(), out},
      {"garbage audio", video.c_str(), garbage.c_str(), out},
      {"two videos", video.c_str(), video.c_str(), out},
      {"a folder as input", dir_.c_str(), audio.c_str(), out},
      {"output below a regular file", video.c_str(), audio.c_str(), plain + "/out.mpg"},
      {"output in a missing folder", video.c_str(), audio.c_str(), dir_ + "/no/such/out.mpg"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(WeavixMultiplex(c.video, c.audio, c.out.c_str()), 0) << c.name;
    EXPECT_FALSE(encoder_test::file_exists(c.out)) << c.name;
  }
  EXPECT_EQ(WeavixMultiplex(video.c_str(), audio.c_str(), nullptr), 0);

  // A disk filling up: the old output stays as it was and no temporary is left.
  encoder_test::write_bytes(out, {'o', 'l', 'd'});
  const auto before = folder_names(dir_);
  const int status = encoder_test::run_with_file_limit(
      100000, [&] { return WeavixMultiplex(video.c_str(), audio.c_str(), out.c_str()) == 0 ? 0 : 1; });
  EXPECT_EQ(status, 0) << "a full disk was reported as success";
  EXPECT_EQ(encoder_test::file_bytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(folder_names(dir_), before);
}

TEST_F(WeavixTest, CancelStopsARunAndASecondRunIsRefusedMeanwhile) {
  // A long input (about 46 MB) keeps the run busy while another thread,
  // woken by the first progress, asks for a second run and then cancels.
  std::vector<uint8_t> one = encoder_test::file_bytes(media("video_mpeg2_progressive.m2v")), many;
  for (int i = 0; i < 40; ++i) many.insert(many.end(), one.begin(), one.end());
  const std::string input = dir_ + "/long.m2v", out = dir_ + "/cancelled.mpg", other = dir_ + "/other.mpg";
  encoder_test::write_bytes(input, many);
  WeavixCancel();  // none runs: nothing happens
  std::atomic<int> second{-1};
  std::thread canceller([&] {
    while (WeavixProgress() < 5) std::this_thread::yield();
    second = WeavixMultiplex(input.c_str(), nullptr, other.c_str());
    WeavixCancel();
  });
  const int result = WeavixMultiplex(input.c_str(), nullptr, out.c_str());
  canceller.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(second.load(), 0);
  EXPECT_FALSE(encoder_test::file_exists(out));
  EXPECT_FALSE(encoder_test::file_exists(other));
  EXPECT_EQ(folder_names(dir_), std::vector<std::string>{"long.m2v"});
  // The next run is not cancelled by the old request.
  EXPECT_EQ(WeavixMultiplex(media("video_mpeg1.m1v").c_str(), nullptr, out.c_str()), 1);
}

TEST_F(WeavixTest, DamagedStretchesAreSkippedAndCounted) {
  // Garbage before and between audio frames, and a cut-off last frame.
  const auto frames = encoder_test::file_bytes(media("audio_l2_48k_stereo.mp2"));
  const size_t frame = 576;  // 192 kbit/s at 48 kHz
  std::vector<uint8_t> damaged = {0x12, 0xFF, 0xF3, 0x00, 0x47};
  damaged.insert(damaged.end(), frames.begin(), frames.begin() + long(10 * frame));
  damaged.insert(damaged.end(), {0xFF, 0xFF, 0x00, 0x01, 0x02});
  damaged.insert(damaged.end(), frames.begin() + long(10 * frame), frames.begin() + long(20 * frame + 100));
  const std::string input = dir_ + "/damaged.mp2", out = dir_ + "/damaged.mpg";
  encoder_test::write_bytes(input, damaged);
  ASSERT_EQ(WeavixMultiplex(nullptr, input.c_str(), out.c_str()), 1);
  EXPECT_EQ(WeavixSkipped(), 3);
  EXPECT_TRUE(copy_out(out, "a", "mp2") ==
              std::vector<uint8_t>(frames.begin(), frames.begin() + long(20 * frame)));
}

std::string razavori() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return shell_quoted(std::string(bin ? bin : ".") + "/bin/razavori");
}

TEST_F(WeavixTest, RazavoriMuxJoinsStreamsWithAProgressLine) {
  const std::string video = media("mpeg2_ps.mpg.video.es"), audio = media("mpeg2_ps.mpg.audio.es");
  const std::string out = dir_ + "/cli.mpg";
  auto r = encoder_test::run_tool(
      razavori() + " mux " + shell_quoted(video) + " " + shell_quoted(audio) + " " + shell_quoted(out), true);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("multiplexing " + out + ": 100%"), std::string::npos) << r.out;
  EXPECT_TRUE(copy_out(out, "v", "mpeg2video") == encoder_test::file_bytes(video));
  // Audio alone, the video given as "-".
  r = encoder_test::run_tool(
      razavori() + " mux - " + shell_quoted(audio) + " " + shell_quoted(dir_ + "/a.mpg"), true);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(copy_out(dir_ + "/a.mpg", "a", "mp2") == encoder_test::file_bytes(audio));
  // Not MPEG: exit 1, a message, no file; bad usage: exit 2.
  const std::string bad = dir_ + "/bad.mpg", text = dir_ + "/text.txt";
  encoder_test::write_bytes(text, std::vector<uint8_t>(5000, 'x'));
  r = encoder_test::run_tool(razavori() + " mux " + shell_quoted(text) + " - " + shell_quoted(bad), true);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("failed"), std::string::npos) << r.out;
  EXPECT_FALSE(encoder_test::file_exists(bad));
  EXPECT_EQ(encoder_test::run_tool(razavori() + " mux only-one", true).status, 2);
  EXPECT_EQ(encoder_test::run_tool(razavori() + " mux - - " + shell_quoted(bad), true).status, 2);
}

TEST(WeavixLibrary, LoadsByNameAndServesItsOrdinals) {
  platform::DynamicLibrary lib("libweavix.so");
  ASSERT_TRUE(lib.is_open());
  EXPECT_EQ(lib.ordinal("WeavixProc", 1), reinterpret_cast<void *>(&WeavixMultiplex));
  EXPECT_EQ(lib.ordinal("WeavixProc", 2), reinterpret_cast<void *>(&WeavixProgress));
  EXPECT_EQ(lib.ordinal("WeavixProc", 3), reinterpret_cast<void *>(&WeavixSetFlag));
  EXPECT_EQ(lib.ordinal("WeavixProc", 4), reinterpret_cast<void *>(&WeavixCancel));
  EXPECT_EQ(lib.ordinal("WeavixProc", 0), nullptr);
  EXPECT_EQ(WeavixSetFlag(0), 0);
  EXPECT_EQ(WeavixSetFlag(1), 1);
}

}  // namespace
