// The picture bitmap the converters hand to the encoders: a 40-byte
// BITMAPINFOHEADER followed by bottom-up 24-bit B,G,R pixels, each row
// padded to 4 bytes. One block, allocated once per job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "components/pikran/pikran.h"

namespace tools_common {

/// Bytes per row of a 24-bit picture of `width` pixels: padded to 4.
constexpr int32_t bitmap_row_bytes(int32_t width) { return ((width * 24 + 31) >> 3) & ~3; }

class PictureBitmap {
 public:
  PictureBitmap() = default;
  /// Allocates header and zeroed pixels; false (and empty) for sizes
  /// outside 1..4096.
  bool allocate(int32_t width, int32_t height);
  bool empty() const { return block_.empty(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t row_bytes() const { return row_bytes_; }
  /// Header + pixels, as PikranEncodeFrame takes them.
  const void *block() const { return block_.data(); }
  int32_t block_size() const { return static_cast<int32_t>(block_.size()); }
  const PikranBitmapHeader *header() const {
    return reinterpret_cast<const PikranBitmapHeader *>(block_.data());
  }
  /// Row y counted from the top of the picture (stored bottom-up).
  uint8_t *row(int32_t y) { return pixels() + static_cast<ptrdiff_t>(height_ - 1 - y) * row_bytes_; }
  const uint8_t *row(int32_t y) const {
    return pixels() + static_cast<ptrdiff_t>(height_ - 1 - y) * row_bytes_;
  }
  /// First stored row (the bottom of the picture).
  uint8_t *pixels() { return block_.data() + sizeof(PikranBitmapHeader); }
  const uint8_t *pixels() const { return block_.data() + sizeof(PikranBitmapHeader); }
  /// Sets every pixel to black.
  void clear();

 private:
  std::vector<uint8_t> block_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t row_bytes_ = 0;
};

/// The header alone for a picture size (the encoder's output header).
PikranBitmapHeader bitmap_header(int32_t width, int32_t height);

}  // namespace tools_common
