// The synthesis window D[i] of ISO/IEC 11172-3 (Table 3-B.3), from the
// shared table, and the constant math the synthesis tables are built with.
#pragma once

#include <cstdint>

#include "common/mpeg_audio/synthesis_window.h"

namespace lunaret::synthesis_tables {

inline constexpr double kPi = 3.14159265358979323846;

/// cos(x) for compile-time tables (double precision).
constexpr double const_cos(double x) {
  // Reduce to [-pi, pi], then a Taylor series that converges well there.
  while (x > kPi) x -= 2 * kPi;
  while (x < -kPi) x += 2 * kPi;
  double term = 1, sum = 1, x2 = x * x;
  for (int n = 1; n < 30; ++n) {
    term *= -x2 / double((2 * n - 1) * (2 * n));
    sum += term;
  }
  return sum;
}
constexpr double const_sin(double x) { return const_cos(x - kPi / 2); }

/// The window table itself lives in one shared header.
using mpeg_audio::kHalfWindow;
using mpeg_audio::window_value;

}  // namespace lunaret::synthesis_tables
