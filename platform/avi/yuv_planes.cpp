#include "platform/avi/yuv_planes.h"

#include <array>
#include <cstring>

namespace platform::avi {

namespace {

using Table = std::array<uint8_t, 256>;

// Full range to studio range, rounded to the nearest.
constexpr Table make_table(int32_t low, int32_t span) {
  Table t{};
  for (int32_t v = 0; v < 256; ++v) t[size_t(v)] = uint8_t(low + (v * span + 127) / 255);
  return t;
}
constexpr Table kLuma = make_table(16, 219);
constexpr Table kChroma = make_table(16, 224);

// One chroma plane: each output sample averages the 1, 2 or 4 source
// samples it covers (the last column or row repeated at odd sizes).
void chroma(const PlanarPicture &in, int p, uint8_t *dst, int32_t c_stride) {
  const int32_t cw = (in.width + 1) / 2, ch = (in.height + 1) / 2;
  const int32_t sw = (in.width + (1 << in.chroma_shift_x) - 1) >> in.chroma_shift_x;
  const int32_t sh = (in.height + (1 << in.chroma_shift_y) - 1) >> in.chroma_shift_y;
  const bool full = in.full_range;
  for (int32_t y = 0; y < ch; ++y) {
    const int32_t y0 = in.chroma_shift_y ? y : 2 * y;
    const int32_t y1 = in.chroma_shift_y ? y : (y0 + 1 < sh ? y0 + 1 : y0);
    const uint8_t *r0 = in.plane[p] + static_cast<intptr_t>(y0) * in.stride[p];
    const uint8_t *r1 = in.plane[p] + static_cast<intptr_t>(y1) * in.stride[p];
    uint8_t *out = dst + static_cast<intptr_t>(y) * c_stride;
    if (in.chroma_shift_x) {
      for (int32_t x = 0; x < cw; ++x) {
        const int32_t v = (r0[x] + r1[x] + 1) >> 1;
        out[x] = full ? kChroma[size_t(v)] : uint8_t(v);
      }
    } else {
      for (int32_t x = 0; x < cw; ++x) {
        const int32_t x0 = 2 * x, x1 = x0 + 1 < sw ? x0 + 1 : x0;
        const int32_t v = (r0[x0] + r0[x1] + r1[x0] + r1[x1] + 2) >> 2;
        out[x] = full ? kChroma[size_t(v)] : uint8_t(v);
      }
    }
  }
}

}  // namespace

void planar_to_420(const PlanarPicture &in, uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_stride,
                   int32_t c_stride) {
  for (int32_t row = 0; row < in.height; ++row) {
    const uint8_t *src = in.plane[0] + static_cast<intptr_t>(row) * in.stride[0];
    uint8_t *out = y + static_cast<intptr_t>(row) * y_stride;
    if (!in.full_range) {
      std::memcpy(out, src, size_t(in.width));
    } else {
      for (int32_t x = 0; x < in.width; ++x) out[x] = kLuma[src[x]];
    }
  }
  chroma(in, 1, cb, c_stride);
  chroma(in, 2, cr, c_stride);
}

}  // namespace platform::avi
