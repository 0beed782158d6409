#include "tools/common/bgr_interleave.h"

#include "video/cpu/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define TOOLS_COMMON_X86 1
#endif

namespace tools_common {

void interleave_bgr_c(const uint8_t *__restrict b, const uint8_t *__restrict g, const uint8_t *__restrict r,
                      int32_t n, uint8_t *__restrict dst) {
  for (int32_t x = 0; x < n; ++x) {
    dst[3 * x] = b[x];
    dst[3 * x + 1] = g[x];
    dst[3 * x + 2] = r[x];
  }
}

#ifdef TOOLS_COMMON_X86
namespace {

// Byte j of 16-byte output block k takes pixel (16k + j) / 3 of colour
// (16k + j) % 3; each colour's shuffle leaves the other bytes zero.
struct ShuffleMasks {
  alignas(16) int8_t m[3][3][16];  // [block][colour][byte]
  constexpr ShuffleMasks() : m{} {
    for (int k = 0; k < 3; ++k)
      for (int c = 0; c < 3; ++c)
        for (int j = 0; j < 16; ++j) {
          const int p = 16 * k + j;
          m[k][c][j] = static_cast<int8_t>(p % 3 == c ? p / 3 : -1);
        }
  }
};
constexpr ShuffleMasks kMasks;

__attribute__((target("ssse3"))) void interleave_bgr_ssse3(const uint8_t *b, const uint8_t *g,
                                                           const uint8_t *r, int32_t n, uint8_t *dst) {
  int32_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x));
    const __m128i vg = _mm_loadu_si128(reinterpret_cast<const __m128i *>(g + x));
    const __m128i vr = _mm_loadu_si128(reinterpret_cast<const __m128i *>(r + x));
    for (int k = 0; k < 3; ++k) {
      const __m128i *m = reinterpret_cast<const __m128i *>(kMasks.m[k]);
      const __m128i out = _mm_or_si128(
          _mm_or_si128(_mm_shuffle_epi8(vb, _mm_load_si128(m)), _mm_shuffle_epi8(vg, _mm_load_si128(m + 1))),
          _mm_shuffle_epi8(vr, _mm_load_si128(m + 2)));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 3 * x + 16 * k), out);
    }
  }
  interleave_bgr_c(b + x, g + x, r + x, n - x, dst + 3 * x);
}

}  // namespace
#endif

InterleaveBgr interleave_bgr_routine() {
#ifdef TOOLS_COMMON_X86
  if (kestrum::detect_cpu_flags() & kestrum::kCpuSsse3) return interleave_bgr_ssse3;
#endif
  return interleave_bgr_c;
}

}  // namespace tools_common
