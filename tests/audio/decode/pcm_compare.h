// Comparing decoded sound with a reference: find the lag that best lines
// the two up (decoders differ in how many leading samples they emit), then
// the signal-to-noise ratio over the overlap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace audio_test {

struct PcmComparison {
  int64_t lag = 0;         ///< ours[i + lag] lines up with reference[i] (frames)
  int64_t compared = 0;    ///< frames compared
  double snr_db = 0.0;     ///< 10 log10(reference energy / difference energy)
  int32_t max_diff = 0;    ///< largest sample difference
};

/// Interleaved s16 with `channels` channels. The lag is searched within
/// +-max_lag frames on a stretch near the start, then the SNR is taken
/// over the whole overlap. A perfect match reports 200 dB.
PcmComparison compare_pcm(const std::vector<int16_t> &ours, const std::vector<int16_t> &reference,
                          int32_t channels, int32_t max_lag = 4096);

std::vector<int16_t> read_pcm_file(const std::string &path);
bool write_file(const std::string &path, const std::vector<uint8_t> &bytes);

}  // namespace audio_test
