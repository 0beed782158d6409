#include "tools/common/ycbcr_to_bgr.h"

#include <algorithm>
#include <array>

namespace tools_common {

namespace {

struct ChromaTables {
  std::array<int16_t, 256> r;  // trunc(-1.402 e), by Cr'
  std::array<int16_t, 256> b;  // trunc(-1.772 c), by Cb'
};

const ChromaTables &tables() {
  static const ChromaTables t = [] {
    ChromaTables t{};
    for (int v = 0; v < 256; ++v) {
      const double d = v - 128;
      t.r[v] = static_cast<int16_t>(static_cast<int32_t>(-1.402 * d));
      t.b[v] = static_cast<int16_t>(static_cast<int32_t>(-1.772 * d));
    }
    return t;
  }();
  return t;
}

inline uint8_t clamp8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// (above + 2 x row + below) >> 2 across one line, the neighbours already
// clamped to the plane by the caller.
inline void smooth_line(const uint8_t *above, const uint8_t *row, const uint8_t *below, int32_t n,
                        uint8_t *out) {
  for (int32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((above[i] + 2 * row[i] + below[i]) >> 2);
}

}  // namespace

bool ycbcr_to_bgr_smoothed(const PlanesView &p, PictureBitmap *out) {
  if (!p.y || !p.cb || !p.cr || !out || out->empty() || p.width < 1 || p.height < 1) return false;
  const ChromaTables &t = tables();
  const int32_t width = std::min(p.width, out->width());
  const int32_t height = std::min(p.height, out->height());
  const int32_t chroma_width = (width + 1) / 2;
  const int32_t chroma_rows = (p.height + 1) / 2;
  // Lines of smoothed samples; a picture is at most 4096 wide.
  std::array<uint8_t, 4096> y_line;
  std::array<uint8_t, 2048> cb_line;
  std::array<uint8_t, 2048> cr_line;
  int32_t chroma_row_done = -1;
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t *y_row = p.y + static_cast<ptrdiff_t>(r) * p.y_pitch;
    const uint8_t *y_above = r > 0 ? y_row - p.y_pitch : y_row;
    const uint8_t *y_below = r + 1 < p.height ? y_row + p.y_pitch : y_row;
    smooth_line(y_above, y_row, y_below, width, y_line.data());
    const int32_t cr_index = r / 2;
    if (cr_index != chroma_row_done) {
      const int32_t up = cr_index > 0 ? cr_index - 1 : cr_index;
      const int32_t down = cr_index + 1 < chroma_rows ? cr_index + 1 : cr_index;
      smooth_line(p.cb + static_cast<ptrdiff_t>(up) * p.cb_pitch,
                  p.cb + static_cast<ptrdiff_t>(cr_index) * p.cb_pitch,
                  p.cb + static_cast<ptrdiff_t>(down) * p.cb_pitch, chroma_width, cb_line.data());
      smooth_line(p.cr + static_cast<ptrdiff_t>(up) * p.cr_pitch,
                  p.cr + static_cast<ptrdiff_t>(cr_index) * p.cr_pitch,
                  p.cr + static_cast<ptrdiff_t>(down) * p.cr_pitch, chroma_width, cr_line.data());
      chroma_row_done = cr_index;
    }
    uint8_t *dst = out->row(r);
    for (int32_t x = 0; x < width; x += 2) {
      const int32_t c = cb_line[x / 2] - 128;
      const int32_t e = cr_line[x / 2] - 128;
      const int32_t red = 2 - t.r[cr_line[x / 2]];
      const int32_t green = -static_cast<int32_t>(0.7141 * e + 0.3441 * c);
      const int32_t blue = -t.b[cb_line[x / 2]];
      const int32_t pair = std::min<int32_t>(2, width - x);
      for (int32_t k = 0; k < pair; ++k) {
        const int32_t luma = y_line[x + k];
        dst[0] = clamp8(luma + blue);
        dst[1] = clamp8(luma + green);
        dst[2] = clamp8(luma + red);
        dst += 3;
      }
    }
  }
  return true;
}

}  // namespace tools_common
