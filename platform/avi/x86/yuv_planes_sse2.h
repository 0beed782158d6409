// The 16-bit lane arithmetic and the box row the SSE2 and SSSE3 rows share.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "platform/avi/yuv_planes_dsp.h"

namespace platform::avi {

// Each file built for its own level keeps its own copy (no shared inline
// body compiled for a higher level).
namespace {

// low + v x span / 255 rounded, for v in 0..255 in 16-bit lanes: the C
// reference's x = v x span + 127, (x + 1 + (x >> 8)) >> 8, every sum below
// 65536 for spans up to 224.
inline __m128i studio16(__m128i v, int16_t span) {
  const __m128i x = _mm_add_epi16(_mm_mullo_epi16(v, _mm_set1_epi16(span)), _mm_set1_epi16(127));
  const __m128i t = _mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8));
  return _mm_add_epi16(_mm_srli_epi16(t, 8), _mm_set1_epi16(16));
}

// (sum + 2) >> 2 of 2 x 2 sums.
inline __m128i box_mean(__m128i sums) { return _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(2)), 2); }

// 16 chroma samples (two halves of 16-bit lanes) to the output, scaled to
// studio range when the source is full range.
template <bool Full>
inline void store_chroma(uint8_t *dst, __m128i lo, __m128i hi) {
  if constexpr (Full) {
    lo = studio16(lo, 224);
    hi = studio16(hi, 224);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(lo, hi));
}

// 2 x 2 box rows, 16 outputs per step; BoxSums gives the sums of 8 outputs
// from 16 bytes of each row.
template <bool Full, __m128i (*BoxSums)(const uint8_t *, const uint8_t *)>
void average4_rows(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i lo = box_mean(BoxSums(r0 + 2 * x, r1 + 2 * x));
    const __m128i hi = box_mean(BoxSums(r0 + 2 * x + 16, r1 + 2 * x + 16));
    store_chroma<Full>(dst + x, lo, hi);
  }
  kAverage4C<Full>(r0 + 2 * x, r1 + 2 * x, dst + x, n - x);
}

}  // namespace

}  // namespace platform::avi
