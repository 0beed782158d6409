// The 4:2:0 studio-range picture the AVI frame reader should make of a
// planar codec picture, written out sample by sample as the tests' oracle:
// each chroma sample the rounded mean of the (up to) 2 x 2 source samples
// it covers, the last column and row repeated at odd sizes; full range
// scaled to 16-235 / 16-240 with rounding.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace avi_test {

struct Planar {
  const uint8_t *plane[3];
  int32_t stride[3];
  int32_t width, height;
  int32_t shift_x, shift_y;  // 1 halves, 0 keeps
  bool full;
};

struct Yuv420 {
  std::vector<uint8_t> y, cb, cr;  // tightly packed: width, (width + 1) / 2
};

inline int32_t to_studio(int32_t v, int32_t span, bool full) {
  return full ? 16 + (v * span + 127) / 255 : v;
}

inline Yuv420 reference_420(const Planar &in) {
  const int32_t w = in.width, h = in.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
  const int32_t sw = (w + (1 << in.shift_x) - 1) >> in.shift_x,
                sh = (h + (1 << in.shift_y) - 1) >> in.shift_y;
  Yuv420 out{std::vector<uint8_t>(size_t(w) * size_t(h)), std::vector<uint8_t>(size_t(cw) * size_t(ch)),
             std::vector<uint8_t>(size_t(cw) * size_t(ch))};
  for (int32_t r = 0; r < h; ++r)
    for (int32_t x = 0; x < w; ++x)
      out.y[size_t(r * w + x)] = uint8_t(to_studio(in.plane[0][r * in.stride[0] + x], 219, in.full));
  for (int p = 1; p < 3; ++p) {
    std::vector<uint8_t> &dst = p == 1 ? out.cb : out.cr;
    for (int32_t r = 0; r < ch; ++r) {
      for (int32_t x = 0; x < cw; ++x) {
        const int32_t x0 = in.shift_x ? x : 2 * x, x1 = in.shift_x ? x : std::min(2 * x + 1, sw - 1);
        const int32_t r0 = in.shift_y ? r : 2 * r, r1 = in.shift_y ? r : std::min(2 * r + 1, sh - 1);
        const uint8_t *s = in.plane[p];
        const int32_t st = in.stride[p];
        const int32_t sum = s[r0 * st + x0] + s[r0 * st + x1] + s[r1 * st + x0] + s[r1 * st + x1];
        dst[size_t(r * cw + x)] = uint8_t(to_studio((sum + 2) / 4, 224, in.full));
      }
    }
  }
  return out;
}

}  // namespace avi_test
