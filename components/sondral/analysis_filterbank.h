// The polyphase analysis filterbank of ISO/IEC 11172-3 (Annex C.1.3): 32 PCM
// samples of one channel in, one sample of each of the 32 subbands out. Its
// window is C[i] = D[i] / 32 of the decoder's synthesis window, so the
// decoder's synthesis undoes it.
#pragma once

#include <array>

namespace sondral {

class AnalysisFilterbank {
 public:
  AnalysisFilterbank();
  /// Takes the next 32 samples (oldest first, full scale +-1.0) and writes
  /// the 32 subband samples.
  void analyse(const float *pcm, float *subbands);
  void reset();

 private:
  // The last 512 input samples, newest at x_[pos_]; stored twice over so
  // that any 512 in a row can be read without wrapping.
  std::array<float, 1024> x_{};
  int pos_ = 0;
};

}  // namespace sondral
