// What the SSE2 and AVX2 inverse DCTs share: the pass shifts, the symmetry
// of the even weights both rely on, the 8x8 transpose of 16-bit rows between
// the passes, and the stores of the residual rows. Each file compiles its
// own copy for its instruction set (internal linkage), so an AVX2 build of
// these never stands in for the SSE2 one on a CPU without AVX2.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "video/decode/idct.h"

namespace kestrum {
namespace {

constexpr int kPass1Shift = 10;
constexpr int kPass2Shift = 18;

// The even weights repeat: W(x, 0) and W(x, 4) are the same for x = 0 and
// 3 and for x = 1 and 2, and W(x, 2), W(x, 6) change sign between those
// pairs. So the even sums of x = 2, 3 come from those of x = 1, 0.
static_assert(idct_weight(3, 0) == idct_weight(0, 0) && idct_weight(3, 4) == idct_weight(0, 4));
static_assert(idct_weight(2, 0) == idct_weight(1, 0) && idct_weight(2, 4) == idct_weight(1, 4));
static_assert(idct_weight(3, 2) == -idct_weight(0, 2) && idct_weight(3, 6) == -idct_weight(0, 6));
static_assert(idct_weight(2, 2) == -idct_weight(1, 2) && idct_weight(2, 6) == -idct_weight(1, 6));

inline void transpose8(__m128i r[8]) {
  const __m128i a = _mm_unpacklo_epi16(r[0], r[1]), b = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i c = _mm_unpacklo_epi16(r[2], r[3]), d = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i e = _mm_unpacklo_epi16(r[4], r[5]), f = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i g = _mm_unpacklo_epi16(r[6], r[7]), h = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i ac0 = _mm_unpacklo_epi32(a, c), ac1 = _mm_unpackhi_epi32(a, c);
  const __m128i bd0 = _mm_unpacklo_epi32(b, d), bd1 = _mm_unpackhi_epi32(b, d);
  const __m128i eg0 = _mm_unpacklo_epi32(e, g), eg1 = _mm_unpackhi_epi32(e, g);
  const __m128i fh0 = _mm_unpacklo_epi32(f, h), fh1 = _mm_unpackhi_epi32(f, h);
  r[0] = _mm_unpacklo_epi64(ac0, eg0);
  r[1] = _mm_unpackhi_epi64(ac0, eg0);
  r[2] = _mm_unpacklo_epi64(ac1, eg1);
  r[3] = _mm_unpackhi_epi64(ac1, eg1);
  r[4] = _mm_unpacklo_epi64(bd0, fh0);
  r[5] = _mm_unpackhi_epi64(bd0, fh0);
  r[6] = _mm_unpacklo_epi64(bd1, fh1);
  r[7] = _mm_unpackhi_epi64(bd1, fh1);
}

// The residual rows plus 128 (intra blocks), saturated to bytes.
inline void store_put_rows(const __m128i rows[8], uint8_t *dst, ptrdiff_t stride) {
  const __m128i mid = _mm_set1_epi16(128);
  for (int y = 0; y < 8; ++y, dst += stride) {
    const __m128i v = _mm_adds_epi16(rows[y], mid);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(v, v));
  }
}

// The residual rows added to the prediction in dst, saturated to bytes.
inline void store_add_rows(const __m128i rows[8], uint8_t *dst, ptrdiff_t stride) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y, dst += stride) {
    const __m128i pred = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(dst)), zero);
    const __m128i v = _mm_adds_epi16(pred, rows[y]);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(v, v));
  }
}

}  // namespace
}  // namespace kestrum
