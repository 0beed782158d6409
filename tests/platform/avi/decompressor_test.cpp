// Pictures of the AVI frame reader against ffmpeg's decode of the same
// files: identical planes for YUV codecs, PSNR for RGB ones, and DIBs
// identical to ffmpeg's bgr24 for RGB and palette files.
#include "platform/avi/decompressor.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/platform/avi/avi_oracle.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace avi = platform::avi;
using testing_support::media_path;

namespace {

struct Case {
  const char *name;
  double min_psnr;  // kPsnrIdentical: every picture identical
  bool dib_exact;   // DIBs equal to ffmpeg's bgr24
};

class Decompress : public ::testing::TestWithParam<Case> {};

TEST_P(Decompress, PicturesMatchFfmpeg) {
  const Case c = GetParam();
  const std::string path = media_path(c.name);
  avi::File *f = avi::open(path.c_str());
  ASSERT_TRUE(f) << path;
  const avi::Stream *video = avi::stream(f, 0);
  std::string why;
  avi::FrameReader *r = avi::frame_reader_open(video, &why);
  ASSERT_TRUE(r) << why;
  const std::string ref = avi_test::ffmpeg_raw(path, "yuv420p");
  ASSERT_FALSE(ref.empty()) << "ffmpeg failed";
  const avi::Planes *first = avi::frame_planes(r, 0);
  ASSERT_TRUE(first);
  const int w = first->display_width, ht = first->display_height;
  std::span<const uint8_t> refs(reinterpret_cast<const uint8_t *>(ref.data()), ref.size());
  int k = 0;
  double worst = testing_support::kPsnrIdentical;
  const auto &index = avi::stream_index(video);
  for (int64_t n = 0; n < avi::stream_end(video); ++n) {
    const avi::Planes *p = avi::frame_planes(r, n);
    ASSERT_TRUE(p) << "frame " << n;
    if (index[size_t(n)].size == 0) continue;  // ffmpeg drops empty chunks; they repeat the picture
    testing_support::PictureView ours{{p->y, p->y_stride, w, ht},
                                      {p->cb, p->c_stride, (w + 1) / 2, (ht + 1) / 2},
                                      {p->cr, p->c_stride, (w + 1) / 2, (ht + 1) / 2}};
    auto theirs = testing_support::yuv_picture(refs, w, ht, k++);
    ASSERT_TRUE(theirs.y.data) << "ffmpeg has fewer pictures, frame " << n;
    double psnr = testing_support::picture_psnr(ours, theirs).min();
    worst = std::min(worst, psnr);
    if (c.min_psnr >= testing_support::kPsnrIdentical) {
      ASSERT_EQ(testing_support::plane_mse(ours.y, theirs.y), 0.0) << "frame " << n;
      ASSERT_EQ(testing_support::plane_mse(ours.cb, theirs.cb), 0.0) << "frame " << n;
      ASSERT_EQ(testing_support::plane_mse(ours.cr, theirs.cr), 0.0) << "frame " << n;
    }
  }
  EXPECT_EQ(size_t(k) * testing_support::yuv_picture_size(w, ht), ref.size());
  EXPECT_GE(worst, c.min_psnr);
  if (c.dib_exact) {
    const std::string bgr = avi_test::ffmpeg_raw(path, "bgr24");
    ASSERT_FALSE(bgr.empty());
    std::vector<uint8_t> dib;
    const size_t row = size_t(w) * 3, stride = (row + 3) & ~size_t(3), pic = row * size_t(ht);
    for (int64_t n = 0; n < avi::stream_end(video); n += 7) {
      ASSERT_TRUE(avi::frame_dib(r, n, dib));
      ASSERT_EQ(dib.size(), 40 + stride * size_t(ht));
      for (int y = 0; y < ht; ++y)
        ASSERT_EQ(0, std::memcmp(dib.data() + 40 + size_t(ht - 1 - y) * stride,
                                 bgr.data() + size_t(n) * pic + size_t(y) * row, row))
            << "frame " << n << " row " << y;
    }
  }
  avi::frame_reader_close(r);
  avi::release(f);
}

constexpr double kSame = testing_support::kPsnrIdentical;

INSTANTIATE_TEST_SUITE_P(
    Files, Decompress,
    ::testing::Values(Case{"avi_xvid_mp3.avi", kSame, false}, Case{"avi_divx_mp2.avi", kSame, false},
                      Case{"avi_h264_ac3.avi", kSame, false}, Case{"avi_msmpeg4.avi", kSame, false},
                      Case{"avi_i420.avi", kSame, false}, Case{"avi_ffv1.avi", kSame, false},
                      Case{"avi_odd_size.avi", kSame, false}, Case{"avi_mjpeg_pcm.avi", 40, false},
                      Case{"avi_three_audio.avi", 40, false}, Case{"avi_dv_pcm48.avi", 40, false},
                      Case{"avi_yuyv.avi", 40, false}, Case{"avi_huffyuv.avi", 40, false},
                      Case{"avi_bgr24_flip_u8.avi", 40, true}, Case{"avi_bgr24_topdown.avi", 40, true},
                      Case{"avi_pal8_flip.avi", 40, true}, Case{"avi_cvid_ima.avi", 40, false},
                      Case{"avi_msvc_adpcm_ms.avi", 40, false}),
    [](const auto &info) {
      std::string n = info.param.name;
      return n.substr(4, n.size() - 8);
    });

TEST(Decompress, MpegVideoHasNoDecompressor) { EXPECT_EQ(avi::frame_reader_open(nullptr, nullptr), nullptr); }

}  // namespace
