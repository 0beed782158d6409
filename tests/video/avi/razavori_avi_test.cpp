// `razavori video`, `play` and `audio` on AVI files: the pictures the
// engine decodes against ffmpeg's (identical for YUV codecs, by PSNR for
// RGB sources whose conversion differs), a cut file up to its cut, the
// progress line, the sound's channel line, and frame --at's seeks against
// ffprobe's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/compare.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

namespace ts = testing_support;

struct Case {
  const char *name;
  int width, height;
  double min_psnr;  // kPsnrIdentical: every picture identical
};

// razavori's and ffmpeg's pictures of `path`, yuv420p at the display size.
struct Pictures {
  std::vector<uint8_t> ours, theirs;
  std::string log;
};

Pictures decode_both(const std::string &path, const std::string &tag) {
  Pictures p;
  const std::string ours = ts::scratch_dir() + "/" + tag + ".yuv";
  const std::string theirs = ts::scratch_dir() + "/" + tag + ".ref.yuv";
  const ts::ToolRun r = ts::run_razavori("video '" + path + "' --yuv '" + ours + "'");
  p.log = r.out;
  if (r.status != 0) return p;
  const ts::ToolRun f =
      ts::run_tool("ffmpeg -v error -y -threads 1 -i '" + path +
                   "' -map 0:v:0 -fps_mode passthrough -pix_fmt yuv420p -f rawvideo '" + theirs + "' 2>&1");
  if (f.status != 0) {
    p.log += f.out;
    return p;
  }
  p.ours = ts::file_bytes(ours);
  p.theirs = ts::file_bytes(theirs);
  return p;
}

class RazavoriAviVideo : public ::testing::TestWithParam<Case> {};

TEST_P(RazavoriAviVideo, PicturesAreFfmpegs) {
  const Case c = GetParam();
  const Pictures p = decode_both(ts::media_path(c.name), c.name);
  ASSERT_FALSE(p.ours.empty()) << p.log;
  ASSERT_FALSE(p.theirs.empty()) << p.log;
  const ts::YuvComparison cmp = ts::compare_yuv(p.ours, p.theirs, c.width, c.height);
  ASSERT_TRUE(cmp.ok()) << cmp.describe();
  EXPECT_EQ(cmp.frames_a, cmp.frames_b) << cmp.describe();
  EXPECT_GE(cmp.worst.min(), c.min_psnr) << cmp.describe();
  if (c.min_psnr >= ts::kPsnrIdentical) {
    EXPECT_TRUE(p.ours == p.theirs) << "identical bytes";
  }
  EXPECT_NE(p.log.find(std::to_string(cmp.frames_a) + " pictures"), std::string::npos) << p.log;
}

constexpr double kSame = ts::kPsnrIdentical;

// YUV codecs (B pictures, codec delay, an odd size cropped), and the RGB,
// 4:2:2 and palette sources whose conversion to 4:2:0 is not ffmpeg's.
INSTANTIATE_TEST_SUITE_P(
    Files, RazavoriAviVideo,
    ::testing::Values(Case{"avi_xvid_mp3.avi", 320, 240, kSame}, Case{"avi_h264_ac3.avi", 320, 240, kSame},
                      Case{"avi_msmpeg4.avi", 320, 240, kSame}, Case{"avi_odd_size.avi", 350, 238, kSame},
                      Case{"avi_ffv1.avi", 320, 240, kSame}, Case{"avi_dv_pcm48.avi", 720, 576, 40},
                      Case{"avi_bgr24_flip_u8.avi", 320, 240, 40}, Case{"avi_pal8_flip.avi", 320, 240, 40},
                      Case{"avi_yuyv.avi", 320, 240, 40}, Case{"avi_cvid_ima.avi", 320, 240, 40}),
    [](const auto &info) {
      std::string n = info.param.name;
      return n.substr(4, n.size() - 8);
    });

// Frames dropped with their times kept leave empty chunks: each shows the
// picture before it again (ffmpeg leaves them out).
TEST(RazavoriAvi, EmptyChunksRepeatThePictureBefore) {
  const std::string path = ts::media_path("avi_three_audio.avi");
  const Pictures p = decode_both(path, "three");
  ASSERT_FALSE(p.ours.empty()) << p.log;
  std::istringstream in(ts::command_output(
      "ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 '" + path + "'"));
  std::vector<int> chunks;  // the chunk of each of ffmpeg's pictures
  for (int pts; in >> pts;) chunks.push_back(pts);
  ASSERT_FALSE(chunks.empty());
  const int w = 320, h = 240;
  const size_t size = ts::yuv_picture_size(w, h);
  ASSERT_EQ(p.theirs.size(), chunks.size() * size);
  ASSERT_EQ(p.ours.size(), size_t(chunks.back() + 1) * size);
  ASSERT_GE(p.ours.size() / size, chunks.size() + 2) << "the empty chunks";
  size_t j = 0;
  for (int k = 0; k <= chunks.back(); ++k) {
    const ts::PictureView ours = ts::yuv_picture(p.ours, w, h, k);
    if (j < chunks.size() && chunks[j] == k) {
      EXPECT_GE(ts::picture_psnr(ours, ts::yuv_picture(p.theirs, w, h, int(j))).min(), 40) << "chunk " << k;
      ++j;
    } else {
      EXPECT_EQ(ts::picture_psnr(ours, ts::yuv_picture(p.ours, w, h, k - 1)).min(), ts::kPsnrIdentical)
          << "empty chunk " << k;
    }
  }
}

