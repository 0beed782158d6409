// Subband synthesis: 32 subband samples of one channel in, 32 (or 16) PCM
// samples out. Two implementations share the polyphase structure of
// ISO/IEC 11172-3: a single-precision float one and a 16-bit fixed-point
// one (samples in Q14, window in Q14, 32-bit products).
//
// Each channel keeps a ring of the last 16 matrixed vectors (64 values
// each), stored twice in a row so that the window reads it without
// wrapping; `phase` is the slot of the newest vector.
#pragma once

#include <cstdint>

namespace lunaret {

struct SynthFloatChannel {
  alignas(16) float v[2 * 1024];
  int32_t phase;
  float last;  // last computed sample, for the interpolating form
};

struct SynthFixedChannel {
  alignas(16) int16_t v[2 * 1024];
  int32_t phase;
};

void synth_reset(SynthFloatChannel &ch);
void synth_reset(SynthFixedChannel &ch);

/// The three output forms of a synthesis call.
enum class SynthForm {
  Full,          ///< 32 samples
  Half,          ///< 16 samples: every second one (the even-numbered ones)
  Interpolated,  ///< 32 samples: odd-numbered computed, even-numbered the
                 ///< mean of their neighbours
};

/// Float synthesis. Writes 32 (Full, Interpolated) or 16 (Half) samples
/// to out[0], out[stride], ... rounded to nearest and clipped.
void synth_float(SynthFloatChannel &ch, const float in[32], SynthForm form, int16_t *out, int32_t stride);

/// Fixed-point synthesis: Full or Half (Interpolated counts as Full: the
/// 16-bit form is cheap enough to compute every sample).
void synth_fixed(SynthFixedChannel &ch, const float in[32], SynthForm form, int16_t *out, int32_t stride);

/// The 32-point DCT-II the matrixing runs on, exposed for tests:
/// out[k] = sum_n in[n] * cos(pi * (2n + 1) * k / 64).
void dct32_float(const float in[32], float out[32]);

/// The synthesis window D[i] of the standard, i = 0..511.
const float *synthesis_window();

}  // namespace lunaret
