// The frame header tables of ISO/IEC 11172-3 and 13818-3 (low sampling
// frequencies), shared by the decoder, the Layer I encoder and the
// multiplexer's audio framer. Header-only.
#pragma once

#include <cstdint>

namespace mpeg_audio {

/// Hz, indexed [ID * 4 + sampling_frequency]; index 3 is reserved.
/// ID 1 is MPEG-1, ID 0 the low sampling frequencies of MPEG-2.
inline constexpr int32_t kSampleRates[8] = {22050, 24000, 16000, 0, 44100, 48000, 32000, 0};

/// kbit/s, indexed [ID][layer - 1][bitrate_index]; index 0 is the free
/// format, 15 is reserved.
inline constexpr int16_t kBitRates[2][3][15] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
};

/// PCM samples per channel in one frame.
constexpr int32_t samples_per_frame(int32_t id, int32_t layer) {
  return layer == 1 ? 384 : (layer == 3 && id == 0) ? 576 : 1152;
}

/// Bytes of one frame, padding slot included; 0 for the free format or a
/// reserved index.
constexpr int32_t frame_bytes(int32_t id, int32_t layer, int32_t bitrate_index, int32_t sampling_index,
                              int32_t padding) {
  if ((id != 0 && id != 1) || layer < 1 || layer > 3 || bitrate_index < 1 || bitrate_index > 14 ||
      sampling_index < 0 || sampling_index > 2)
    return 0;
  const int32_t rate = kSampleRates[id * 4 + sampling_index];
  const int32_t kbps = kBitRates[id][layer - 1][bitrate_index];
  if (layer == 1) return (12000 * kbps / rate + padding) * 4;
  if (layer == 3 && id == 0) return 72000 * kbps / rate + padding;
  return 144000 * kbps / rate + padding;
}

}  // namespace mpeg_audio
