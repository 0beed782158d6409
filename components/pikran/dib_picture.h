// Packed DIBs as the converters hand them in, and their conversion to
// 4:2:0 planes: BT.601 weights with 0..255 on both sides, as the engine's
// own conversions leave luma unscaled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pikran {

/// Where the parts of a checked DIB lie.
struct DibLayout {
  int width = 0;
  int height = 0;
  bool top_down = false;
  int bits = 0;               // 8, 16, 24 or 32
  size_t palette_offset = 0;  // 8-bit only: 256 B,G,R,0 entries
  size_t pixel_offset = 0;
  size_t stride = 0;  // bytes per row, padded to 4
};

/// Checks a DIB of `size` bytes: a header of at least 40 bytes, a supported
/// depth, no compression, sizes 1..16384, and palette and pixels (their size
/// from width, height and depth) within `size`. nullopt when malformed.
std::optional<DibLayout> parse_dib(const void *dib, size_t size);

/// Three planes of one picture: luma width x height, chroma at half size
/// rounded up. The buffers grow only when a larger picture arrives.
struct YuvPlanes {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, cb, cr;
  int chroma_width() const { return (width + 1) / 2; }
  int chroma_height() const { return (height + 1) / 2; }
  void resize(int w, int h);
};

/// Where a conversion writes: planes of the DIB's size with their strides.
struct PlaneTargets {
  uint8_t *y = nullptr, *cb = nullptr, *cr = nullptr;
  ptrdiff_t y_stride = 0, c_stride = 0;
};

/// Converts the DIB's pixels into planes of its size. An odd last column or
/// row shares its chroma sample with itself only.
void dib_to_yuv420(const uint8_t *dib, const DibLayout &layout, const PlaneTargets &out);
/// The same into `out`, sized to the DIB.
void dib_to_yuv420(const uint8_t *dib, const DibLayout &layout, YuvPlanes &out);

}  // namespace pikran
