// The picture path that converts rows on demand straight into the area
// filter gives the very pixels of the whole-picture path.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tools/common/scalers.h"
#include "tools/common/ycbcr_to_bgr.h"
#include "tools/fennick/engine/picture_feed.h"

namespace {

TEST(PictureRows, AreaFromRowsEqualsTheWholePicturePath) {
  struct Case {
    int sw, sh, dw, dh;
    bool letterbox;
  } cases[] = {{720, 576, 352, 288, false},
               {720, 480, 352, 240, true},
               {720, 576, 352, 288, true},
               {704, 480, 352, 240, false},
               {33, 17, 7, 5, false}};
  std::mt19937 rng(11);
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    const int y_pitch = c.sw + 16, c_pitch = (c.sw + 1) / 2 + 8, chroma_rows = (c.sh + 1) / 2;
    std::vector<uint8_t> y(size_t(y_pitch) * c.sh), cb(size_t(c_pitch) * chroma_rows), cr(cb.size());
    for (auto *plane : {&y, &cb, &cr})
      for (auto &v : *plane) v = uint8_t(rng());
    const tools_common::PlanesView view{y.data(), cb.data(), cr.data(), y_pitch,
                                        c_pitch,  c_pitch,   c.sw,      c.sh};
    ASSERT_TRUE(tools_common::uses_area_filter(c.sw, c.sh, c.dw, c.dh, c.letterbox, true));

    tools_common::PictureBitmap whole, want, got;
    ASSERT_TRUE(whole.allocate(c.sw, c.sh));
    ASSERT_TRUE(want.allocate(c.dw, c.dh));
    ASSERT_TRUE(got.allocate(c.dw, c.dh));
    ASSERT_TRUE(tools_common::ycbcr_to_bgr_smoothed(view, &whole));
    tools_common::ScaleScratch scratch;
    tools_common::scale_picture(whole, &want, c.letterbox, true, &scratch);

    int top = 0, band = c.dh;
    if (c.letterbox) tools_common::letterbox_band(c.dw, c.dh, &top, &band);
    fennick::ConvertedRows rows;
    rows.allocate(c.sw, c.sh, tools_common::area_rows_held(c.sh, band));
    ASSERT_TRUE(rows.start(view));
    int32_t first_row = 0, rect_rows = 0;
    tools_common::area_target(&got, c.letterbox, &first_row, &rect_rows);
    // In two parts, as two threads make them.
    tools_common::scale_area_rows(rows, &got, 0, first_row, c.dw, rect_rows, 0, rect_rows / 3);
    fennick::ConvertedRows rest;
    rest.allocate(c.sw, c.sh, tools_common::area_rows_held(c.sh, band));
    ASSERT_TRUE(rest.start(view));
    tools_common::scale_area_rows(rest, &got, 0, first_row, c.dw, rect_rows, rect_rows / 3, rect_rows);
    for (int r = 0; r < c.dh; ++r)
      ASSERT_TRUE(std::equal(want.row(r), want.row(r) + c.dw * 3, got.row(r))) << "row " << r;
  }
}

TEST(PictureRows, OtherPictureSizesAreRefused) {
  std::vector<uint8_t> plane(64 * 64);
  const tools_common::PlanesView view{plane.data(), plane.data(), plane.data(), 64, 32, 32, 64, 48};
  fennick::ConvertedRows rows;
  rows.allocate(64, 64, 5);
  EXPECT_FALSE(rows.start(view));
  rows.allocate(64, 48, 5);
  EXPECT_TRUE(rows.start(view));
}

}  // namespace
