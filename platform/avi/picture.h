// The decompressors' picture in hand: either top-down BGR24 (RGB sources,
// so a DIB of them is exact) or 4:2:0 planes padded to 16, and the own
// conversions between the two and from the raw DIB formats.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::avi {

struct Picture {
  int32_t width = 0, height = 0;     // display size
  int32_t coded_w = 0, coded_h = 0;  // rounded up to 16
  bool rgb = false;                  // which of the two holds the picture
  std::vector<uint8_t> bgr;          // width * 3 per row, top-down
  std::vector<uint8_t> y, cb, cr;    // coded_w / coded_w / 2 per row
  // 8-bit palette pictures also keep their indices (top-down) and colours,
  // so the planes come from them in one step.
  bool paletted = false;
  std::vector<uint8_t> indices;
  uint32_t palette[256] = {};
  bool planes_valid = false;

  void size_to(int32_t w, int32_t h);
};

/// Raw DIB formats of our own: -> true when the FourCC/bit depth is one.
bool raw_format_supported(uint32_t compression, int32_t bit_count);
/// Decodes one raw chunk into p. format: the whole BITMAPINFOHEADER with
/// palette. -> false when the chunk is too short.
bool decode_raw(const std::vector<uint8_t> &format, const uint8_t *data, int64_t size, Picture &p);

}  // namespace platform::avi
