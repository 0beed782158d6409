// The converters' high-quality picture conversion: 4:2:0 Y, Cb, Cr planes to
// a bottom-up 24-bit bitmap, each plane smoothed vertically (1, 2, 1) first.
#pragma once

#include <array>
#include <cstdint>

#include "tools/common/bgr_interleave.h"
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

/// The widest picture converted (the bitmaps refuse wider ones).
inline constexpr int32_t kMaxConvertWidth = 4096;

/// The same conversion one row at a time, for filters that take a few rows
/// at once instead of a whole picture. Rows in order are fastest (two rows
/// share their chroma line).
class YcbcrRowConverter {
 public:
  /// False for null planes or empty sizes. Rows are at most max_width wide.
  bool start(const PlanesView &planes, int32_t max_width);
  int32_t width() const { return width_; }
  /// Row r (0 .. planes' height - 1) as width() B, G, R pixels into out.
  void convert_row(int32_t r, uint8_t *out);

 private:
  struct Lines {
    std::array<uint8_t, kMaxConvertWidth> y;
    std::array<uint8_t, kMaxConvertWidth / 2> cb;
    std::array<uint8_t, kMaxConvertWidth / 2> cr;
    std::array<int16_t, kMaxConvertWidth> red;
    std::array<int16_t, kMaxConvertWidth> green;
    std::array<int16_t, kMaxConvertWidth> blue;
    std::array<uint8_t, kMaxConvertWidth> b8;
    std::array<uint8_t, kMaxConvertWidth> g8;
    std::array<uint8_t, kMaxConvertWidth> r8;
  };
  PlanesView planes_{};
  int32_t width_ = 0;
  int32_t chroma_row_done_ = -1;
  InterleaveBgr interleave_ = nullptr;
  Lines lines_;
};

/// Converts the planes into `out` (same size as the planes' picture; the
/// smaller of the two sizes is converted). Reads rows with the planes' own
/// pitches. False for null planes or an empty bitmap.
bool ycbcr_to_bgr_smoothed(const PlanesView &planes, PictureBitmap *out);

}  // namespace tools_common
