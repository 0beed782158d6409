#include "tools/common/scalers.h"

#include <gtest/gtest.h>

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
