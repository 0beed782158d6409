// Which x86 levels override which motion-compensation entries.
#pragma once

#include <cstdint>

#include "video/decode/mc.h"

namespace kestrum {

void init_mc_dsp_sse2(McDsp &dsp, McVariant variant);

/// Replaces the C entries with SSE2 ones as far as cpu_flags allow.
void init_mc_dsp_x86(McDsp &dsp, McVariant variant, uint32_t cpu_flags);

}  // namespace kestrum
