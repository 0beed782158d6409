// Motion-compensation routines with SSE2. pavgb is exactly (a + b + 1) >> 1;
// the four-pixel mean of the default variant widens to 16 bits. Results
// equal the C routines bit for bit.
#include <emmintrin.h>

#include "video/decode/x86/mc_x86.h"

namespace kestrum {
namespace {

template <int W>
inline __m128i load(const uint8_t *p) {
  if constexpr (W == 16) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  } else {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
  }
}

template <int W>
inline void store(uint8_t *p, __m128i v) {
  if constexpr (W == 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
  }
}

// (a + b + c + d + 2) >> 2 per byte.
inline __m128i mean4(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = _mm_set1_epi16(2);
  const __m128i lo = _mm_add_epi16(
      _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
      _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero)), two));
  const __m128i hi = _mm_add_epi16(
      _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
      _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero)), two));
  return _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2));
}

template <int W, int Half, McVariant V>
inline __m128i predict_row(const uint8_t *ref, ptrdiff_t stride) {
  if constexpr (Half == 0) {
    return load<W>(ref);
  } else if constexpr (Half == 1) {
    return _mm_avg_epu8(load<W>(ref), load<W>(ref + 1));
  } else if constexpr (Half == 2) {
    return _mm_avg_epu8(load<W>(ref), load<W>(ref + stride));
  } else {
    const __m128i p0 = load<W>(ref), p1 = load<W>(ref + 1);
    const __m128i q0 = load<W>(ref + stride), q1 = load<W>(ref + stride + 1);
    if constexpr (V == McVariant::kExact) {
      return mean4(p0, p1, q0, q1);
    } else if constexpr (V == McVariant::kThreeNeighbour) {
      return _mm_avg_epu8(_mm_avg_epu8(p0, p1), q0);
    } else {
      return _mm_avg_epu8(_mm_avg_epu8(p0, p1), _mm_avg_epu8(q0, q1));
    }
  }
}

// Two rows per step: the heights the decoder asks for are 4, 8 or 16.
template <int W, int Half, bool Avg, McVariant V>
void mc_sse2(uint8_t *dst, const uint8_t *ref, ptrdiff_t stride, int height) {
  do {
    __m128i a = predict_row<W, Half, V>(ref, stride);
    __m128i b = predict_row<W, Half, V>(ref + stride, stride);
    if constexpr (Avg) {
      a = _mm_avg_epu8(load<W>(dst), a);
      b = _mm_avg_epu8(load<W>(dst + stride), b);
    }
    store<W>(dst, a);
    store<W>(dst + stride, b);
    dst += 2 * stride;
    ref += 2 * stride;
  } while (height -= 2);
}

template <McVariant V>
void fill_sse2(McDsp &dsp) {
  dsp.put[0][0] = mc_sse2<16, 0, false, V>;
  dsp.put[0][1] = mc_sse2<16, 1, false, V>;
  dsp.put[0][2] = mc_sse2<16, 2, false, V>;
  dsp.put[0][3] = mc_sse2<16, 3, false, V>;
  dsp.put[1][0] = mc_sse2<8, 0, false, V>;
  dsp.put[1][1] = mc_sse2<8, 1, false, V>;
  dsp.put[1][2] = mc_sse2<8, 2, false, V>;
  dsp.put[1][3] = mc_sse2<8, 3, false, V>;
  dsp.avg[0][0] = mc_sse2<16, 0, true, V>;
  dsp.avg[0][1] = mc_sse2<16, 1, true, V>;
  dsp.avg[0][2] = mc_sse2<16, 2, true, V>;
  dsp.avg[0][3] = mc_sse2<16, 3, true, V>;
  dsp.avg[1][0] = mc_sse2<8, 0, true, V>;
  dsp.avg[1][1] = mc_sse2<8, 1, true, V>;
  dsp.avg[1][2] = mc_sse2<8, 2, true, V>;
  dsp.avg[1][3] = mc_sse2<8, 3, true, V>;
}

}  // namespace

void init_mc_dsp_sse2(McDsp &dsp, McVariant variant) {
  switch (variant) {
    case McVariant::kThreeNeighbour:
      fill_sse2<McVariant::kThreeNeighbour>(dsp);
      break;
    case McVariant::kPairwise:
      fill_sse2<McVariant::kPairwise>(dsp);
      break;
    default:
      fill_sse2<McVariant::kExact>(dsp);
      break;
  }
}

}  // namespace kestrum
