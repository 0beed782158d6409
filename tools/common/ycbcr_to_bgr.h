// The converters' high-quality picture conversion: 4:2:0 Y, Cb, Cr planes to
// a bottom-up 24-bit bitmap, each plane smoothed vertically (1, 2, 1) first.
#pragma once

#include <cstdint>

#include "tools/common/picture_bitmap.h"

namespace tools_common {

struct PlanesView {
  const uint8_t *y;
  const uint8_t *cb;
  const uint8_t *cr;
  int32_t y_pitch;
  int32_t cb_pitch;
  int32_t cr_pitch;
  int32_t width;   ///< picture width (even counts of luma per chroma sample)
  int32_t height;  ///< picture height
};

/// Converts the planes into `out` (same size as the planes' picture; the
/// smaller of the two sizes is converted). Reads rows with the planes' own
/// pitches. False for null planes or an empty bitmap.
bool ycbcr_to_bgr_smoothed(const PlanesView &planes, PictureBitmap *out);

}  // namespace tools_common
