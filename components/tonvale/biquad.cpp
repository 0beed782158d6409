#include "components/tonvale/biquad.h"

#include <cmath>

namespace tonvale {

Biquad peaking(double centre_hz, double rate_hz, double gain_db, double q) {
  const double a = std::pow(10.0, gain_db / 40.0);
  const double w0 = 2.0 * M_PI * centre_hz / rate_hz;
  const double alpha = std::sin(w0) / (2.0 * q);
  const double cos_w0 = std::cos(w0);
  const double a0 = 1.0 + alpha / a;
  Biquad f;
  f.b0 = (1.0 + alpha * a) / a0;
  f.b1 = -2.0 * cos_w0 / a0;
  f.b2 = (1.0 - alpha * a) / a0;
  f.a1 = -2.0 * cos_w0 / a0;
  f.a2 = (1.0 - alpha / a) / a0;
  return f;
}

}  // namespace tonvale
