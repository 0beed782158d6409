#include "video/engine/play/levels.h"

#include <algorithm>

namespace kestrum::play {

VideoLevels mpeg1_video_levels() { return VideoLevels{}; }

int32_t vbv_bytes(int32_t value, int32_t extension) {
  // (extension << 21) | (value << 11): 10 + 8 bits of 16-kbit units, in bytes.
  const int64_t k =
      (static_cast<int64_t>(extension & 0xFF) << 21) | (static_cast<int64_t>(value & 0x3FF) << 11);
  return static_cast<int32_t>(std::min<int64_t>(k, INT32_MAX));
}

VideoLevels mpeg2_video_levels(int32_t k) {
  VideoLevels v;
  int32_t step;
  if (k > kMpeg2SmallVbv) {
    step = k / 4;
  } else {
    k = kMpeg2SmallVbvSize;
    step = kMpeg2SmallVbvStep;
  }
  v.pace_base = k >> 12;
  if (k < kMpeg2FixedFrom || k > kMpeg2FixedTo) {
    for (int i = 1; i <= 5; ++i) {
      const int64_t l = static_cast<int64_t>(k) + static_cast<int64_t>(i - 1) * step;
      v.level[i] = static_cast<int32_t>(std::min<int64_t>(l, INT32_MAX));
    }
  } else {
    for (int i = 1; i <= 5; ++i) v.level[i] = kMpeg2FixedLevels[i - 1];
  }
  v.low = std::max(k - kMpeg2LowVideoMargin, 0);
  return v;
}

AudioLevels audio_levels(bool mpeg2, int32_t audio_bit_rate) {
  AudioLevels a;
  if (!mpeg2) return a;
  int32_t base = std::max(audio_bit_rate, 0) / 8 / 8;  // bytes per 125 ms
  int32_t step = kMpeg2AudioStep;
  if (base >= kMpeg2AudioBase) {
    step = base * 2 / 5;
  } else {
    base = kMpeg2AudioBase;
  }
  for (int i = 1; i <= 4; ++i) a.level[i] = base + (i - 1) * step;
  return a;
}

}  // namespace kestrum::play
