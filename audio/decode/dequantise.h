// Layer I and II scaling: the scalefactor multipliers and the sample
// dequantisation shared by both layers.
#pragma once

#include <cstdint>

namespace lunaret {

/// Scalefactor multipliers 2^(1 - i/3) for i = 0..62; entry 63, which the
/// standard leaves undefined, is 1e-20 so that it silences its subband.
struct ScalefactorTable {
  float m[64];
};
constexpr ScalefactorTable make_scalefactors() {
  ScalefactorTable t{};
  constexpr double kThirds[3] = {1.0, 0.79370052598409973738, 0.62996052494743658238};
  for (int i = 0; i < 63; ++i) {
    double v = 2.0 * kThirds[i % 3];
    for (int k = 0; k < i / 3; ++k) v *= 0.5;
    t.m[i] = float(v);
  }
  t.m[63] = 1e-20f;
  return t;
}
inline constexpr ScalefactorTable kScalefactors = make_scalefactors();

/// A sample s of a class with n levels (n odd) means (2s - (n - 1)) / n:
/// the levels spread evenly over (-1, 1).
constexpr float dequantise(uint32_t s, int32_t levels) {
  return float(2.0 * double(s) - double(levels - 1)) / float(levels);
}

}  // namespace lunaret
