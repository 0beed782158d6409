// C reference of the colour conversion loops and the table's init.
#include "video/output/colour_dsp.h"

#include <cstring>

#include "video/output/cpu_flags.h"
#include "video/output/x86/colour_x86.h"

namespace kestrum {

namespace {

inline void store_pixel(PixelFormat format, uint8_t *dst, int x, Rgb8 p) {
  switch (format) {
    case kRgb15: {
      const uint16_t v = colour_pack15(p);
      std::memcpy(dst + 2 * x, &v, 2);
      break;
    }
    case kRgb16: {
      const uint16_t v = colour_pack16(p);
      std::memcpy(dst + 2 * x, &v, 2);
      break;
    }
    case kRgb24:
      dst[3 * x] = p.b;
      dst[3 * x + 1] = p.g;
      dst[3 * x + 2] = p.r;
      break;
    default:
      dst[4 * x] = p.b;
      dst[4 * x + 1] = p.g;
      dst[4 * x + 2] = p.r;
      dst[4 * x + 3] = 0;
      break;
  }
}

template <PixelFormat kFormat>
void colour_pair_c(uint8_t *dst0, uint8_t *dst1, const uint8_t *y0, const uint8_t *y1, const uint8_t *cb,
                   const uint8_t *cr, int width, int brightness) {
  colour_pair_tail(kFormat, 0, dst0, dst1, y0, y1, cb, cr, width, brightness);
}

}  // namespace

void colour_pair_tail(PixelFormat format, int from, uint8_t *dst0, uint8_t *dst1, const uint8_t *y0,
                      const uint8_t *y1, const uint8_t *cb, const uint8_t *cr, int width, int brightness) {
  for (int x = from; x < width; ++x) {
    // Both lines share the chroma terms of their sample.
    const ChromaTerms t = colour_chroma_terms(cb[x >> 1], cr[x >> 1]);
    store_pixel(format, dst0, x, colour_pixel(y0[x], t, brightness));
    if (dst1) store_pixel(format, dst1, x, colour_pixel(y1[x], t, brightness));
  }
}

void init_colour_dsp(ColourDsp &dsp, uint32_t cpu_flags) {
  dsp.pair[kRgb15] = colour_pair_c<kRgb15>;
  dsp.pair[kRgb16] = colour_pair_c<kRgb16>;
  dsp.pair[kRgb24] = colour_pair_c<kRgb24>;
  dsp.pair[kRgb32] = colour_pair_c<kRgb32>;
#if defined(__x86_64__) || defined(__i386__)
  colour_dsp_init_x86(dsp, cpu_flags);
#else
  (void)cpu_flags;
#endif
}

}  // namespace kestrum
