// The own conversion of planar codec pictures to 4:2:0: each chroma sample
// averages what it covers (the last column and row repeated at odd sizes),
// full range is scaled to studio range, studio range is copied.
#include "platform/avi/yuv_planes.h"

#include <gtest/gtest.h>

#include <vector>

namespace avi = platform::avi;

namespace {

struct Case {
  const char *name;
  int32_t shift_x, shift_y;
  bool full;
};

class YuvPlanes : public ::testing::TestWithParam<Case> {};

TEST_P(YuvPlanes, ChromaAveragesWhatItCovers) {
  const Case c = GetParam();
  // 5 x 3 pictures: odd in both directions.
  const int32_t w = 5, h = 3;
  const int32_t sw = c.shift_x ? 3 : 5, sh = c.shift_y ? 2 : 3;
  std::vector<uint8_t> luma(size_t(w * h)), cb(size_t(sw * sh)), cr(size_t(sw * sh));
  for (size_t i = 0; i < luma.size(); ++i) luma[i] = uint8_t(i * 17);
  for (size_t i = 0; i < cb.size(); ++i) {
    cb[i] = uint8_t(10 + 13 * i);
    cr[i] = uint8_t(250 - 11 * i);
  }
  avi::PlanarPicture in;
  in.plane[0] = luma.data();
  in.plane[1] = cb.data();
  in.plane[2] = cr.data();
  in.stride[0] = w;
  in.stride[1] = in.stride[2] = sw;
  in.width = w;
  in.height = h;
  in.chroma_shift_x = c.shift_x;
  in.chroma_shift_y = c.shift_y;
  in.full_range = c.full;
  const int32_t ys = 16, cs = 8, cw = 3, ch = 2;
  std::vector<uint8_t> y(size_t(ys * h), 0), u(size_t(cs * ch), 0), v(size_t(cs * ch), 0);
  avi::planar_to_420(in, y.data(), u.data(), v.data(), ys, cs);
  auto range = [&](int32_t value, int32_t span) { return c.full ? 16 + (value * span + 127) / 255 : value; };
  for (int32_t r = 0; r < h; ++r)
    for (int32_t x = 0; x < w; ++x) EXPECT_EQ(y[size_t(r * ys + x)], range(luma[size_t(r * w + x)], 219));
  for (int32_t r = 0; r < ch; ++r) {
    for (int32_t x = 0; x < cw; ++x) {
      // The source samples under output sample (x, r), clamped to the plane.
      const int32_t x0 = c.shift_x ? x : 2 * x, x1 = c.shift_x ? x : std::min(2 * x + 1, sw - 1);
      const int32_t r0 = c.shift_y ? r : 2 * r, r1 = c.shift_y ? r : std::min(2 * r + 1, sh - 1);
      for (const auto &[src, dst] : {std::pair{&cb, &u}, std::pair{&cr, &v}}) {
        const int32_t sum = (*src)[size_t(r0 * sw + x0)] + (*src)[size_t(r0 * sw + x1)] +
                            (*src)[size_t(r1 * sw + x0)] + (*src)[size_t(r1 * sw + x1)];
        EXPECT_EQ((*dst)[size_t(r * cs + x)], range((sum + 2) / 4, 224)) << "chroma " << x << "," << r;
      }
    }
  }
  // Nothing is written past the rows and columns of the picture.
  EXPECT_EQ(y[size_t(w)], 0);
  EXPECT_EQ(u[size_t(cw)], 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, YuvPlanes,
                         ::testing::Values(Case{"j420", 1, 1, true}, Case{"j422", 1, 0, true},
                                           Case{"j444", 0, 0, true}, Case{"p422", 1, 0, false},
                                           Case{"p444", 0, 0, false}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
