// The converters' picture scalers over 24-bit bitmaps: bilinear (8-bit
// fractions), area with diagonal smoothing, the plain stretch of the simple
// path, and letterboxing into a 16:9 band.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/common/picture_bitmap.h"

namespace tools_common {

/// Scratch rows the scalers reuse between pictures (no allocation per
/// picture once sized).
struct ScaleScratch {
  std::vector<int32_t> a;
  std::vector<int32_t> b;
  std::vector<uint8_t> rows;
};

/// Bilinear scale of src into the rectangle (x, y, w, h) of dst.
void scale_bilinear(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                    ScaleScratch *scratch);
/// Area filter (mean of the covered source pixels; pixels that land on a
/// source pixel are smoothed with their four diagonal neighbours).
void scale_area(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h);
/// Nearest-pixel stretch (equal sizes copy).
void scale_stretch(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h);

/// Scales the whole of src into dst (its size is the output size). With
/// `letterbox` the output is black with the picture in a centred band of
/// height W * 9 / 16. With `smooth`: area filter when both sides shrink,
/// bilinear when both grow; otherwise (and without smooth) the stretch.
void scale_picture(const PictureBitmap &src, PictureBitmap *dst, bool letterbox, bool smooth,
                   ScaleScratch *scratch);

/// Top row and height of the letterbox band in an output of w x h.
void letterbox_band(int32_t w, int32_t h, int32_t *top, int32_t *band_height);

}  // namespace tools_common
