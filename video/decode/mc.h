// Motion-compensation block routines and the table of their CPU variants.
//
// Each routine forms a prediction block of width 16 or 8 and `height` rows
// (4, 8 or 16: the SIMD routines take two rows per step)
// from a reference at `ref` (already offset by the integer part of the
// vector) into `dst`; both use the same line stride (the frame's, or twice
// it for field prediction). The half-pel case is 0 none, 1 horizontal, 2
// vertical, 3 both. "put" stores the prediction, "avg" averages it into what
// dst holds (the second prediction of a bidirectional macroblock).
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/decode/decoder.h"

namespace kestrum {

using McFn = void (*)(uint8_t *dst, const uint8_t *ref, ptrdiff_t stride, int height);

struct McDsp {
  McFn put[2][4] = {};  // [0] 16 wide, [1] 8 wide; [half-pel case]
  McFn avg[2][4] = {};
};

/// C first, then the best SIMD level allowed by cpu_flags.
void init_mc_dsp(McDsp &dsp, McVariant variant, uint32_t cpu_flags);
/// Only the C routines (the reference the SIMD ones are checked against).
void init_mc_dsp_c(McDsp &dsp, McVariant variant);

}  // namespace kestrum
