// Second-order peaking filters after the widely used audio-EQ cookbook
// formulas, run in transposed direct form II (two state words per filter,
// well behaved in double precision).
#pragma once

namespace tonvale {

struct Biquad {
  // Normalised so that a0 = 1.
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

/// Bandwidth of every band. 2.5 keeps a +12 dB band within about 0.7 dB at
/// 1.2 octaves away, the closest spacing of the engine's band table two
/// bands apart (120 and 280 Hz), while still lifting a useful region.
constexpr double kBandQ = 2.5;

/// Peaking filter with gain_db at centre_hz. An identity filter (b = a) when
/// gain_db is 0; callers skip those.
Biquad peaking(double centre_hz, double rate_hz, double gain_db, double q = kBandQ);

/// One sample through one filter; state holds the two delay words.
inline double biquad_step(const Biquad &f, double state[2], double x) {
  const double y = f.b0 * x + state[0];
  state[0] = f.b1 * x - f.a1 * y + state[1];
  state[1] = f.b2 * x - f.a2 * y;
  return y;
}

}  // namespace tonvale
