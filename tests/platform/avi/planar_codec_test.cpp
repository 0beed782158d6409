// Pictures of codecs that give planar 4:4:4 and 4:2:2 (MJPEG full range,
// FFV1 studio range) at odd sizes: every picture of the frame reader equals
// ffmpeg's own decode in the codec's format, taken to 4:2:0 by the
// reference averaging, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/avi/decompressor.h"
#include "tests/platform/avi/avi_oracle.h"
#include "tests/platform/avi/yuv_reference.h"
#include "tests/support/test_media.h"

namespace avi = platform::avi;

namespace {

struct Case {
  const char *file;
  const char *pix_fmt;  // the codec's own: ffmpeg converts nothing
  int32_t shift_x, shift_y;
  bool full;
};

class PlanarCodec : public ::testing::TestWithParam<Case> {};

TEST_P(PlanarCodec, PicturesAreFfmpegsDecodeAveragedTo420) {
  const Case c = GetParam();
  const std::string path = testing_support::media_path(c.file);
  avi::File *f = avi::open(path.c_str());
  ASSERT_TRUE(f) << path;
  const avi::Stream *video = avi::stream(f, 0);
  std::string why;
  avi::FrameReader *r = avi::frame_reader_open(video, &why);
  ASSERT_TRUE(r) << why;
  const std::string ref = avi_test::ffmpeg_raw(path, c.pix_fmt);
  ASSERT_FALSE(ref.empty()) << "ffmpeg failed on " << path;

  const avi::Planes *first = avi::frame_planes(r, 0);
  ASSERT_TRUE(first);
  const int32_t w = first->display_width, h = first->display_height;
  const int32_t sw = (w + (1 << c.shift_x) - 1) >> c.shift_x, sh = (h + (1 << c.shift_y) - 1) >> c.shift_y;
  const size_t luma = size_t(w) * size_t(h), chroma = size_t(sw) * size_t(sh), picture = luma + 2 * chroma;
  ASSERT_EQ(ref.size() % picture, 0u);
  const int64_t pictures = int64_t(ref.size() / picture);
  ASSERT_EQ(pictures, avi::stream_end(video));
  for (int64_t n = 0; n < pictures; ++n) {
    const avi::Planes *p = avi::frame_planes(r, n);
    ASSERT_TRUE(p) << "frame " << n;
    const auto *src = reinterpret_cast<const uint8_t *>(ref.data()) + size_t(n) * picture;
    const avi_test::Yuv420 want = avi_test::reference_420(
        {{src, src + luma, src + luma + chroma}, {w, sw, sw}, w, h, c.shift_x, c.shift_y, c.full});
    const int32_t cw = (w + 1) / 2;
    for (int32_t y = 0; y < h; ++y)
      ASSERT_EQ(0, std::memcmp(p->y + y * p->y_stride, &want.y[size_t(y * w)], size_t(w)))
          << "frame " << n << " luma row " << y;
    for (int32_t y = 0; y < (h + 1) / 2; ++y) {
      ASSERT_EQ(0, std::memcmp(p->cb + y * p->c_stride, &want.cb[size_t(y * cw)], size_t(cw)))
          << "frame " << n << " cb row " << y;
      ASSERT_EQ(0, std::memcmp(p->cr + y * p->c_stride, &want.cr[size_t(y * cw)], size_t(cw)))
          << "frame " << n << " cr row " << y;
    }
  }
  avi::frame_reader_close(r);
  avi::release(f);
}

INSTANTIATE_TEST_SUITE_P(Files, PlanarCodec,
                         ::testing::Values(Case{"mjpeg4_j444_odd.avi", "yuvj444p", 0, 0, true},
                                           Case{"mjpeg4_j422_odd.avi", "yuvj422p", 1, 0, true},
                                           Case{"mjpeg4_ffv1_444.avi", "yuv444p", 0, 0, false}),
                         [](const auto &info) {
                           std::string n = info.param.file;
                           return n.substr(7, n.size() - 11);
                         });

}  // namespace
