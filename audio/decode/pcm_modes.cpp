#include "audio/decode/pcm_modes.h"

namespace lunaret {

namespace {

int32_t half(int32_t v) { return v / 2; }

}  // namespace

void downmix_frame(const int32_t *s, int32_t channels, int16_t *lr) {
  int32_t l, r;
  switch (channels) {
    case 2:
      l = s[0], r = s[1];
      break;
    case 3:
      l = s[0] + half(s[1]), r = s[2] + half(s[1]);
      break;
    case 4:
      l = s[0] + half(s[2]), r = s[1] + half(s[3]);
      break;
    case 5:
      l = s[0] + half(s[1]) + half(s[3]), r = s[2] + half(s[1]) + half(s[4]);
      break;
    case 6:
      l = s[0] + half(s[1]) + half(s[4]), r = s[2] + half(s[3]) + half(s[5]);
      break;
    case 7:
      l = s[0] + half(s[1]) + half(s[2]) + half(s[5]);
      r = s[3] + half(s[2]) + half(s[4]) + half(s[6]);
      break;
    default:
      l = s[0] + half(s[1]) + half(s[2]) + half(s[5]) + half(s[7]);
      r = s[3] + half(s[2]) + half(s[4]) + half(s[6]) + half(s[7]);
      break;
  }
  lr[0] = saturate16(l);
  lr[1] = saturate16(r);
}

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
