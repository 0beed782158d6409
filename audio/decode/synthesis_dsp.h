// The float synthesis' inner routines, in a table so that a test can set
// the plain C forms beside the vector ones. Every form computes the same
// products and sums in the same order, so all give the same bits.
#pragma once

#include <cstdint>

namespace lunaret {

struct SynthDsp {
  /// The matrixing's 32-point DCT-II:
  /// out[k] = sum_n in[n] * cos(pi * (2n + 1) * k / 64).
  void (*dct32)(const float in[32], float out[32]);
  /// The matrixing: the ring's new vector v[0..63] from the DCT x of `in`
  /// (v[0..15] = x[16..31], v[16] = 0, v[17..47] = -x[31..1],
  /// v[48..63] = -x[0..15]), written again at v[1024..1087].
  void (*matrix)(const float in[32], float *v);
  /// The 32 samples of the full form from the ring at the newest vector
  /// `v` (reads v[0..1023]), rounded to nearest, clipped to 16 bits and
  /// written to out[0], out[stride], ...
  void (*window_full)(const float *v, int16_t *out, int32_t stride);
};

/// C first, then the best level `cpu_flags` (platform::CpuFlag bits) allows.
void init_synth_dsp(SynthDsp &dsp, uint32_t cpu_flags);

/// The forms of the DCT and the matrixing (synthesis_dct.cpp).
void dct32_c(const float in[32], float out[32]);
void dct32_sse2(const float in[32], float out[32]);
void dct32_avx(const float in[32], float out[32]);
void matrix_c(const float in[32], float *v);
void matrix_sse2(const float in[32], float *v);
void matrix_avx(const float in[32], float *v);

}  // namespace lunaret
