// Inverse DCT of one 8x8 block and the table of its CPU variants.
//
// Input: 64 dequantised coefficients, column-major (element u * 8 + v holds
// the coefficient of horizontal frequency u and vertical frequency v; the
// block decoder writes them that way through transposed scans). Each routine
// reconstructs the block and writes it, then clears the coefficients so the
// block is ready for the next one.
//
// The result of the transform is the residual sample s; in the engine's
// terms the output is "s + 512" limited to 0..1023, and storing takes 384
// (intra, mid-grey included) or 512 (non-intra) off again. Doing the limit
// and the offsets in one clamp of the final sum gives the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/decode/decoder.h"

namespace kestrum {

/// Intra store: dst = clamp(s + 128, 0, 255).
using IdctPutFn = void (*)(int16_t *block, uint8_t *dst, ptrdiff_t stride);
/// Non-intra store: dst = clamp(dst + s, 0, 255).
using IdctAddFn = void (*)(int16_t *block, uint8_t *dst, ptrdiff_t stride);

struct IdctDsp {
  IdctPutFn put = nullptr;
  IdctAddFn add = nullptr;
};

/// C first, then the best SIMD level allowed by cpu_flags.
void init_idct_dsp(IdctDsp &dsp, IdctVariant variant, uint32_t cpu_flags);

// Plain C references (also the table entries without SIMD).
void idct_accurate_put_c(int16_t *block, uint8_t *dst, ptrdiff_t stride);
void idct_accurate_add_c(int16_t *block, uint8_t *dst, ptrdiff_t stride);
void idct_sparse_put_c(int16_t *block, uint8_t *dst, ptrdiff_t stride);
void idct_sparse_add_c(int16_t *block, uint8_t *dst, ptrdiff_t stride);

/// The accurate transform in the "s + 512" form (raster output), for tests.
void idct_accurate_c(const int16_t *block, int16_t out[64]);
/// The sparse transform in the "s + 512" form (raster output), for tests.
void idct_sparse_c(const int16_t *block, int16_t out[64]);

/// Fixed-point cosines: round(16384 * cos(k * pi / 16) / 2), k = 0..7 (the
/// k = 0 entry is the DC weight 16384 / (2 * sqrt 2)).
inline constexpr int16_t kIdctCos[8] = {5793, 8035, 7568, 6811, 5793, 4551, 3135, 1598};

/// Basis weight of frequency u at sample x, times 16384.
constexpr int16_t idct_weight(int x, int u) {
  if (u == 0) return kIdctCos[0];
  int k = ((2 * x + 1) * u) % 32;
  if (k > 16) k = 32 - k;
  if (k > 8) return int16_t(-kIdctCos[16 - k]);
  if (k == 8) return 0;
  return kIdctCos[k];
}

}  // namespace kestrum
