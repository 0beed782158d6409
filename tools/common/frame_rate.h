// MPEG frame rates by frame_rate_code and the converters' choice of an
// output code from a source rate.
#pragma once

#include <cstdint>

namespace tools_common {

struct FrameRate {
  int32_t numerator;
  int32_t denominator;
  double fps() const { return static_cast<double>(numerator) / denominator; }
  double seconds_per_picture() const { return static_cast<double>(denominator) / numerator; }
};

/// Codes 0..15: 1 -> 24000/1001, 2 -> 24, 3 -> 25, 4 -> 30000/1001, 5 -> 30,
/// 6 -> 50, 7 -> 60000/1001, 8 -> 60, anything else (and codes outside
/// 0..15) 1/1.
FrameRate frame_rate(int32_t code);

/// True for the codes an output may carry (1..8).
constexpr bool usable_frame_rate_code(int32_t code) { return code >= 1 && code <= 8; }

/// The output code for a source of `fps` pictures per second. `forced` is
/// -1 for automatic (the rate's own code for 23.976, 24, 25, 29.97 and 30
/// sources) or a code kept as given; with `video_cd`, or when automatic
/// finds none, 25 (3) or 29.97 (4) by the nearer multiple.
int32_t choose_frame_rate_code(double fps, int32_t forced, bool video_cd);

}  // namespace tools_common
