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

}  // namespace

void average4_studio_ssse3(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4_rows<false, box_sums>(r0, r1, dst, n);
}
void average4_full_ssse3(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n) {
  average4_rows<true, box_sums>(r0, r1, dst, n);
}

}  // namespace platform::avi
