// AVX2 rows: 32 samples per step. Unpacking and packing both work within
// each 128-bit half, so they undo each other; only the box rows, which pack
// two loads' sums, put the quarters back in order.
#include <immintrin.h>

#include "platform/avi/x86/yuv_planes_x86.h"

namespace platform::avi {

namespace {

inline __m256i load(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
inline void store(uint8_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }

// As the SSE2 rows' studio16: the C reference's sums in 16-bit lanes.
inline __m256i studio16(__m256i v, int16_t span) {
  const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(v, _mm256_set1_epi16(span)), _mm256_set1_epi16(127));
  const __m256i t = _mm256_add_epi16(_mm256_add_epi16(x, _mm256_set1_epi16(1)), _mm256_srli_epi16(x, 8));
  return _mm256_add_epi16(_mm256_srli_epi16(t, 8), _mm256_set1_epi16(16));
}

inline __m256i scale_bytes(__m256i v, int16_t span) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_packus_epi16(studio16(_mm256_unpacklo_epi8(v, zero), span),
                             studio16(_mm256_unpackhi_epi8(v, zero), span));
}

// (2 x 2 sum + 2) >> 2 of 16 output samples (32 bytes of each row).
inline __m256i box_mean(const uint8_t *r0, const uint8_t *r1) {
  const __m256i ones = _mm256_set1_epi8(1);
  const __m256i sums =
      _mm256_add_epi16(_mm256_maddubs_epi16(load(r0), ones), _mm256_maddubs_epi16(load(r1), ones));
  return _mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(2)), 2);
}

template <bool Full>
void average4(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  for (; x + 32 <= n; x += 32) {
    __m256i lo = box_mean(r0 + 2 * x, r1 + 2 * x);
    __m256i hi = box_mean(r0 + 2 * x + 32, r1 + 2 * x + 32);
    if constexpr (Full) {
      lo = studio16(lo, 224);
      hi = studio16(hi, 224);
    }
    store(dst + x, _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), _MM_SHUFFLE(3, 1, 2, 0)));
  }
  kAverage4C<Full>(r0 + 2 * x, r1 + 2 * x, dst + x, n - x);
}

template <bool Full>
void average2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  for (; x + 32 <= n; x += 32) {
    const __m256i v = _mm256_avg_epu8(load(r0 + x), load(r1 + x));
    store(dst + x, Full ? scale_bytes(v, 224) : v);
  }
  kAverage2C<Full>(r0 + x, r1 + x, dst + x, n - x);
}

}  // namespace

void luma_full_avx2(const uint8_t *src, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  for (; x + 32 <= n; x += 32) store(dst + x, scale_bytes(load(src + x), 219));
  luma_full_c(src + x, dst + x, n - x);
}

void average2_studio_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average2<false>(r0, r1, dst, n);
}
void average2_full_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average2<true>(r0, r1, dst, n);
}
void average4_studio_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4<false>(r0, r1, dst, n);
}
void average4_full_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4<true>(r0, r1, dst, n);
}

}  // namespace platform::avi
