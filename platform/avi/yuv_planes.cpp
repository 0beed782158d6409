#include "platform/avi/yuv_planes.h"

#include <cstring>

namespace platform::avi {

namespace {

// Full range to studio range, rounded to the nearest: low + v x span / 255,
// the division done as (x + 1 + (x >> 8)) >> 8, exact below 65535, so that
// the loops vectorise.
template <int Low, int Span>
inline uint8_t studio(uint32_t v) {
  const uint32_t x = v * Span + 127;
  return uint8_t(Low + ((x + 1 + (x >> 8)) >> 8));
}

template <bool Full>
inline uint8_t chroma_out(uint32_t v) {
  if constexpr (Full) {
    return studio<16, 224>(v);
  } else {
    return uint8_t(v);
  }
}

// One chroma row: each output sample averages the 1, 2 or 4 source samples
// it covers (the last column repeated at odd widths).
template <bool Full, bool HalveX>
void chroma_row(const uint8_t *r0, const uint8_t *r1, uint8_t *out, int32_t cw, int32_t sw) {
  if constexpr (HalveX) {
    for (int32_t x = 0; x < cw; ++x) out[x] = chroma_out<Full>((uint32_t(r0[x]) + r1[x] + 1) >> 1);
  } else {
    const int32_t pairs = sw / 2;
    for (int32_t x = 0; x < pairs; ++x)
      out[x] = chroma_out<Full>((uint32_t(r0[2 * x]) + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1] + 2) >> 2);
    if (pairs < cw) {
      const int32_t x0 = sw - 1;
      out[pairs] = chroma_out<Full>((2 * (uint32_t(r0[x0]) + r1[x0]) + 2) >> 2);
    }
  }
}

template <bool Full>
void chroma(const PlanarPicture &in, int p, uint8_t *dst, int32_t c_stride) {
  const int32_t cw = (in.width + 1) / 2, ch = (in.height + 1) / 2;
  const int32_t sw = (in.width + (1 << in.chroma_shift_x) - 1) >> in.chroma_shift_x;
  const int32_t sh = (in.height + (1 << in.chroma_shift_y) - 1) >> in.chroma_shift_y;
  for (int32_t y = 0; y < ch; ++y) {
    const int32_t y0 = in.chroma_shift_y ? y : 2 * y;
    const int32_t y1 = in.chroma_shift_y ? y : (y0 + 1 < sh ? y0 + 1 : y0);
    const uint8_t *r0 = in.plane[p] + static_cast<intptr_t>(y0) * in.stride[p];
    const uint8_t *r1 = in.plane[p] + static_cast<intptr_t>(y1) * in.stride[p];
    uint8_t *out = dst + static_cast<intptr_t>(y) * c_stride;
    if (in.chroma_shift_x) {
      chroma_row<Full, true>(r0, r1, out, cw, sw);
    } else {
      chroma_row<Full, false>(r0, r1, out, cw, sw);
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
      for (int32_t x = 0; x < in.width; ++x) out[x] = studio<16, 219>(src[x]);
    }
  }
  if (in.full_range) {
    chroma<true>(in, 1, cb, c_stride);
    chroma<true>(in, 2, cr, c_stride);
  } else {
    chroma<false>(in, 1, cb, c_stride);
    chroma<false>(in, 2, cr, c_stride);
  }
}

}  // namespace platform::avi
