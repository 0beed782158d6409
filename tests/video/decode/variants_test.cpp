// Streams made here with ffmpeg for the syntax the shared test media does
// not reach: 4:2:2 chroma with field DCT, the second coefficient table with
// the alternate scan, the non-linear quantiser scale and a 10-bit DC
// precision, and bottom-field-first interlacing. Each must decode to
// ffmpeg's own pictures (at least 50 dB on average, 45 dB worst).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "tests/video/decode/decode_support.h"

namespace {

struct VariantCase {
  const char *name;
  const char *options;
  int chroma_format;
  const char *pix_fmt;
};

const VariantCase kCases[] = {
    {"chroma422_field_dct", "-pix_fmt yuv422p -b:v 4M -flags +ildct+ilme", 2, "yuv422p"},
    {"table_one_alternate_nonlinear",
     "-b:v 3M -intra_vlc 1 -alternate_scan 1 -non_linear_quant 1 -qmax 28 -dc 10", 1, "yuv420p"},
    {"bottom_field_first", "-b:v 3M -flags +ildct+ilme -top 0 -alternate_scan 1", 1, "yuv420p"},
    {"mpeg2_low_rate_skips", "-b:v 300k -g 30", 1, "yuv420p"},
};

class Variants : public testing::TestWithParam<VariantCase> {};

TEST_P(Variants, MatchFfmpeg) {
  const VariantCase &c = GetParam();
  const std::string dir = testing_support::scratch_dir();
  const std::string stream = dir + "/" + c.name + ".m2v";
  const std::string yuv = stream + ".yuv";
  const std::string make = std::string(
                               "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
                               "testsrc2=size=352x288:rate=25 -t 1 -c:v mpeg2video -g 12 -bf 2 ") +
                           c.options + " -f mpeg2video '" + stream +
                           "' && ffmpeg -nostdin -hide_banner "
                           "-loglevel error -y -i '" +
                           stream + "' -fps_mode passthrough -pix_fmt " + c.pix_fmt + " -f rawvideo '" + yuv +
                           "'";
  ASSERT_EQ(std::system(make.c_str()), 0) << make;
  const auto ours = video_test::decode_stream(testing_support::file_bytes(stream));
  ASSERT_FALSE(ours.empty());
  const auto ref = video_test::read_yuv(yuv, 352, 288, c.chroma_format);
  ASSERT_EQ(ours.size(), ref.size());
  double sum = 0, worst = 99;
  for (size_t i = 0; i < ours.size(); ++i) {
    for (auto plane : {&video_test::Picture::y, &video_test::Picture::cb, &video_test::Picture::cr}) {
      const double p = video_test::plane_psnr(ours[i].*plane, ref[i].*plane);
      sum += p;
      worst = std::min(worst, p);
    }
  }
  const double average = sum / double(3 * ours.size());
  std::printf("%-32s %zu pictures, PSNR average %.2f dB, worst %.2f dB\n", c.name, ours.size(), average,
              worst);
  EXPECT_GE(average, 50.0);
  EXPECT_GE(worst, 45.0);
}

INSTANTIATE_TEST_SUITE_P(Generated, Variants, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<VariantCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
