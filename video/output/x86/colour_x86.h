// Which CPU level overrides which colour-conversion entry.
#pragma once

#include <cstdint>

#include "video/cpu/cpu_features.h"
#include "video/output/colour_dsp.h"

namespace kestrum {

void colour_pair15_sse2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair16_sse2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair24_sse2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair32_sse2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair15_avx2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair16_avx2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair24_avx2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void colour_pair32_avx2(uint8_t *, uint8_t *, const uint8_t *, const uint8_t *, const uint8_t *,
                        const uint8_t *, int, int);
void chroma_blend_sse2(uint8_t *out, const uint8_t *own, const uint8_t *near, int count);

inline void colour_dsp_init_x86(ColourDsp &dsp, uint32_t cpu_flags) {
  if (!(cpu_flags & kCpuSse2)) return;
  dsp.pair[kRgb15] = colour_pair15_sse2;
  dsp.pair[kRgb16] = colour_pair16_sse2;
  dsp.pair[kRgb24] = colour_pair24_sse2;
  dsp.pair[kRgb32] = colour_pair32_sse2;
  dsp.blend = chroma_blend_sse2;
  if (!(cpu_flags & kCpuAvx2)) return;
  dsp.pair[kRgb15] = colour_pair15_avx2;
  dsp.pair[kRgb16] = colour_pair16_avx2;
  dsp.pair[kRgb24] = colour_pair24_avx2;
  dsp.pair[kRgb32] = colour_pair32_avx2;
}

}  // namespace kestrum
