// Three lines of one colour each (B, G, R) into packed 24-bit pixels: the
// last step of the picture conversion. A plain routine and an SSSE3 one,
// chosen through the video engine's CPU-feature switch.
#pragma once

#include <cstdint>

namespace tools_common {

using InterleaveBgr = void (*)(const uint8_t *b, const uint8_t *g, const uint8_t *r, int32_t n, uint8_t *dst);

/// The plain routine (the reference).
void interleave_bgr_c(const uint8_t *b, const uint8_t *g, const uint8_t *r, int32_t n, uint8_t *dst);
/// The fastest routine the processor and the CPU mask allow.
InterleaveBgr interleave_bgr_routine();

}  // namespace tools_common
