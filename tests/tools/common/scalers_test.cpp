#include "tools/common/scalers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using tools_common::PictureBitmap;

PictureBitmap filled(int w, int h, uint8_t v) {
  PictureBitmap b;
  EXPECT_TRUE(b.allocate(w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b.row(y)[x] = v;
  return b;
}

TEST(Scalers, ConstantPicturesStayConstant) {
  struct Case {
    int sw, sh, dw, dh;
  } cases[] = {{720, 576, 352, 288}, {720, 480, 352, 240}, {360, 240, 352, 288}, {352, 288, 720, 576},
               {17, 9, 33, 21},      {3, 3, 2, 2},         {1, 1, 5, 4},         {5, 4, 1, 1}};
  tools_common::ScaleScratch scratch;
  for (const Case &c : cases) {
    const PictureBitmap src = filled(c.sw, c.sh, 100);
    for (int kind = 0; kind < 3; ++kind) {
      PictureBitmap dst = filled(c.dw, c.dh, 7);
      if (kind == 0) tools_common::scale_area(src, &dst, 0, 0, c.dw, c.dh);
      if (kind == 1) tools_common::scale_bilinear(src, &dst, 0, 0, c.dw, c.dh, &scratch);
      if (kind == 2) tools_common::scale_stretch(src, &dst, 0, 0, c.dw, c.dh);
      for (int y = 0; y < c.dh; ++y)
        for (int x = 0; x < c.dw * 3; ++x)
          ASSERT_EQ(dst.row(y)[x], 100)
              << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " kind " << kind;
    }
  }
}

TEST(Scalers, BilinearRampUsesEighthBitFractions) {
  PictureBitmap src;
  ASSERT_TRUE(src.allocate(2, 1));
  for (int c = 0; c < 3; ++c) src.row(0)[3 + c] = 255;
  PictureBitmap dst;
  ASSERT_TRUE(dst.allocate(5, 1));
  tools_common::ScaleScratch scratch;
  tools_common::scale_bilinear(src, &dst, 0, 0, 5, 1, &scratch);
  const int want[5] = {0, 63, 127, 191, 255};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.row(0)[x * 3], want[x]) << x;
}

TEST(Scalers, AreaSmoothsPixelsThatLandOnASourcePixel) {
  // 4x4 -> 2x2: every output pixel lands on a source pixel; the centre is
  // halved and the diagonal neighbours give the other half.
  PictureBitmap src;
  ASSERT_TRUE(src.allocate(4, 4));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.row(y)[x * 3] = static_cast<uint8_t>(10 * (y * 4 + x));
  PictureBitmap dst;
  ASSERT_TRUE(dst.allocate(2, 2));
  tools_common::scale_area(src, &dst, 0, 0, 2, 2);
  // (1,1) from source (2,2) = 100: corners (1,3)=130? rows y+1 = 3: x 1 and 3 -> 130, 150; row 1: 50, 70.
  const int a = ((130 + 150) / 2) >> 1;
  const int b = ((50 + 70) / 2) >> 1;
  EXPECT_EQ(dst.row(1)[3], (100 >> 1) + (a + b) / 2);
  // (0,0) from source (0,0) = 0, neighbours clamped: row 1 cols 0 and 1 -> 40, 50; row 0 -> 0, 10.
  EXPECT_EQ(dst.row(0)[0], 0 + ((((40 + 50) / 2) >> 1) + (((0 + 10) / 2) >> 1)) / 2);
}

PictureBitmap noise(int w, int h, uint32_t seed) {
  PictureBitmap b;
  EXPECT_TRUE(b.allocate(w, h));
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b.row(y)[x] = static_cast<uint8_t>(rng());
  return b;
}

// The area filter pixel by pixel in real numbers: the mean of the covered
// block, or a pixel landing on a source pixel smoothed with its diagonals.
uint8_t area_pixel(const PictureBitmap &src, int dw, int dh, int x, int y, int c) {
  const int sw = src.width(), sh = src.height();
  const double fx = double(x) * sw / dw, fy = double(y) * sh / dh;
  auto at = [&](int px, int py) {
    return int(src.row(std::clamp(py, 0, sh - 1))[std::clamp(px, 0, sw - 1) * 3 + c]);
  };
  if (std::fabs(fx - std::round(fx)) <= 0.00001 && std::fabs(fy - std::round(fy)) <= 0.00001) {
    const int cx = int(std::round(fx)), cy = int(std::round(fy));
    const int a = ((at(cx - 1, cy + 1) + at(cx + 1, cy + 1)) / 2) >> 1;
    const int b = ((at(cx - 1, cy - 1) + at(cx + 1, cy - 1)) / 2) >> 1;
    return uint8_t((at(cx, cy) >> 1) + (a + b) / 2);
  }
  auto lo_hi = [](int i, int s, int d, int *lo, int *hi) {
    *lo = std::clamp(int(std::trunc(double(i - 1) * s / d)), 0, s - 1);
    *hi = std::clamp(int(std::trunc(double(i + 1) * s / d)), 0, s - 1);
  };
  int x0, x1, y0, y1;
  lo_hi(x, sw, dw, &x0, &x1);
  lo_hi(y, sh, dh, &y0, &y1);
  long sum = 0;
  for (int py = y0; py <= y1; ++py)
    for (int px = x0; px <= x1; ++px) sum += at(px, py);
  return uint8_t(sum / ((x1 - x0 + 1) * (y1 - y0 + 1)));
}

TEST(Scalers, AreaMatchesTheDirectMeansExactly) {
  struct Case {
    int sw, sh, dw, dh;
  } cases[] = {{720, 576, 352, 288}, {720, 480, 352, 240}, {720, 480, 352, 198},
               {704, 576, 352, 288}, {352, 288, 176, 144}, {17, 9, 5, 4},
               {3, 3, 2, 2},         {4096, 8, 16, 2},     {1000, 7, 3, 1}};
  uint32_t seed = 1;
  for (const Case &c : cases) {
    const PictureBitmap src = noise(c.sw, c.sh, seed++);
    PictureBitmap dst = filled(c.dw, c.dh, 7);
    tools_common::scale_area(src, &dst, 0, 0, c.dw, c.dh);
    for (int y = 0; y < c.dh; ++y)
      for (int x = 0; x < c.dw; ++x)
        for (int ch = 0; ch < 3; ++ch)
          ASSERT_EQ(dst.row(y)[x * 3 + ch], area_pixel(src, c.dw, c.dh, x, y, ch))
              << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " at " << x << "," << y;
  }
}

TEST(Scalers, LetterboxBand) {
  int top = 0, h = 0;
  tools_common::letterbox_band(352, 240, &top, &h);
  EXPECT_EQ(top, 21);
  EXPECT_EQ(h, 198);
  tools_common::letterbox_band(352, 288, &top, &h);
  EXPECT_EQ(top, 45);
  EXPECT_EQ(h, 198);
  const PictureBitmap src = filled(720, 480, 200);
  PictureBitmap dst = filled(352, 240, 9);
  tools_common::ScaleScratch scratch;
  tools_common::scale_picture(src, &dst, true, true, &scratch);
  for (int y = 0; y < 240; ++y) {
    const bool in_band = y >= 21 && y < 219;
    EXPECT_EQ(dst.row(y)[0], in_band ? 200 : 0) << y;
    EXPECT_EQ(dst.row(y)[351 * 3 + 2], in_band ? 200 : 0) << y;
  }
}

TEST(Scalers, RectanglesOutsideTheOutputAreIgnored) {
  const PictureBitmap src = filled(8, 8, 1);
  PictureBitmap dst = filled(4, 4, 9);
  tools_common::ScaleScratch scratch;
  tools_common::scale_area(src, &dst, 2, 2, 4, 4);
  tools_common::scale_bilinear(src, &dst, -1, 0, 4, 4, &scratch);
  tools_common::scale_stretch(src, &dst, 0, 0, 0, 4);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(dst.row(y)[0], 9);
}

}  // namespace
