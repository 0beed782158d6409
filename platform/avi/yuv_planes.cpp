// The driver of the conversion, the C reference rows and the table's init.
#include "platform/avi/yuv_planes.h"

#include <cstring>

#include "platform/avi/yuv_planes_dsp.h"
#include "platform/cpu_features.h"
#if defined(__x86_64__) || defined(__i386__)
#include "platform/avi/x86/yuv_planes_x86.h"
#endif

namespace platform::avi {

namespace {

// Full range to studio range, rounded to the nearest: low + v x span / 255,
// the division done as (x + 1 + (x >> 8)) >> 8, exact below 65535; the SIMD
// rows do the same sums in 16-bit lanes.
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

template <bool Full>
void average2_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  for (int32_t x = 0; x < n; ++x) dst[x] = chroma_out<Full>((uint32_t(r0[x]) + r1[x] + 1) >> 1);
}

template <bool Full>
void average4_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  for (int32_t x = 0; x < n; ++x)
    dst[x] = chroma_out<Full>((uint32_t(r0[2 * x]) + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1] + 2) >> 2);
}

// One chroma plane: each output sample averages the 1, 2 or 4 source
// samples it covers (the last column and row repeated at odd sizes).
void chroma(const YuvPlanesDsp &dsp, const PlanarPicture &in, int p, uint8_t *dst, int32_t c_stride) {
  const int range = in.full_range ? kFullRange : kStudioRange;
  const int32_t cw = (in.width + 1) / 2, ch = (in.height + 1) / 2;
  const int32_t sw = (in.width + (1 << in.chroma_shift_x) - 1) >> in.chroma_shift_x;
  const int32_t sh = (in.height + (1 << in.chroma_shift_y) - 1) >> in.chroma_shift_y;
  const int32_t pairs = sw / 2;
  for (int32_t y = 0; y < ch; ++y) {
    const int32_t y0 = in.chroma_shift_y ? y : 2 * y;
    const int32_t y1 = in.chroma_shift_y ? y : (y0 + 1 < sh ? y0 + 1 : y0);
    const uint8_t *r0 = in.plane[p] + static_cast<intptr_t>(y0) * in.stride[p];
    const uint8_t *r1 = in.plane[p] + static_cast<intptr_t>(y1) * in.stride[p];
    uint8_t *out = dst + static_cast<intptr_t>(y) * c_stride;
    if (in.chroma_shift_x) {
      dsp.average2[range](r0, r1, out, cw);
      continue;
    }
    dsp.average4[range](r0, r1, out, pairs);
    if (pairs < cw) {
      // An odd width: the last column stands for both of its pair.
      const int32_t x0 = sw - 1;
      const uint32_t v = (2 * (uint32_t(r0[x0]) + r1[x0]) + 2) >> 2;
      out[pairs] = in.full_range ? chroma_out<true>(v) : chroma_out<false>(v);
    }
  }
}

}  // namespace

void luma_full_c(const uint8_t *src, uint8_t *dst, int32_t n) {
  for (int32_t x = 0; x < n; ++x) dst[x] = studio<16, 219>(src[x]);
}
void average2_studio_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average2_c<false>(r0, r1, dst, n);
}
void average2_full_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average2_c<true>(r0, r1, dst, n);
}
void average4_studio_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4_c<false>(r0, r1, dst, n);
}
void average4_full_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4_c<true>(r0, r1, dst, n);
}

void init_yuv_planes_dsp(YuvPlanesDsp &dsp, uint32_t cpu_flags) {
  dsp.luma_full = luma_full_c;
  dsp.average2[kStudioRange] = average2_studio_c;
  dsp.average2[kFullRange] = average2_full_c;
  dsp.average4[kStudioRange] = average4_studio_c;
  dsp.average4[kFullRange] = average4_full_c;
#if defined(__x86_64__) || defined(__i386__)
  yuv_planes_dsp_init_x86(dsp, cpu_flags);
#else
  (void)cpu_flags;
#endif
}

const YuvPlanesDsp &yuv_planes_dsp() {
  static const YuvPlanesDsp dsp = [] {
    YuvPlanesDsp d;
    init_yuv_planes_dsp(d, detect_cpu_flags());
    return d;
  }();
  return dsp;
}

void planar_to_420_with(const YuvPlanesDsp &dsp, const PlanarPicture &in, uint8_t *y, uint8_t *cb,
                        uint8_t *cr, int32_t y_stride, int32_t c_stride) {
  const auto shift_ok = [](int32_t s) { return s == 0 || s == 1; };
  if (in.width <= 0 || in.height <= 0 || !shift_ok(in.chroma_shift_x) || !shift_ok(in.chroma_shift_y)) return;
  for (int32_t row = 0; row < in.height; ++row) {
    const uint8_t *src = in.plane[0] + static_cast<intptr_t>(row) * in.stride[0];
    uint8_t *out = y + static_cast<intptr_t>(row) * y_stride;
    if (in.full_range)
      dsp.luma_full(src, out, in.width);
    else
      std::memcpy(out, src, size_t(in.width));
  }
  chroma(dsp, in, 1, cb, c_stride);
  chroma(dsp, in, 2, cr, c_stride);
}

void planar_to_420(const PlanarPicture &in, uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_stride,
                   int32_t c_stride) {
  planar_to_420_with(yuv_planes_dsp(), in, y, cb, cr, y_stride, c_stride);
}

}  // namespace platform::avi
