#include "audio/decode/pcm_modes.h"

namespace lunaret {

int32_t halve_rate(int16_t *data, int32_t frames, int32_t channels) {
  const int32_t out = frames / 2;
  for (int32_t f = 0; f < out; ++f)
    for (int32_t c = 0; c < channels; ++c) {
      int32_t a = data[(2 * f) * channels + c], b = data[(2 * f + 1) * channels + c];
      data[f * channels + c] = static_cast<int16_t>((a + b) >> 1);
    }
  return out;
}

int32_t select_channel(int16_t *data, int32_t frames, int32_t channels, int32_t mode) {
  if (channels != 2 || mode == 2 || mode < 0 || mode > 3) return channels;
  for (int32_t f = 0; f < frames; ++f) {
    int32_t l = data[2 * f], r = data[2 * f + 1];
    data[f] = static_cast<int16_t>(mode == 0 ? l : mode == 1 ? r : (l + r) >> 1);
  }
  return 1;
}

int32_t apply_modes(int16_t *data, int32_t frames, int32_t channels, bool half, int32_t mode) {
  if (half) frames = halve_rate(data, frames, channels);
  channels = select_channel(data, frames, channels, mode);
  return frames * channels;
}

}  // namespace lunaret
