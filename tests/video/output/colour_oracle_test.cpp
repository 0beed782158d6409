// Oracle: a decoded picture converted to 24 bits against ffmpeg's own RGB
// conversion of the same planes, by PSNR.
//
// The conversion does not rescale luma from 16..235 and adds a fixed +8 to
// red and -8 to green and blue (luma offset 8, red bias 16), so against
// ffmpeg's studio-range conversion it sits near 25 dB by design. The strong
// comparison is against ffmpeg's full-range conversion (nearest chroma
// sample, like variant 0) with those fixed offsets applied to its output:
// what remains is the fixed-point rounding, the coefficients' last digits and
// the red floor of 16.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "video/cpu/cpu_features.h"
#include "video/output/frame_copy.h"

namespace {

using kestrum::ChromaFilter;

struct YuvClip {
  int width = 0, height = 0, frames = 0;
  std::string path;
};

bool run(const std::string &cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

// The generated stream's ffmpeg decode when present, else a synthetic
// moving picture made by ffmpeg here.
YuvClip source_clip(int max_frames) {
  YuvClip clip;
  const std::string media = testing_support::media_path("mpeg1_system.yuv");
  std::ifstream info(media + ".txt");
  if (info >> clip.width >> clip.height >> clip.frames && std::filesystem::exists(media)) {
    clip.path = media;
  } else {
    clip = {352, 288, 5, testing_support::scratch_dir() + "/synthetic.yuv"};
    if (!run("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=352x288:rate=25 -frames:v 5 -pix_fmt yuv420p -f "
             "rawvideo " +
             clip.path))
      return {};
  }
  clip.frames = std::min(clip.frames, max_frames);
  return clip;
}

// ffmpeg's full-range pixels moved by the conversion's fixed offsets:
// red +8, green and blue -8.
void with_fixed_offsets(const uint8_t *bgr, std::vector<uint8_t> &out) {
  for (size_t i = 0; i < out.size(); i += 3) {
    out[i] = uint8_t(std::clamp(bgr[i] - 8, 0, 255));
    out[i + 1] = uint8_t(std::clamp(bgr[i + 1] - 8, 0, 255));
    out[i + 2] = uint8_t(std::clamp(bgr[i + 2] + 8, 0, 255));
  }
}

double psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += double(a[i] - b[i]) * double(a[i] - b[i]);
  if (sum == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

struct Figures {
  double worst = 1e9, total = 0;
  int count = 0;
  void add(double v) {
    worst = std::min(worst, v);
    total += v;
    ++count;
  }
  double mean() const { return count ? total / count : 0; }
};

TEST(ColourOracle, TwentyFourBitsAgainstFfmpeg) {
  if (!run("ffmpeg -version")) GTEST_SKIP() << "ffmpeg not installed";
  const YuvClip clip = source_clip(10);
  ASSERT_GT(clip.frames, 0) << "no source pictures";
  const std::string dir = testing_support::scratch_dir();
  const std::string size = std::to_string(clip.width) + "x" + std::to_string(clip.height);
  const std::string input = "ffmpeg -nostdin -y -f rawvideo -pix_fmt yuv420p -s " + size + " -i " +
                            clip.path + " -frames:v " + std::to_string(clip.frames);
  ASSERT_TRUE(run(input + " -pix_fmt bgr24 -f rawvideo " + dir + "/studio.bgr"));
  ASSERT_TRUE(
      run(input + " -vf scale=in_range=full:out_range=full -pix_fmt bgr24 -f rawvideo " + dir + "/full.bgr"));
  const std::vector<uint8_t> yuv = testing_support::file_bytes(clip.path);
  const std::vector<uint8_t> studio = testing_support::file_bytes(dir + "/studio.bgr");
  const std::vector<uint8_t> full = testing_support::file_bytes(dir + "/full.bgr");
  const size_t luma = size_t(clip.width) * clip.height, picture = luma * 3 / 2, rgb = luma * 3;
  ASSERT_GE(yuv.size(), picture * clip.frames);
  ASSERT_EQ(studio.size(), rgb * clip.frames);
  ASSERT_EQ(full.size(), rgb * clip.frames);

  kestrum::ColourOutput out(kestrum::detect_cpu_flags());
  Figures vs_studio, vs_full, vs_full_offsets, smooth_vs_full_offsets;
  std::vector<uint8_t> ours(rgb), smooth(rgb), expected(rgb);
  for (int f = 0; f < clip.frames; ++f) {
    const uint8_t *base = yuv.data() + picture * f;
    kestrum::PlaneRecord rec;
    rec.y = base;
    rec.cb = base + luma;
    rec.cr = base + luma + luma / 4;
    rec.y_pitch = clip.width;
    rec.cb_pitch = rec.cr_pitch = clip.width / 2;
    rec.coded_width = clip.width;
    rec.coded_height = clip.height;
    // The bitmap the converters hand to the encoders: bottom-up.
    const int row = clip.width * 3;
    std::vector<uint8_t> bottom_up(rgb);
    ASSERT_EQ(out.copy(rec, 24, 1, 0, ChromaFilter::kNearest,
                       bottom_up.data() + size_t(row) * (clip.height - 1), -row),
              1);
    for (int line = 0; line < clip.height; ++line)
      std::copy_n(bottom_up.data() + size_t(row) * (clip.height - 1 - line), row,
                  ours.data() + size_t(row) * line);
    ASSERT_EQ(out.copy(rec, 24, 1, 1, ChromaFilter::kVertical, smooth.data(), row), 1);

    const std::vector<uint8_t> ref_studio(studio.begin() + rgb * f, studio.begin() + rgb * (f + 1));
    const std::vector<uint8_t> ref_full(full.begin() + rgb * f, full.begin() + rgb * (f + 1));
    with_fixed_offsets(ref_full.data(), expected);
    vs_studio.add(psnr(ours, ref_studio));
    vs_full.add(psnr(ours, ref_full));
    vs_full_offsets.add(psnr(ours, expected));
    smooth_vs_full_offsets.add(psnr(smooth, expected));
  }
  std::printf("%s, %d pictures %dx%d, PSNR mean / worst (dB):\n", clip.path.c_str(), clip.frames, clip.width,
              clip.height);
  std::printf("  vs ffmpeg studio range            %6.2f / %6.2f\n", vs_studio.mean(), vs_studio.worst);
  std::printf("  vs ffmpeg full range              %6.2f / %6.2f\n", vs_full.mean(), vs_full.worst);
  std::printf("  vs full range with fixed offsets  %6.2f / %6.2f\n", vs_full_offsets.mean(),
              vs_full_offsets.worst);
  std::printf("  smooth variant, same reference    %6.2f / %6.2f\n", smooth_vs_full_offsets.mean(),
              smooth_vs_full_offsets.worst);
  for (const char *name : {"/studio.bgr", "/full.bgr", "/synthetic.yuv"}) std::filesystem::remove(dir + name);
  // Measured on ffmpeg's testsrc2 (saturated bars, sharp edges): 23.6,
  // 30.7, 46.2 and 34.4 dB. The smooth variant moves chroma at every
  // horizontal chroma edge, which ffmpeg's nearest-sample reference does not.
  EXPECT_GE(vs_full_offsets.mean(), 42.0);
  EXPECT_GE(vs_full_offsets.worst, 40.0);
  EXPECT_GE(vs_full.worst, 28.0);
  EXPECT_GE(smooth_vs_full_offsets.worst, 30.0);
}

}  // namespace
