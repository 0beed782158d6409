// Every generated stream decodes, in display order, to the pictures ffmpeg
// decodes from it: PSNR at least 50 dB on average and 45 dB for every
// picture and plane in the default mode. The figures of the two processor
// variants (commands 83 and 85) are printed for the record.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "tests/video/decode/decode_support.h"

namespace {

using video_test::Picture;

struct StreamCase {
  const char *name;
  const char *what;
};

const StreamCase kStreams[] = {
    {"video_mpeg1.m1v", "MPEG-1 352x288, I/P/B, closed GOPs"},
    {"video_mpeg2_progressive.m2v", "MPEG-2 720x576 progressive with B pictures"},
    {"video_mpeg2_interlaced.m2v", "MPEG-2 interlaced: field DCT, field motion"},
    {"video_mpeg2_open_gop.m2v", "MPEG-2 open GOPs"},
    {"video_starts_with_b.m2v", "open GOP at the start: leading B pictures skipped"},
    {"video_mpeg1_360x240.m1v", "360x240: allocated buffers, margin"},
};

struct Figures {
  double average = 0, worst = 99;
  size_t pictures = 0, reference = 0;
};

Figures compare(const std::vector<Picture> &ours, const std::vector<Picture> &ref) {
  Figures f;
  f.pictures = ours.size();
  f.reference = ref.size();
  const size_t n = std::min(ours.size(), ref.size());
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    for (auto plane : {&Picture::y, &Picture::cb, &Picture::cr}) {
      const double p = video_test::plane_psnr(ours[i].*plane, ref[i].*plane);
      sum += p;
      f.worst = std::min(f.worst, p);
    }
  }
  f.average = n ? sum / double(3 * n) : 0;
  return f;
}

class Oracle : public testing::TestWithParam<StreamCase> {};

TEST_P(Oracle, MatchesFfmpegInDisplayOrder) {
  const std::string path = testing_support::media_path(GetParam().name);
  if (!std::filesystem::exists(path)) {
    ASSERT_FALSE(std::filesystem::exists(testing_support::media_dir())) << "missing " << path;
    GTEST_SKIP() << "no generated media";
  }
  const auto bytes = testing_support::file_bytes(path);
  const auto ours = video_test::decode_stream(bytes);
  ASSERT_FALSE(ours.empty());
  const auto ref =
      video_test::read_yuv(video_test::reference_path(path, ".yuv"), ours[0].width, ours[0].height);
  const Figures f = compare(ours, ref);
  EXPECT_EQ(f.pictures, f.reference);
  EXPECT_GE(f.average, 50.0);
  EXPECT_GE(f.worst, 45.0);
  std::printf("%-30s default: %zu pictures, PSNR average %.2f dB, worst %.2f dB\n", GetParam().name,
              f.pictures, f.average, f.worst);
  for (auto variant : {kestrum::McVariant::kThreeNeighbour, kestrum::McVariant::kPairwise}) {
    kestrum::DecoderSettings s;
    s.mc_variant = variant;
    if (variant == kestrum::McVariant::kPairwise) s.idct_variant = kestrum::IdctVariant::kSparse;
    const Figures v = compare(video_test::decode_stream(bytes, s), ref);
    std::printf("%-30s command %d: PSNR average %.2f dB, worst %.2f dB\n", GetParam().name,
                variant == kestrum::McVariant::kPairwise ? 85 : 83, v.average, v.worst);
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, Oracle, testing::ValuesIn(kStreams),
                         [](const testing::TestParamInfo<StreamCase> &info) {
                           std::string n = info.param.name;
                           std::replace_if(
                               n.begin(), n.end(), [](char c) { return !isalnum(c); }, '_');
                           return n;
                         });

}  // namespace
