// `razavori video` decodes through the engine's exports as the converters
// do; its pictures, in display order and cropped to the display size, are
// compared with ffmpeg's decoding of the same stream (X.yuv).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/test_media.h"
#include "video/video_api.h"

namespace {

std::string tool() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/bin/razavori";
}

std::vector<uint8_t> read_all(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int run(const std::string &command) { return std::system((command + " >/dev/null").c_str()); }

double psnr(const uint8_t *a, const uint8_t *b, size_t n) {
  double se = 0;
  for (size_t i = 0; i < n; ++i) {
    const double d = double(a[i]) - double(b[i]);
    se += d * d;
  }
  if (se == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * double(n) / se);
}

struct Reference {
  int width = 0, height = 0, frames = 0;
};

Reference read_reference(const std::string &yuv) {
  Reference r;
  std::ifstream in(yuv + ".txt");
  in >> r.width >> r.height >> r.frames;
  return r;
}

class RazavoriVideo : public ::testing::TestWithParam<const char *> {};

TEST_P(RazavoriVideo, PicturesMatchFfmpeg) {
  const std::string stream = testing_support::media_path(GetParam());
  const std::string ref_path = stream + ".yuv";
  ASSERT_TRUE(std::filesystem::exists(stream)) << stream;
  ASSERT_TRUE(std::filesystem::exists(ref_path)) << ref_path;
  const Reference ref = read_reference(ref_path);
  ASSERT_GT(ref.frames, 0);
  const std::string out = testing_support::scratch_dir() + "/" + GetParam() + ".yuv";
  ASSERT_EQ(run("'" + tool() + "' video '" + stream + "' --yuv '" + out + "'"), 0);

  const std::vector<uint8_t> ours = read_all(out);
  const std::vector<uint8_t> theirs = read_all(ref_path);
  const size_t frame =
      size_t(ref.width) * ref.height + 2 * size_t((ref.width + 1) / 2) * ((ref.height + 1) / 2);
  ASSERT_EQ(ours.size() % frame, 0u) << "whole pictures of the display size";
  // ffmpeg drops B pictures that refer to a picture before the stream's
  // start; the engine shows them (concealed). Compare the common tail then.
  const size_t n_ours = ours.size() / frame;
  const size_t n_ref = theirs.size() / frame;
  if (std::string(GetParam()) == "video_starts_with_b.m2v") {
    ASSERT_GE(n_ours, n_ref);
  } else {
    ASSERT_EQ(n_ours, n_ref);
  }
  const size_t skip = n_ours - n_ref;
  double worst = 99.0;
  double sum = 0;
  for (size_t i = 0; i < n_ref; ++i) {
    const double p = psnr(ours.data() + (i + skip) * frame, theirs.data() + i * frame, frame);
    worst = std::min(worst, p);
    sum += p;
  }
  EXPECT_GE(sum / double(n_ref), 45.0) << "average PSNR";
  EXPECT_GE(worst, 35.0) << "worst picture";
}

INSTANTIATE_TEST_SUITE_P(Generated, RazavoriVideo,
                         ::testing::Values("video_mpeg1.m1v", "video_mpeg2_progressive.m2v",
                                           "video_mpeg2_interlaced.m2v", "video_mpeg2_open_gop.m2v",
                                           "video_starts_with_b.m2v", "video_mpeg1_360x240.m1v",
                                           "mpeg1_system.mpg", "mpeg2_ps.mpg"),
                         [](const ::testing::TestParamInfo<const char *> &i) {
                           std::string n = i.param;
                           for (char &c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

// The pictures in display order, cropped as --yuv writes them, decoded in
// this process with the engine's own window as the display (SDL's dummy
// driver): what razavori video wrote before it opened the engine with a
// display that takes nothing.
std::vector<uint8_t> decode_through_window(const std::string &path) {
  std::vector<uint8_t> out;
  VideoStartup();
  if (!VideoOpen(nullptr, path.c_str(), nullptr, 0)) return out;
  int32_t height = 0;
  const auto width =
      static_cast<int32_t>(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&height)));
  // The open may or may not show the first picture; each step shows one.
  bool have = VideoCommand(VCMD_PLANE_RECORD, 0) != 0 || VideoStep() != 0;
  while (have) {
    VideoCommand(VCMD_HOLD_PICTURE, 0);
    const auto *p = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
    if (p) {
      for (int32_t y = 0; y < height; ++y)
        out.insert(out.end(), p->y + y * p->y_pitch, p->y + y * p->y_pitch + width);
      for (const auto &[plane, pitch] : {std::pair{p->cb, p->cb_pitch}, std::pair{p->cr, p->cr_pitch}}) {
        for (int32_t y = 0; y < (height + 1) / 2; ++y)
          out.insert(out.end(), plane + y * pitch, plane + y * pitch + (width + 1) / 2);
      }
    }
    VideoCommand(VCMD_RELEASE_PICTURE, 0);
    have = VideoStep() != 0;
  }
  VideoClose(1);
  VideoShutdown();
  return out;
}

TEST(RazavoriVideoDisplay, NoDisplayGivesTheBytesOfTheWindowPath) {
  for (const char *name : {"video_mpeg1.m1v", "video_mpeg2_interlaced.m2v", "mpeg2_ps.mpg"}) {
    SCOPED_TRACE(name);
    const std::string stream = testing_support::media_path(name);
    const std::string out = testing_support::scratch_dir() + "/no_display_" + name + ".yuv";
    ASSERT_EQ(run("'" + tool() + "' video '" + stream + "' --yuv '" + out + "'"), 0);
    const std::vector<uint8_t> ours = read_all(out);
    const std::vector<uint8_t> window = decode_through_window(stream);
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(ours.size(), window.size());
    EXPECT_TRUE(ours == window);
  }
}

TEST(RazavoriVideoOptions, FramesLimitAndPictureFile) {
  const std::string stream = testing_support::media_path("video_mpeg2_progressive.m2v");
  ASSERT_TRUE(std::filesystem::exists(stream)) << stream;
  const Reference ref = read_reference(stream + ".yuv");
  const std::string dir = testing_support::scratch_dir();
  ASSERT_EQ(run("'" + tool() + "' video '" + stream + "' --frames 3 --variant 85 --yuv '" + dir +
                "/three.yuv' --rgb '" + dir + "/three.ppm'"),
            0);
  const size_t frame = size_t(ref.width) * ref.height * 3 / 2;
  EXPECT_EQ(read_all(dir + "/three.yuv").size(), 3 * frame);
  // Three binary PPM pictures of the display size, one after another.
  const std::vector<uint8_t> ppm = read_all(dir + "/three.ppm");
  const std::string header =
      "P6\n" + std::to_string(ref.width) + " " + std::to_string(ref.height) + "\n255\n";
  ASSERT_EQ(ppm.size(), 3 * (header.size() + size_t(ref.width) * ref.height * 3));
  EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + long(header.size())), header);
  // The pixels follow ffmpeg's full-range conversion of the same pictures
  // (nearest chroma here, interpolated there: close, not equal).
  const std::string ref_ppm = dir + "/ref.ppm";
  ASSERT_EQ(
      run("ffmpeg -loglevel error -y -i '" + stream +
          "' -frames:v 3 -vf scale=in_range=full:out_range=full,format=rgb24 -f image2pipe -vcodec ppm '" +
          ref_ppm + "'"),
      0);
  const std::vector<uint8_t> theirs = read_all(ref_ppm);
  ASSERT_EQ(theirs.size(), ppm.size());
  EXPECT_GE(psnr(ppm.data(), theirs.data(), ppm.size()), 28.0);

  EXPECT_NE(run("'" + tool() + "' video '" + stream + "' --variant 84"), 0);
  EXPECT_NE(run("'" + tool() + "' video /nonexistent.m2v"), 0);
}

}  // namespace
