// The channel and rate modes applied to decoded 16-bit PCM of the kinds
// that do not arrange their own output (AC-3, LPCM, AVI, pushed PCM).
#pragma once

#include <cstdint>

namespace lunaret {

inline int16_t saturate16(int32_t v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

/// The downmix table of more than two channels to stereo: one frame of
/// s[0..channels) (2..8) to a saturated left and right at lr[0], lr[1].
void downmix_frame(const int32_t *s, int32_t channels, int16_t *lr);

/// Replaces every pair of consecutive frames by their mean; -> frames left.
int32_t halve_rate(int16_t *data, int32_t frames, int32_t channels);

/// Stereo to mono by channel mode (0 left, 1 right, 3 mix); other modes
/// and mono input are left alone. -> channels of the result.
int32_t select_channel(int16_t *data, int32_t frames, int32_t channels, int32_t mode);

/// Both steps in order for a block of `frames` frames; -> 16-bit values.
int32_t apply_modes(int16_t *data, int32_t frames, int32_t channels, bool half, int32_t mode);

}  // namespace lunaret
