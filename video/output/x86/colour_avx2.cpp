// AVX2 colour conversion: 16 pixels per step, one 16-bit lane each, so the
// pixels stay in order and only the byte packing crosses the two halves.
#include <immintrin.h>

#include "video/output/x86/colour_x86.h"

namespace kestrum {

namespace {

struct Terms {
  __m256i red, green, blue;
};

// Chroma terms of 8 samples, each duplicated for its two pixels.
inline Terms chroma_terms(const uint8_t *cb, const uint8_t *cr) {
  const __m128i cb8 = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(cb));
  const __m128i cr8 = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(cr));
  const __m256i offset = _mm256_set1_epi16(128);
  const __m256i cbw = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(cb8, cb8)), offset);
  const __m256i crw = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(cr8, cr8)), offset);
  return {_mm256_srai_epi16(_mm256_mullo_epi16(crw, _mm256_set1_epi16(180)), 7),
          _mm256_add_epi16(_mm256_srai_epi16(_mm256_mullo_epi16(cbw, _mm256_set1_epi16(88)), 8),
                           _mm256_srai_epi16(_mm256_mullo_epi16(crw, _mm256_set1_epi16(183)), 8)),
          _mm256_srai_epi16(_mm256_mullo_epi16(cbw, _mm256_set1_epi16(227)), 7)};
}

struct Channels {
  __m256i r, g, b;
};

inline Channels channels(const uint8_t *y, const Terms &t, __m256i bright) {
  const __m256i lo = _mm256_set1_epi16(-128), hi = _mm256_set1_epi16(127);
  const __m256i yw = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(y)));
  __m256i luma = _mm256_max_epi16(_mm256_sub_epi16(yw, _mm256_set1_epi16(136)), lo);
  luma = _mm256_min_epi16(_mm256_max_epi16(_mm256_add_epi16(luma, bright), lo), hi);
  return {_mm256_add_epi16(_mm256_add_epi16(luma, t.red), _mm256_set1_epi16(16)),
          _mm256_sub_epi16(luma, t.green), _mm256_add_epi16(luma, t.blue)};
}

inline __m256i unsigned_channel(__m256i v) {
  return _mm256_add_epi16(
      _mm256_min_epi16(_mm256_max_epi16(v, _mm256_set1_epi16(-128)), _mm256_set1_epi16(127)),
      _mm256_set1_epi16(128));
}

template <PixelFormat kFormat>
inline __m256i pack16(const Channels &c) {
  const __m256i r = unsigned_channel(c.r), g = unsigned_channel(c.g), b = unsigned_channel(c.b);
  const __m256i mask5 = _mm256_set1_epi16(0xF8);
  if constexpr (kFormat == kRgb15) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(r, mask5), 7),
                                           _mm256_slli_epi16(_mm256_and_si256(g, mask5), 2)),
                           _mm256_srli_epi16(b, 3));
  } else {
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(r, mask5), 8),
                        _mm256_slli_epi16(_mm256_and_si256(g, _mm256_set1_epi16(0xFC)), 3)),
        _mm256_srli_epi16(b, 3));
  }
}

// 16 pixels as B, G, R, 0 bytes: pixels 0-7 in out0, 8-15 in out1.
inline void pack32(const Channels &c, __m256i &out0, __m256i &out1) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  // packs works per 128-bit half: half 0 holds pixels 0-7, half 1 pixels 8-15.
  const __m256i bg = _mm256_xor_si256(_mm256_packs_epi16(c.b, c.g), flip);
  const __m256i r0 = _mm256_xor_si256(_mm256_packs_epi16(c.r, _mm256_set1_epi16(-128)), flip);
  const __m256i bg_pairs = _mm256_unpacklo_epi8(bg, _mm256_bsrli_epi128(bg, 8));
  const __m256i r0_pairs = _mm256_unpacklo_epi8(r0, _mm256_bsrli_epi128(r0, 8));
  const __m256i lo = _mm256_unpacklo_epi16(bg_pairs, r0_pairs);  // pixels 0-3 | 8-11
  const __m256i hi = _mm256_unpackhi_epi16(bg_pairs, r0_pairs);  // pixels 4-7 | 12-15
  out0 = _mm256_permute2x128_si256(lo, hi, 0x20);
  out1 = _mm256_permute2x128_si256(lo, hi, 0x31);
}

template <PixelFormat kFormat>
inline void store_line(uint8_t *dst, const uint8_t *y, int x, const Terms &t, __m256i bright) {
  const Channels c = channels(y + x, t, bright);
  if constexpr (kFormat == kRgb15 || kFormat == kRgb16) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 2 * x), pack16<kFormat>(c));
  } else if constexpr (kFormat == kRgb32) {
    __m256i out0, out1;
    pack32(c, out0, out1);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 4 * x), out0);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 4 * x + 32), out1);
  } else {
    __m256i out0, out1;
    pack32(c, out0, out1);
    // Each half: four pixels of 4 bytes to 12 bytes, the rest zero.
    const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                             4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    out0 = _mm256_shuffle_epi8(out0, squeeze);
    out1 = _mm256_shuffle_epi8(out1, squeeze);
    uint8_t *d = dst + 3 * x;
    // Overlapping 16-byte stores: each later store overwrites the previous
    // one's 4 spare bytes. The last one is split so nothing lands past the
    // 48 bytes of these 16 pixels.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(out0));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 12), _mm256_extracti128_si256(out0, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 24), _mm256_castsi256_si128(out1));
    const __m128i last = _mm256_extracti128_si256(out1, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d + 36), last);
    const int tail = _mm_cvtsi128_si32(_mm_srli_si128(last, 8));
    __builtin_memcpy(d + 44, &tail, 4);
  }
}

template <PixelFormat kFormat>
void colour_pair_avx2(uint8_t *dst0, uint8_t *dst1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                      const uint8_t *cr, int width, int brightness) {
  const __m256i bright = _mm256_set1_epi16(static_cast<int16_t>(brightness));
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const Terms t = chroma_terms(cb + x / 2, cr + x / 2);
    store_line<kFormat>(dst0, y0, x, t, bright);
    if (dst1) store_line<kFormat>(dst1, y1, x, t, bright);
  }
  if (x < width) colour_pair_tail(kFormat, x, dst0, dst1, y0, y1, cb, cr, width, brightness);
}

}  // namespace

void colour_pair15_avx2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_avx2<kRgb15>(d0, d1, y0, y1, cb, cr, w, b);
}
void colour_pair16_avx2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_avx2<kRgb16>(d0, d1, y0, y1, cb, cr, w, b);
}
void colour_pair24_avx2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_avx2<kRgb24>(d0, d1, y0, y1, cb, cr, w, b);
}
void colour_pair32_avx2(uint8_t *d0, uint8_t *d1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                        const uint8_t *cr, int w, int b) {
  colour_pair_avx2<kRgb32>(d0, d1, y0, y1, cb, cr, w, b);
}

}  // namespace kestrum