// A file cut at 60 % plays up to the cut: every whole chunk is ffmpeg's
// picture; the cut last chunk, which ffmpeg decodes damaged, is left out.
TEST(RazavoriAvi, ACutFilePlaysUpToTheCut) {
  std::vector<uint8_t> bytes = ts::file_bytes(ts::media_path("avi_xvid_mp3.avi"));
  ASSERT_GT(bytes.size(), 10000u);
  bytes.resize(bytes.size() * 6 / 10);
  const std::string cut = ts::scratch_dir() + "/cut.avi";
  std::ofstream(cut, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const Pictures p = decode_both(cut, "cut");
  ASSERT_FALSE(p.ours.empty()) << p.log;
  const ts::YuvComparison cmp = ts::compare_yuv(p.ours, p.theirs, 320, 240);
  ASSERT_TRUE(cmp.ok()) << cmp.describe();
  EXPECT_GE(cmp.frames_a, cmp.frames_b - 1) << cmp.describe();
  EXPECT_GT(cmp.frames_a, 50) << cmp.describe();
  EXPECT_EQ(cmp.worst.min(), ts::kPsnrIdentical) << cmp.describe();
}

// A DivX 5 variant code ("DX5" and any letter) decodes as DivX: the file
// with its codes renamed gives ffmpeg's pictures of the original.
TEST(RazavoriAvi, DivxFiveVariantsDecodeAsDivx) {
  const std::string divx = ts::scratch_dir() + "/divx.avi";
  ASSERT_EQ(ts::run_tool("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -threads 1 "
                         "-c:v mpeg4 -vtag DIVX '" +
                         divx + "'")
                .status,
            0);
  std::vector<uint8_t> bytes = ts::file_bytes(divx);
  int renamed = 0;
  for (size_t i = 0; i + 4 <= std::min<size_t>(bytes.size(), 4096); ++i) {
    for (const char *code : {"DIVX", "divx"}) {
      if (std::equal(code, code + 4, bytes.begin() + ptrdiff_t(i))) {
        bytes[i + 1] = code[0] == 'D' ? 'X' : 'x';
        bytes[i + 2] = '5';
        bytes[i + 3] = '1';
        ++renamed;
      }
    }
  }
  ASSERT_GE(renamed, 2) << "the stream header and the format";
  const std::string dx51 = ts::scratch_dir() + "/dx51.avi";
  std::ofstream(dx51, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const std::string ours = ts::scratch_dir() + "/dx51.yuv", theirs = ts::scratch_dir() + "/divx.yuv";
  ASSERT_EQ(ts::run_razavori("video '" + dx51 + "' --yuv '" + ours + "'").status, 0);
  ASSERT_EQ(ts::run_tool("ffmpeg -v error -y -threads 1 -i '" + divx + "' -pix_fmt yuv420p -f rawvideo '" +
                         theirs + "'")
                .status,
            0);
  const std::vector<uint8_t> a = ts::file_bytes(ours), b = ts::file_bytes(theirs);
  EXPECT_EQ(a.size(), ts::yuv_picture_size(160, 120) * 25);
  EXPECT_TRUE(a == b) << "ffmpeg's pictures of the original";
}

// A long decode shows where it is; the last line reaches 100 %.
TEST(RazavoriAvi, VideoShowsProgress) {
  const ts::ToolRun r =
      ts::run_razavori("video '" + ts::media_path("avi_divx_mp2.avi") + "' 2>&1 >/dev/null", false);
  ASSERT_EQ(r.status, 0) << r.out;
  // Without a terminal: a line per tenth.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11) << r.out;
  EXPECT_NE(r.out.find("     0.0 s   0%\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" s 100%\n"), std::string::npos) << r.out;
}

TEST(RazavoriAvi, FilesWithoutADecompressorAreRefusedByName) {
  const std::string avi = ts::scratch_dir() + "/mpeg1.avi";
  ASSERT_EQ(ts::run_tool("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v "
                         "mpeg1video '" +
                         avi + "'")
                .status,
            0);
  const ts::ToolRun r = ts::run_razavori("video '" + avi + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
}

// Played without a terminal, an AVI file with and without pictures plays
// to its end and the program ends by itself.
TEST(RazavoriAvi, PlayRunsToTheEnd) {
  for (const char *name : {"avi_mjpeg_pcm.avi", "avi_i420.avi", "avi_audio_only.avi"}) {
    SCOPED_TRACE(name);
    const ts::ToolRun r = ts::run_razavori("play '" + ts::media_path(name) + "' </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
  }
}

// The channel line follows the stream: a mono AVI's sound is one channel
// out, a 5.1 one is folded to two.
TEST(RazavoriAvi, AudioNamesTheChannelsItWrites) {
  struct Sound {
    const char *name;
    const char *lines;
  };
  for (const Sound &s :
       {Sound{"avi_mjpeg_pcm.avi", "channels 1\n"}, Sound{"avi_mjpeg_pcm.avi", "1 channel\n"},
        Sound{"avi_pcm_51.avi", "2 channels\n"}}) {
    SCOPED_TRACE(s.name);
    const ts::ToolRun r = ts::run_razavori("audio '" + ts::media_path(s.name) + "'", false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("kind AVI audio\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(s.lines), std::string::npos) << r.out;
  }
}

// frame --at seeks as a player does, to the key frame at or before each
// time, and decodes the picture there: the frames are ffprobe's for the
// same times read as intervals. The times fall on frame starts (ffprobe
// rounds a time to the nearest frame before it seeks); the list runs out
// of order, backwards and forwards, through key frames and between them.
TEST(RazavoriAvi, FrameAtSeeksLandWhereFfprobesDo) {
  struct Seeks {
    const char *name;
    std::vector<int> ms;
  };
  for (const Seeks &c : {Seeks{"avi_mjpeg_pcm.avi", {3960, 0, 1000, 40, 2520, 40}},
                         Seeks{"avi_divx_mp2.avi", {5000, 0, 1960, 2000, 7960, 3200, 4000}},
                         Seeks{"avi_odd_size.avi", {2970, 367, 1001, 3970, 0}}}) {
    SCOPED_TRACE(c.name);
    const std::string path = ts::media_path(c.name);
    std::string list, intervals;
    for (int ms : c.ms) {
      list += (list.empty() ? "" : ",") + std::to_string(ms);
      char interval[32];
      std::snprintf(interval, sizeof interval, "%s%d.%03d%%+#1", intervals.empty() ? "" : ",", ms / 1000,
                    ms % 1000);
      intervals += interval;
    }
    const ts::ToolRun r = ts::run_razavori("frame '" + path + "' --at " + list, false);
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<int> ours, theirs;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      int ms = 0, frame = 0, at = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "%d ms -> frame %d at %d ms", &ms, &frame, &at), 3) << line;
      EXPECT_EQ(ms, c.ms[ours.size()]) << line;
      EXPECT_LE(at, ms) << line;
      ours.push_back(frame);
    }
    std::istringstream probe(ts::command_output("ffprobe -v error -select_streams v:0 -read_intervals " +
                                                intervals + " -show_entries frame=pts -of csv=p=0 '" + path +
                                                "'"));
    for (int pts; probe >> pts;) theirs.push_back(pts);
    ASSERT_EQ(theirs.size(), c.ms.size()) << "ffprobe's frames";
    EXPECT_EQ(ours, theirs);
  }
}

// Past the end a seek lands on the last key frame; an empty or malformed
// list is refused before the file is opened, a file that is not an AVI
// with video after.
TEST(RazavoriAvi, FrameAtRefusesBadListsAndFiles) {
  const std::string divx = ts::media_path("avi_divx_mp2.avi");
  const ts::ToolRun end = ts::run_razavori("frame '" + divx + "' --at 999999", false);
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.out, "999999 ms -> frame 150 at 6000 ms\n");

  const std::string times = ts::scratch_dir() + "/times.txt";
  std::ofstream(times) << "40\n 2000,\t4000 \n";
  const ts::ToolRun from_file = ts::run_razavori("frame '" + divx + "' --at @'" + times + "'", false);
  EXPECT_EQ(from_file.status, 0);
  EXPECT_EQ(from_file.out,
            "40 ms -> frame 0 at 0 ms\n2000 ms -> frame 50 at 2000 ms\n"
            "4000 ms -> frame 100 at 4000 ms\n");

  struct Bad {
    std::string file, list;
    int status;
    const char *message;
  };
  const std::string audio_only = ts::media_path("avi_audio_only.avi");
  for (const Bad &b :
       {Bad{divx, "''", 2, "no times given"}, Bad{divx, ",", 2, "no times given"},
        Bad{divx, "40,x", 2, "\"x\" is not a time"}, Bad{divx, "-40", 2, "\"-40\" is not"},
        Bad{divx, "4000ms", 2, "\"4000ms\" is not"}, Bad{divx, "2147483648", 2, "is not a time"},
        Bad{divx, "@/nonexistent/times", 2, "cannot read /nonexistent/times"},
        Bad{audio_only, "0", 1, "not an AVI file with video"},
        Bad{ts::media_path("avi_mjpeg_pcm.avi") + ".missing", "0", 1, "not an AVI file"}}) {
    SCOPED_TRACE(b.list);
    const ts::ToolRun r = ts::run_razavori("frame '" + b.file + "' --at " + b.list);
    EXPECT_EQ(r.status, b.status) << r.out;
    EXPECT_NE(r.out.find(b.message), std::string::npos) << r.out;
  }
}

}  // namespace
