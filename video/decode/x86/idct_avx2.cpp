// The accurate inverse DCT with AVX2: the integer operations of the SSE2
// version (and so of the C reference), but each 256-bit register carries the
// 32-bit sums of all eight columns, where SSE2 needs a low and a high half.
#include <immintrin.h>

#include "video/decode/x86/idct_x86.h"

namespace kestrum {
namespace {

constexpr int kPass1Shift = 10;
constexpr int kPass2Shift = 18;

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

// The even weights repeat as in the SSE2 version: the even sums of x = 2, 3
// are those of x = 1, 0 with the (2, 6) part negated.
static_assert(idct_weight(3, 0) == idct_weight(0, 0) && idct_weight(3, 4) == idct_weight(0, 4));
static_assert(idct_weight(2, 0) == idct_weight(1, 0) && idct_weight(2, 4) == idct_weight(1, 4));
static_assert(idct_weight(3, 2) == -idct_weight(0, 2) && idct_weight(3, 6) == -idct_weight(0, 6));
static_assert(idct_weight(2, 2) == -idct_weight(1, 2) && idct_weight(2, 6) == -idct_weight(1, 6));

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
    const __m256i o =
        _mm256_add_epi32(_mm256_madd_epi16(t13, w.w13[x]), _mm256_madd_epi16(t57, w.w57[x]));
    const __m256i sum = _mm256_srai_epi32(_mm256_add_epi32(even[x], o), Shift);
    const __m256i dif = _mm256_srai_epi32(_mm256_sub_epi32(even[x], o), Shift);
    // In-lane packing gives [sum 0-3, dif 0-3 | sum 4-7, dif 4-7].
    const __m256i packed =
        _mm256_permute4x64_epi64(_mm256_packs_epi32(sum, dif), 0xD8);  // q0 q2 q1 q3
    out[x] = _mm256_castsi256_si128(packed);
    out[7 - x] = _mm256_extracti128_si256(packed, 1);
  }
}

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
  const __m128i mid = _mm_set1_epi16(128);
  for (int y = 0; y < 8; ++y, dst += stride) {
    const __m128i v = _mm_adds_epi16(rows[y], mid);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(v, v));
  }
}

void idct_accurate_add_avx2(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  __m128i rows[8];
  idct_rows(block, rows);
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y, dst += stride) {
    const __m128i pred =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(dst)), zero);
    const __m128i v = _mm_adds_epi16(pred, rows[y]);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(v, v));
  }
}

}  // namespace kestrum
