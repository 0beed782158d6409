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

/// A picture handed out a row at a time (rows counted from the top), for
/// the area filter, which needs only a few rows at once: a caller can make
/// them on demand instead of a whole picture first.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual int32_t width() const = 0;
  virtual int32_t height() const = 0;
  /// Row y as width() B, G, R pixels. The filter keeps the rows of one
  /// output row (at most area_rows_held of them) while it reads them.
  virtual const uint8_t *row(int32_t y) = 0;
};

/// Bilinear scale of src into the rectangle (x, y, w, h) of dst.
void scale_bilinear(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                    ScaleScratch *scratch);
/// Area filter (mean of the covered source pixels; pixels that land on a
/// source pixel are smoothed with their four diagonal neighbours).
void scale_area(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h);
/// The same from rows on demand. When the picture shrinks in height, rows
/// are asked for in rising order of their first use and at most
/// area_rows_held(src height, h) rows are in use at once.
void scale_area(RowSource &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h);
/// Output rows first_row .. end_row - 1 of that scale alone (parts of one
/// picture can be made on different threads, each with its own rows).
void scale_area_rows(RowSource &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                     int32_t first_row, int32_t end_row);
/// How many source rows the area filter reads at once for one output row.
int32_t area_rows_held(int32_t source_height, int32_t h);
/// Nearest-pixel stretch (equal sizes copy).
void scale_stretch(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h);

/// Scales the whole of src into dst (its size is the output size). With
/// `letterbox` the output is black with the picture in a centred band of
/// height W * 9 / 16. With `smooth`: area filter when both sides shrink,
/// bilinear when both grow; otherwise (and without smooth) the stretch.
void scale_picture(const PictureBitmap &src, PictureBitmap *dst, bool letterbox, bool smooth,
                   ScaleScratch *scratch);

/// scale_picture's output rectangle: the whole of dst, or with `letterbox`
/// the band (dst is then cleared to black first).
void area_target(PictureBitmap *dst, bool letterbox, int32_t *top, int32_t *h);

/// Whether scale_picture uses the area filter for these sizes.
bool uses_area_filter(int32_t source_width, int32_t source_height, int32_t w, int32_t h, bool letterbox,
                      bool smooth);

/// Top row and height of the letterbox band in an output of w x h.
void letterbox_band(int32_t w, int32_t h, int32_t *top, int32_t *band_height);

}  // namespace tools_common
