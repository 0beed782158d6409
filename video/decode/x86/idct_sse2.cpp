// The accurate inverse DCT with SSE2: the same integer operations as the C
// reference (16x16 -> 32-bit products summed in pairs by pmaddwd, the same
// rounding shifts, the same 16-bit saturation), eight columns at a time.
#include <emmintrin.h>

#include "video/decode/x86/idct_rows_x86.h"
#include "video/decode/x86/idct_x86.h"

namespace kestrum {
namespace {

// Two weights side by side, matching the interleaved (a, b) input pairs.
inline __m128i weight_pair(int x, int ua, int ub) {
  const uint32_t lo = uint16_t(idct_weight(x, ua));
  const uint32_t hi = uint16_t(idct_weight(x, ub));
  return _mm_set1_epi32(int32_t(lo | (hi << 16)));
}

struct PassWeights {
  __m128i w04[4], w26[4], w13[4], w57[4];
};

const PassWeights &pass_weights() {
  static const PassWeights w = [] {
    PassWeights p;
    for (int x = 0; x < 4; ++x) {
      p.w04[x] = weight_pair(x, 0, 4);
      p.w26[x] = weight_pair(x, 2, 6);
      p.w13[x] = weight_pair(x, 1, 3);
      p.w57[x] = weight_pair(x, 5, 7);
    }
    return p;
  }();
  return w;
}

// The even weights repeat (see the checks beside the shared pieces): the
// even sums of x = 2, 3 come from those of x = 1, 0.

// out[x] = sum_u W(x, u) * in[u], lane by lane, rounded by Shift. The sums
// are exact 32-bit integers whatever their grouping.
template <int Shift>
inline void idct_pass(const __m128i in[8], __m128i out[8], const PassWeights &w) {
  const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
  const __m128i t04l = _mm_unpacklo_epi16(in[0], in[4]), t04h = _mm_unpackhi_epi16(in[0], in[4]);
  const __m128i t26l = _mm_unpacklo_epi16(in[2], in[6]), t26h = _mm_unpackhi_epi16(in[2], in[6]);
  const __m128i t13l = _mm_unpacklo_epi16(in[1], in[3]), t13h = _mm_unpackhi_epi16(in[1], in[3]);
  const __m128i t57l = _mm_unpacklo_epi16(in[5], in[7]), t57h = _mm_unpackhi_epi16(in[5], in[7]);
  __m128i even_l[4], even_h[4];
  for (int x = 0; x < 2; ++x) {
    const __m128i al = _mm_madd_epi16(t04l, w.w04[x]), ah = _mm_madd_epi16(t04h, w.w04[x]);
    const __m128i bl = _mm_madd_epi16(t26l, w.w26[x]), bh = _mm_madd_epi16(t26h, w.w26[x]);
    even_l[x] = _mm_add_epi32(al, bl);
    even_h[x] = _mm_add_epi32(ah, bh);
    even_l[3 - x] = _mm_sub_epi32(al, bl);
    even_h[3 - x] = _mm_sub_epi32(ah, bh);
  }
  for (int x = 0; x < 4; ++x) {
    const __m128i el = _mm_add_epi32(even_l[x], round);
    const __m128i eh = _mm_add_epi32(even_h[x], round);
    const __m128i ol = _mm_add_epi32(_mm_madd_epi16(t13l, w.w13[x]), _mm_madd_epi16(t57l, w.w57[x]));
    const __m128i oh = _mm_add_epi32(_mm_madd_epi16(t13h, w.w13[x]), _mm_madd_epi16(t57h, w.w57[x]));
    const __m128i sum_l = _mm_srai_epi32(_mm_add_epi32(el, ol), Shift);
    const __m128i sum_h = _mm_srai_epi32(_mm_add_epi32(eh, oh), Shift);
    const __m128i dif_l = _mm_srai_epi32(_mm_sub_epi32(el, ol), Shift);
    const __m128i dif_h = _mm_srai_epi32(_mm_sub_epi32(eh, oh), Shift);
    out[x] = _mm_packs_epi32(sum_l, sum_h);
    out[7 - x] = _mm_packs_epi32(dif_l, dif_h);
  }
}

// Residual rows (raster) of a column-major block; clears the block.
inline void idct_rows(int16_t *block, __m128i rows[8]) {
  const PassWeights &w = pass_weights();
  __m128i in[8], q[8];
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 8; ++i) {
    in[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 8 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(block + 8 * i), zero);
  }
  idct_pass<kPass1Shift>(in, q, w);
  transpose8(q);
  idct_pass<kPass2Shift>(q, rows, w);
}

}  // namespace

void idct_accurate_put_sse2(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  __m128i rows[8];
  idct_rows(block, rows);
  store_put_rows(rows, dst, stride);
}

void idct_accurate_add_sse2(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  __m128i rows[8];
  idct_rows(block, rows);
  store_add_rows(rows, dst, stride);
}

}  // namespace kestrum
