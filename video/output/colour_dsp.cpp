// C reference of the colour conversion loops and the table's init.
#include "video/output/colour_dsp.h"

#include <cstring>

#include "video/cpu/cpu_features.h"
#include "video/output/x86/colour_x86.h"

namespace kestrum {

namespace {

template <PixelFormat kFormat>
inline void store_pixel(uint8_t *dst, int x, Rgb8 p) {
  if constexpr (kFormat == kRgb15) {
    const uint16_t v = colour_pack15(p);
    std::memcpy(dst + 2 * x, &v, 2);
  } else if constexpr (kFormat == kRgb16) {
    const uint16_t v = colour_pack16(p);
    std::memcpy(dst + 2 * x, &v, 2);
  } else if constexpr (kFormat == kRgb24) {
    dst[3 * x] = p.b;
    dst[3 * x + 1] = p.g;
    dst[3 * x + 2] = p.r;
  } else {
    const uint32_t v = (uint32_t{p.r} << 16) | (uint32_t{p.g} << 8) | p.b;
    std::memcpy(dst + 4 * x, &v, 4);  // bytes B, G, R, 0 on this little-endian machine
  }
}

template <PixelFormat kFormat>
void colour_pair_from(int from, uint8_t *dst0, uint8_t *dst1, const uint8_t *y0, const uint8_t *y1,
                      const uint8_t *cb, const uint8_t *cr, int width, int brightness) {
  for (int x = from; x < width; ++x) {
    // Both lines share the chroma terms of their sample.
    const ChromaTerms t = colour_chroma_terms(cb[x >> 1], cr[x >> 1]);
    store_pixel<kFormat>(dst0, x, colour_pixel(y0[x], t, brightness));
    if (dst1) store_pixel<kFormat>(dst1, x, colour_pixel(y1[x], t, brightness));
  }
}

template <PixelFormat kFormat>
void colour_pair_c(uint8_t *dst0, uint8_t *dst1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                   const uint8_t *cr, int width, int brightness) {
  colour_pair_from<kFormat>(0, dst0, dst1, y0, y1, cb, cr, width, brightness);
}

}  // namespace

void chroma_blend_c(uint8_t *out, const uint8_t *own, const uint8_t *near, int count) {
  for (int x = 0; x < count; ++x) out[x] = static_cast<uint8_t>((3 * own[x] + near[x] + 2) >> 2);
}

void colour_pair_tail(PixelFormat format, int from, uint8_t *dst0, uint8_t *dst1, const uint8_t *y0,
                      const uint8_t *y1, const uint8_t *cb, const uint8_t *cr, int width, int brightness) {
  switch (format) {
    case kRgb15:
      colour_pair_from<kRgb15>(from, dst0, dst1, y0, y1, cb, cr, width, brightness);
      break;
    case kRgb16:
      colour_pair_from<kRgb16>(from, dst0, dst1, y0, y1, cb, cr, width, brightness);
      break;
    case kRgb24:
      colour_pair_from<kRgb24>(from, dst0, dst1, y0, y1, cb, cr, width, brightness);
      break;
    default:
      colour_pair_from<kRgb32>(from, dst0, dst1, y0, y1, cb, cr, width, brightness);
      break;
  }
}

void init_colour_dsp(ColourDsp &dsp, uint32_t cpu_flags) {
  dsp.pair[kRgb15] = colour_pair_c<kRgb15>;
  dsp.pair[kRgb16] = colour_pair_c<kRgb16>;
  dsp.pair[kRgb24] = colour_pair_c<kRgb24>;
  dsp.pair[kRgb32] = colour_pair_c<kRgb32>;
  dsp.blend = chroma_blend_c;
#if defined(__x86_64__) || defined(__i386__)
  colour_dsp_init_x86(dsp, cpu_flags);
#else
  (void)cpu_flags;
#endif
}

}  // namespace kestrum
