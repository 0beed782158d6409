#include "components/sondral/analysis_filterbank.h"

#include <cmath>

#include "common/mpeg_audio/synthesis_window.h"

namespace sondral {

namespace {

struct Tables {
  float c[512];     // analysis window C[i] = D[i] / 32
  float m[32][64];  // matrixing: cos((2i + 1)(k - 16) pi / 64)
  Tables() {
    for (int i = 0; i < 512; ++i) c[i] = float(mpeg_audio::window_d(i) / 32.0);
    for (int i = 0; i < 32; ++i)
      for (int k = 0; k < 64; ++k) m[i][k] = float(std::cos((2 * i + 1) * (k - 16) * M_PI / 64.0));
  }
};

const Tables &tables() {
  static const Tables t;
  return t;
}

}  // namespace

AnalysisFilterbank::AnalysisFilterbank() { tables(); }

void AnalysisFilterbank::reset() {
  x_.fill(0.0f);
  pos_ = 0;
}

void AnalysisFilterbank::analyse(const float *pcm, float *subbands) {
  const Tables &t = tables();
  // Shift in 32 samples: X[i] for i = 31 down to 0 takes the next sample,
  // so the newest sits at X[0]. X[i] lives at x_[pos_ + i].
  pos_ = (pos_ - 32) & 511;
  for (int i = 0; i < 32; ++i) {
    const float s = pcm[31 - i];
    x_[size_t(pos_ + i)] = s;
    x_[size_t(pos_ + i + 512) & 1023] = s;
  }
  const float *x = x_.data() + pos_;
  float y[64];
  for (int k = 0; k < 64; ++k) {
    float sum = 0.0f;
    for (int j = 0; j < 8; ++j) sum += t.c[k + 64 * j] * x[k + 64 * j];
    y[k] = sum;
  }
  for (int i = 0; i < 32; ++i) {
    float sum = 0.0f;
    for (int k = 0; k < 64; ++k) sum += t.m[i][k] * y[k];
    subbands[i] = sum;
  }
}

}  // namespace sondral
