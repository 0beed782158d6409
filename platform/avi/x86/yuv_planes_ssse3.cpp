// SSSE3 rows: the 2 x 2 box sums by one multiply-add per row.
#include <tmmintrin.h>

#include "platform/avi/x86/yuv_planes_sse2.h"
#include "platform/avi/x86/yuv_planes_x86.h"

namespace platform::avi {

namespace {

inline __m128i box_sums(const uint8_t *r0, const uint8_t *r1) {
  const __m128i ones = _mm_set1_epi8(1);
  return _mm_add_epi16(_mm_maddubs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(r0)), ones),
                       _mm_maddubs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(r1)), ones));
}

template <bool Full>
void average4(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  int32_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i lo = box_mean(box_sums(r0 + 2 * x, r1 + 2 * x));
    const __m128i hi = box_mean(box_sums(r0 + 2 * x + 16, r1 + 2 * x + 16));
    store_chroma<Full>(dst + x, lo, hi);
  }
  if constexpr (Full)
    average4_full_c(r0 + 2 * x, r1 + 2 * x, dst + x, n - x);
  else
    average4_studio_c(r0 + 2 * x, r1 + 2 * x, dst + x, n - x);
}

}  // namespace

void average4_studio_ssse3(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4<false>(r0, r1, dst, n);
}
void average4_full_ssse3(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4<true>(r0, r1, dst, n);
}

}  // namespace platform::avi
