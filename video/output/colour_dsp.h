// Hot loops of the colour conversion: YCbCr 4:2:0 lines to packed RGB.
//
// Fixed-point arithmetic, the same in every variant (C is the reference; the
// SIMD versions must match it bit for bit):
//   Y'   = max(Y - 136, -128)                 (luma offset 128 + 8)
//   Y''  = clamp(Y' + brightness, -128, 127)
//   Cb'  = Cb - 128, Cr' = Cr - 128
//   red   = (Cr' * 180) >> 7                  (1.406)
//   blue  = (Cb' * 227) >> 7                  (1.773)
//   green = ((Cb' * 88) >> 8) + ((Cr' * 183) >> 8)   (0.344, 0.715)
//   R = clamp(Y'' + red + 16) + 128, G = clamp(Y'' - green) + 128,
//   B = clamp(Y'' + blue) + 128, clamp to -128..127.
// The chroma terms keep their full 16-bit range: clipping them to a byte
// first would cap every channel's chroma swing at +-127 and turn saturated
// blues and reds visibly dark (pure blue would lose 80 levels).
#pragma once

#include <cstdint>

namespace kestrum {

/// Packed output formats, in the order of ColourDsp::pair.
enum PixelFormat : int { kRgb15 = 0, kRgb16 = 1, kRgb24 = 2, kRgb32 = 3, kPixelFormatCount = 4 };

/// Bytes per output pixel of each format.
constexpr int kBytesPerPixel[kPixelFormatCount] = {2, 2, 3, 4};

/// Converts one or two luma lines that share one chroma line. dst1 and y1
/// are null for a single line. Pixel x takes chroma sample x / 2. width > 0.
using ColourPairFn = void (*)(uint8_t *dst0, uint8_t *dst1, const uint8_t *y0, const uint8_t *y1,
                              const uint8_t *cb, const uint8_t *cr, int width, int brightness);

/// out[x] = (3 * own[x] + near[x] + 2) >> 2 for x < count: a chroma line
/// moved a quarter of the way towards its neighbour (the smooth variant).
using ChromaBlendFn = void (*)(uint8_t *out, const uint8_t *own, const uint8_t *near, int count);

struct ColourDsp {
  ColourPairFn pair[kPixelFormatCount];
  ChromaBlendFn blend;
};

/// Fills every entry with C, then upgrades to what cpu_flags (CpuFlag bits)
/// allow. No entry is ever null.
void init_colour_dsp(ColourDsp &dsp, uint32_t cpu_flags);

// The per-pixel reference, shared by the C loops and the SIMD tails.

constexpr int colour_clamp_s8(int v) { return v < -128 ? -128 : (v > 127 ? 127 : v); }

struct ChromaTerms {
  int red, green, blue;
};

constexpr ChromaTerms colour_chroma_terms(int cb, int cr) {
  const int cbp = cb - 128, crp = cr - 128;
  return {(crp * 180) >> 7, ((cbp * 88) >> 8) + ((crp * 183) >> 8), (cbp * 227) >> 7};
}

struct Rgb8 {
  uint8_t r, g, b;
};

constexpr Rgb8 colour_pixel(int y, ChromaTerms t, int brightness) {
  const int luma = colour_clamp_s8(colour_clamp_s8(y - 136) + brightness);
  return {static_cast<uint8_t>(colour_clamp_s8(luma + t.red + 16) + 128),
          static_cast<uint8_t>(colour_clamp_s8(luma - t.green) + 128),
          static_cast<uint8_t>(colour_clamp_s8(luma + t.blue) + 128)};
}

constexpr uint16_t colour_pack15(Rgb8 p) {
  return static_cast<uint16_t>(((p.r & 0xF8) << 7) | ((p.g & 0xF8) << 2) | (p.b >> 3));
}

constexpr uint16_t colour_pack16(Rgb8 p) {
  return static_cast<uint16_t>(((p.r & 0xF8) << 8) | ((p.g & 0xFC) << 3) | (p.b >> 3));
}

/// Converts pixels [from, width) of one or two lines with the reference
/// arithmetic; the SIMD loops finish their lines with it.
void colour_pair_tail(PixelFormat format, int from, uint8_t *dst0, uint8_t *dst1, const uint8_t *y0,
                      const uint8_t *y1, const uint8_t *cb, const uint8_t *cr, int width, int brightness);

/// The C blend, which the SIMD versions finish their lines with.
void chroma_blend_c(uint8_t *out, const uint8_t *own, const uint8_t *near, int count);

}  // namespace kestrum
