// SSE2 rows: 16 samples per step, the range scaling in 16-bit lanes with
// the C reference's exact sums.
#include "platform/avi/x86/yuv_planes_sse2.h"

#include <emmintrin.h>

#include "platform/avi/x86/yuv_planes_x86.h"

namespace platform::avi {

namespace {

// 2 x 2 sums of 8 output samples: the even and odd bytes of each row
// (16 bytes, 8 pairs) added in 16-bit lanes.
inline __m128i box_sums(const uint8_t *r0, const uint8_t *r1) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(r0));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(r1));
  const __m128i low = _mm_set1_epi16(0xFF);
  return _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, low), _mm_srli_epi16(a, 8)),
                       _mm_add_epi16(_mm_and_si128(b, low), _mm_srli_epi16(b, 8)));
}

template <bool Full>
void average2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  const __m128i zero = _mm_setzero_si128();
  for (; x + 16 <= n; x += 16) {
    const __m128i v = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(r0 + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i *>(r1 + x)));
    if constexpr (Full)
      store_chroma<true>(dst + x, _mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero));
    else
      _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x), v);
  }
  kAverage2C<Full>(r0 + x, r1 + x, dst + x, n - x);
}

}  // namespace

void luma_full_sse2(const uint8_t *src, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  const __m128i zero = _mm_setzero_si128();
  for (; x + 16 <= n; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + x));
    const __m128i lo = studio16(_mm_unpacklo_epi8(v, zero), 219);
    const __m128i hi = studio16(_mm_unpackhi_epi8(v, zero), 219);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x), _mm_packus_epi16(lo, hi));
  }
  luma_full_c(src + x, dst + x, n - x);
}

void average2_studio_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average2<false>(r0, r1, dst, n);
}
void average2_full_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average2<true>(r0, r1, dst, n);
}
void average4_studio_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4_rows<false, box_sums>(r0, r1, dst, n);
}
void average4_full_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4_rows<true, box_sums>(r0, r1, dst, n);
}

}  // namespace platform::avi
