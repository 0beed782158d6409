// The accurate inverse DCT with AVX2: the integer operations of the SSE2
// version (and so of the C reference), but each 256-bit register carries the
// 32-bit sums of all eight columns, where SSE2 needs a low and a high half.
#include <immintrin.h>

#include "video/decode/x86/idct_rows_x86.h"
#include "video/decode/x86/idct_x86.h"

namespace kestrum {
namespace {

// Two weights side by side, matching the interleaved (a, b) input pairs.
inline __m256i weight_pair(int x, int ua, int ub) {
  const uint32_t lo = uint16_t(idct_weight(x, ua));
  const uint32_t hi = uint16_t(idct_weight(x, ub));
  return _mm256_set1_epi32(int32_t(lo | (hi << 16)));
}

struct PassWeights {
  __m256i w04[2], w26[2], w13[4], w57[4];
};

const PassWeights &pass_weights() {
  static const PassWeights w = [] {
    PassWeights p;
    for (int x = 0; x < 4; ++x) {
      if (x < 2) {
        p.w04[x] = weight_pair(x, 0, 4);
        p.w26[x] = weight_pair(x, 2, 6);
      }
      p.w13[x] = weight_pair(x, 1, 3);
      p.w57[x] = weight_pair(x, 5, 7);
    }
    return p;
  }();
  return w;
}

// The even weights repeat (checked beside the shared pieces): the even sums
// of x = 2, 3 are those of x = 1, 0 with the (2, 6) part negated.

// A row of eight 16-bit values as [whole row | upper half]: the in-lane
// unpacklo of two such registers then interleaves the rows' lower halves in
// the low lane and their upper halves in the high lane.
inline __m256i spread(__m128i row) {
  return _mm256_permute4x64_epi64(_mm256_castsi128_si256(row), 0x54);  // q0 q1 q1 q1
}

// out[x] = sum_u W(x, u) * in[u], lane by lane, rounded by Shift.
template <int Shift>
inline void idct_pass(const __m128i in[8], __m128i out[8], const PassWeights &w) {
  const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
  const __m256i t04 = _mm256_unpacklo_epi16(spread(in[0]), spread(in[4]));
  const __m256i t26 = _mm256_unpacklo_epi16(spread(in[2]), spread(in[6]));
  const __m256i t13 = _mm256_unpacklo_epi16(spread(in[1]), spread(in[3]));
  const __m256i t57 = _mm256_unpacklo_epi16(spread(in[5]), spread(in[7]));
  __m256i even[4];
  for (int x = 0; x < 2; ++x) {
    const __m256i a = _mm256_add_epi32(_mm256_madd_epi16(t04, w.w04[x]), round);
    const __m256i b = _mm256_madd_epi16(t26, w.w26[x]);
    even[x] = _mm256_add_epi32(a, b);
    even[3 - x] = _mm256_sub_epi32(a, b);
  }
  for (int x = 0; x < 4; ++x) {
    const __m256i o = _mm256_add_epi32(_mm256_madd_epi16(t13, w.w13[x]), _mm256_madd_epi16(t57, w.w57[x]));
    const __m256i sum = _mm256_srai_epi32(_mm256_add_epi32(even[x], o), Shift);
    const __m256i dif = _mm256_srai_epi32(_mm256_sub_epi32(even[x], o), Shift);
    // In-lane packing gives [sum 0-3, dif 0-3 | sum 4-7, dif 4-7].
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(sum, dif), 0xD8);  // q0 q2 q1 q3
    out[x] = _mm256_castsi256_si128(packed);
    out[7 - x] = _mm256_extracti128_si256(packed, 1);
  }
}

// Residual rows (raster) of a column-major block; clears the block.
inline void idct_rows(int16_t *block, __m128i rows[8]) {
  const PassWeights &w = pass_weights();
  __m128i in[8], q[8];
  const __m256i zero = _mm256_setzero_si256();
  for (int i = 0; i < 8; ++i) in[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 8 * i));
  for (int i = 0; i < 4; ++i) _mm256_storeu_si256(reinterpret_cast<__m256i *>(block + 16 * i), zero);
  idct_pass<kPass1Shift>(in, q, w);
  transpose8(q);
  idct_pass<kPass2Shift>(q, rows, w);
}

}  // namespace

void idct_accurate_put_avx2(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  __m128i rows[8];
  idct_rows(block, rows);
  store_put_rows(rows, dst, stride);
}

void idct_accurate_add_avx2(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  __m128i rows[8];
  idct_rows(block, rows);
  store_add_rows(rows, dst, stride);
}

}  // namespace kestrum
