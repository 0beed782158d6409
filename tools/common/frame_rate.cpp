#include "tools/common/frame_rate.h"

namespace tools_common {

namespace {

constexpr FrameRate kRates[16] = {{1, 1},  {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1},
                                  {50, 1}, {60000, 1001}, {60, 1}, {1, 1},  {1, 1},        {1, 1},
                                  {1, 1},  {1, 1},        {1, 1},  {1, 1}};

constexpr int32_t kCode25 = 3;
constexpr int32_t kCode2997 = 4;

// Distance of g (rate x 100) to the nearest multiple or divisor of m.
int32_t distance(int32_t g, int32_t m) {
  if (g >= 2400) {
    int32_t d = g % m;
    return d > m / 2 ? m - d : d;
  }
  int32_t d = m % g;
  return d > g / 2 ? g - d : d;
}

}  // namespace

FrameRate frame_rate(int32_t code) { return code >= 0 && code < 16 ? kRates[code] : FrameRate{1, 1}; }

int32_t choose_frame_rate_code(double fps, int32_t forced, bool video_cd) {
  const int32_t g = static_cast<int32_t>(fps * 100);
  int32_t code = forced;
  if (code == -1) {
    if (g > 2350 && g < 2400)
      code = 1;
    else if (g >= 2400 && g < 2450)
      code = 2;
    else if (g > 2450 && g < 2550)
      code = 3;
    else if (g > 2950 && g < 3000)
      code = 4;
    else if (g >= 3000 && g < 3050)
      code = 5;
  }
  if (video_cd || code == -1) {
    if (g <= 0) return kCode25;
    const int32_t d29 = distance(g, 2997);
    const int32_t d25 = distance(g, 2500);
    code = d29 <= d25 ? kCode2997 : kCode25;
  }
  return code;
}

}  // namespace tools_common
