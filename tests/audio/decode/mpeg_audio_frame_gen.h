// Writes valid Layer I and Layer II frames with random content: random
// allocations (kept within the frame's bit budget), scalefactors and
// samples, all within the syntax. Layer I has no encoder on this machine,
// so these frames, decoded by ffmpeg, are the Layer I oracle; the same
// generator makes Layer II cases the encoder never produces (every
// allocation table, CRC words, dual channel).
#pragma once

#include <cstdint>
#include <vector>

namespace audio_test {

struct FrameGenOptions {
  int32_t layer = 1;           ///< 1 or 2
  int32_t id = 1;              ///< 1 MPEG-1, 0 MPEG-2 low sampling frequency
  int32_t sampling_index = 1;  ///< 0..2
  int32_t bitrate_index = 14;
  int32_t mode = 0;  ///< 0 stereo, 1 joint, 2 dual, 3 mono
  int32_t mode_extension = 0;
  bool crc = false;  ///< write a (zero) CRC word
  int32_t frames = 40;
  uint32_t seed = 1;
  int32_t scf_min = 8;  ///< scalefactor range for allocated subbands
  int32_t scf_max = 40;
  int32_t max_allocation = 15;  ///< caps the allocation values drawn
  int32_t busy_subbands = 20;   ///< subbands that may get an allocation
  int32_t silent_subband = -1;  ///< if >= 0: this subband always gets
                                ///< an allocation and scalefactor 63
};

/// A stream of `frames` frames of the layer asked for.
std::vector<uint8_t> make_mpeg_audio_stream(const FrameGenOptions &options);

}  // namespace audio_test
