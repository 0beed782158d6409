// SSE2 colour conversion: 16 pixels per step in 16-bit lanes; the chroma
// terms of a step serve both lines of a pair.
#include <emmintrin.h>

#include <cstring>

#include "video/output/x86/colour_x86.h"

namespace kestrum {

namespace {

struct Terms {
  __m128i red, green, blue;  // one lane per pixel
};

// Chroma terms of 8 samples, each duplicated for its two pixels.
inline void chroma_terms(const uint8_t *cb, const uint8_t *cr, Terms &lo, Terms &hi) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i offset = _mm_set1_epi16(128);
  const __m128i cbw =
      _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(cb)), zero), offset);
  const __m128i crw =
      _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(cr)), zero), offset);
  const __m128i red = _mm_srai_epi16(_mm_mullo_epi16(crw, _mm_set1_epi16(180)), 7);
  const __m128i blue = _mm_srai_epi16(_mm_mullo_epi16(cbw, _mm_set1_epi16(227)), 7);
  const __m128i green = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(cbw, _mm_set1_epi16(88)), 8),
                                      _mm_srai_epi16(_mm_mullo_epi16(crw, _mm_set1_epi16(183)), 8));
  lo = {_mm_unpacklo_epi16(red, red), _mm_unpacklo_epi16(green, green), _mm_unpacklo_epi16(blue, blue)};
  hi = {_mm_unpackhi_epi16(red, red), _mm_unpackhi_epi16(green, green), _mm_unpackhi_epi16(blue, blue)};
}

struct Channels {
  __m128i r, g, b;  // signed, not yet clamped
};

inline Channels channels(__m128i y, const Terms &t, __m128i bright) {
  const __m128i lo = _mm_set1_epi16(-128), hi = _mm_set1_epi16(127);
  __m128i luma = _mm_max_epi16(_mm_sub_epi16(y, _mm_set1_epi16(136)), lo);
  luma = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(luma, bright), lo), hi);
  return {_mm_add_epi16(_mm_add_epi16(luma, t.red), _mm_set1_epi16(16)), _mm_sub_epi16(luma, t.green),
          _mm_add_epi16(luma, t.blue)};
}

// Clamps to -128..127 and lifts to 0..255.
inline __m128i unsigned_channel(__m128i v) {
  return _mm_add_epi16(_mm_min_epi16(_mm_max_epi16(v, _mm_set1_epi16(-128)), _mm_set1_epi16(127)),
                       _mm_set1_epi16(128));
}

template <PixelFormat kFormat>
inline __m128i pack16(const Channels &c) {
  const __m128i r = unsigned_channel(c.r), g = unsigned_channel(c.g), b = unsigned_channel(c.b);
  const __m128i mask5 = _mm_set1_epi16(0xF8);
  if constexpr (kFormat == kRgb15) {
    return _mm_or_si128(
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, mask5), 7), _mm_slli_epi16(_mm_and_si128(g, mask5), 2)),
        _mm_srli_epi16(b, 3));
  } else {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, mask5), 8),
                                     _mm_slli_epi16(_mm_and_si128(g, _mm_set1_epi16(0xFC)), 3)),
                        _mm_srli_epi16(b, 3));
  }
}

// 16 pixels as B, G, R, 0 bytes in four registers.
inline void pack32(const Channels &lo, const Channels &hi, __m128i out[4]) {
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i r = _mm_xor_si128(_mm_packs_epi16(lo.r, hi.r), flip);
  const __m128i g = _mm_xor_si128(_mm_packs_epi16(lo.g, hi.g), flip);
  const __m128i b = _mm_xor_si128(_mm_packs_epi16(lo.b, hi.b), flip);
  const __m128i zero = _mm_setzero_si128();
  const __m128i bg_lo = _mm_unpacklo_epi8(b, g), bg_hi = _mm_unpackhi_epi8(b, g);
  const __m128i r0_lo = _mm_unpacklo_epi8(r, zero), r0_hi = _mm_unpackhi_epi8(r, zero);
  out[0] = _mm_unpacklo_epi16(bg_lo, r0_lo);
  out[1] = _mm_unpackhi_epi16(bg_lo, r0_lo);
  out[2] = _mm_unpacklo_epi16(bg_hi, r0_hi);
  out[3] = _mm_unpackhi_epi16(bg_hi, r0_hi);
}

template <PixelFormat kFormat>
inline void store_line(uint8_t *dst, const uint8_t *y, int x, const Terms &tlo, const Terms &thi,
                       __m128i bright) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i yv = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y + x));
  const Channels lo = channels(_mm_unpacklo_epi8(yv, zero), tlo, bright);
  const Channels hi = channels(_mm_unpackhi_epi8(yv, zero), thi, bright);
  if constexpr (kFormat == kRgb15 || kFormat == kRgb16) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 2 * x), pack16<kFormat>(lo));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 2 * x + 16), pack16<kFormat>(hi));
  } else if constexpr (kFormat == kRgb32) {
    __m128i out[4];
    pack32(lo, hi, out);
    for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * x + 16 * i), out[i]);
  } else {
    // SSE2 has no byte shuffle: drop every fourth byte through a scratch.
    alignas(16) uint8_t tmp[64];
    __m128i out[4];
    pack32(lo, hi, out);
    for (int i = 0; i < 4; ++i) _mm_store_si128(reinterpret_cast<__m128i *>(tmp + 16 * i), out[i]);
    uint8_t *d = dst + 3 * x;
    for (int i = 0; i < 16; ++i) {
      d[3 * i] = tmp[4 * i];
      d[3 * i + 1] = tmp[4 * i + 1];
      d[3 * i + 2] = tmp[4 * i + 2];
    }
  }
}

template <PixelFormat kFormat>
void colour_pair_sse2(uint8_t *dst0, uint8_t *dst1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                      const uint8_t *cr, int width, int brightness) {
  const __m128i bright = _mm_set1_epi16(static_cast<int16_t>(brightness));
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    Terms tlo, thi;
    chroma_terms(cb + x / 2, cr + x / 2, tlo, thi);
    store_line<kFormat>(dst0, y0, x, tlo, thi, bright);
    if (dst1) store_line<kFormat>(dst1, y1, x, tlo, thi, bright);
  }
  if (x < width) colour_pair_tail(kFormat, x, dst0, dst1, y0, y1, cb, cr, width, brightness);
}

}  // namespace

void chroma_blend_sse2(uint8_t *out, const uint8_t *own, const uint8_t *near, int count) {
  const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(own + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(near + x));
    auto half = [&](__m128i a16, __m128i b16) {
      const __m128i three_a = _mm_add_epi16(_mm_add_epi16(a16, a16), a16);
      return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three_a, b16), two), 2);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(lo, hi));
  }
  if (x < count) chroma_blend_c(out + x, own + x, near + x, count - x);
}

void colour_pair15_sse2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_sse2<kRgb15>(d0, d1, y0, y1, cb, cr, w, b);
}
void colour_pair16_sse2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_sse2<kRgb16>(d0, d1, y0, y1, cb, cr, w, b);
}
void colour_pair24_sse2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_sse2<kRgb24>(d0, d1, y0, y1, cb, cr, w, b);
}
void colour_pair32_sse2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_sse2<kRgb32>(d0, d1, y0, y1, cb, cr, w, b);
}

}  // namespace kestrum
