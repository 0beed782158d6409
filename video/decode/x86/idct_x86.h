// Which x86 levels override which inverse DCT entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/decode/idct.h"

namespace kestrum {

void idct_accurate_put_sse2(int16_t *block, uint8_t *dst, ptrdiff_t stride);
void idct_accurate_add_sse2(int16_t *block, uint8_t *dst, ptrdiff_t stride);
void idct_accurate_put_avx2(int16_t *block, uint8_t *dst, ptrdiff_t stride);
void idct_accurate_add_avx2(int16_t *block, uint8_t *dst, ptrdiff_t stride);

/// Upgrades the accurate transform's entries as far as cpu_flags allow.
void init_idct_dsp_x86(IdctDsp &dsp, uint32_t cpu_flags);

}  // namespace kestrum
