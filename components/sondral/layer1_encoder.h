// Our own MPEG-1 Layer I encoder (no library offers one): the analysis
// filterbank, a scalefactor per subband and frame, a bit allocation that
// gives each next bit to the subband whose quantising noise is highest,
// and padding slots so that rates at 44.1 kHz come out exact.
#pragma once

#include <cstdint>
#include <vector>

#include "components/sondral/analysis_filterbank.h"

namespace sondral {

class Layer1Encoder {
 public:
  static constexpr int kFrameSamples = 384;

  /// sample_rate 32000, 44100 or 48000; channels 1 or 2; kbps a legal
  /// Layer I rate.
  Layer1Encoder(int sample_rate, int channels, int kbps);

  /// Codes one frame from kFrameSamples interleaved samples per channel.
  /// `frame` is resized to the frame's bytes (valid until the next call).
  void encode(const int16_t *pcm, std::vector<uint8_t> &frame);

 private:
  static constexpr int kSubbands = 32;
  static constexpr int kSlots = 12;  // subband samples per frame

  void analyse(const int16_t *pcm);
  void allocate(int available_bits);

  int channels_;
  int sampling_index_;
  int bitrate_index_;
  int64_t slot_bits_;  // 12000 * kbps: bytes of a frame are 4 * slot_bits_ / rate (+4)
  int sample_rate_;
  int64_t padding_rest_ = 0;
  AnalysisFilterbank banks_[2];
  float sb_[2][kSlots][kSubbands];
  int scf_[2][kSubbands];
  int alloc_[2][kSubbands];
  float pcm_[kFrameSamples];
};

}  // namespace sondral
