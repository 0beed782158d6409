#include "tools/common/ycbcr_to_bgr.h"

#include <algorithm>
#include <array>

#include "tools/common/bgr_interleave.h"

namespace tools_common {

namespace {

struct ChromaTables {
  std::array<int16_t, 256> r;    // trunc(-1.402 e), by Cr'
  std::array<int16_t, 256> b;    // trunc(-1.772 c), by Cb'
  std::array<int16_t, 65536> g;  // -trunc(0.7141 e + 0.3441 c), by Cr' * 256 + Cb'
};

const ChromaTables &tables() {
  static const ChromaTables &t = []() -> const ChromaTables & {
    static ChromaTables t{};
    for (int v = 0; v < 256; ++v) {
      const double d = v - 128;
      t.r[v] = static_cast<int16_t>(static_cast<int32_t>(-1.402 * d));
      t.b[v] = static_cast<int16_t>(static_cast<int32_t>(-1.772 * d));
      for (int u = 0; u < 256; ++u)
        t.g[static_cast<size_t>(v) * 256 + u] =
            static_cast<int16_t>(-static_cast<int32_t>(0.7141 * d + 0.3441 * (u - 128)));
    }
    return t;
  }();
  return t;
}

// (above + 2 x row + below) >> 2 across one line, the neighbours already
// clamped to the plane by the caller.
inline void smooth_line(const uint8_t *__restrict above, const uint8_t *__restrict row,
                        const uint8_t *__restrict below, int32_t n, uint8_t *__restrict out) {
  for (int32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((above[i] + 2 * row[i] + below[i]) >> 2);
}

// Luma plus a colour's offset, clamped to 8 bits.
void add_clamped(const uint8_t *__restrict y, const int16_t *__restrict offset, int32_t n,
                 uint8_t *__restrict out) {
  // Sums fit 16 bits (offsets lie within -226..225): eight to a register.
  for (int32_t x = 0; x < n; ++x) {
    const auto v = static_cast<int16_t>(y[x] + offset[x]);
    out[x] = static_cast<uint8_t>(std::clamp<int16_t>(v, 0, 255));
  }
}

}  // namespace

bool YcbcrRowConverter::start(const PlanesView &p, int32_t max_width) {
  planes_ = p;
  chroma_row_done_ = -1;
  if (!p.y || !p.cb || !p.cr || p.width < 1 || p.height < 1 || max_width < 1) return false;
  width_ = std::min(std::min(p.width, max_width), kMaxConvertWidth);
  interleave_ = interleave_bgr_routine();
  tables();
  return true;
}

void YcbcrRowConverter::convert_row(int32_t r, uint8_t *out) {
  const PlanesView &p = planes_;
  const ChromaTables &t = tables();
  const int32_t width = width_;
  const int32_t chroma_width = (width + 1) / 2;
  const int32_t chroma_rows = (p.height + 1) / 2;
  // One line each of smoothed luma and of the three colour offsets, the
  // offsets spread to every luma sample of a chroma row (two rows share it).
  Lines &l = lines_;
  const uint8_t *y_row = p.y + static_cast<ptrdiff_t>(r) * p.y_pitch;
  const uint8_t *y_above = r > 0 ? y_row - p.y_pitch : y_row;
  const uint8_t *y_below = r + 1 < p.height ? y_row + p.y_pitch : y_row;
  smooth_line(y_above, y_row, y_below, width, l.y.data());
  const int32_t cr_index = r / 2;
  if (cr_index != chroma_row_done_) {
    const int32_t up = cr_index > 0 ? cr_index - 1 : cr_index;
    const int32_t down = cr_index + 1 < chroma_rows ? cr_index + 1 : cr_index;
    smooth_line(p.cb + static_cast<ptrdiff_t>(up) * p.cb_pitch,
                p.cb + static_cast<ptrdiff_t>(cr_index) * p.cb_pitch,
                p.cb + static_cast<ptrdiff_t>(down) * p.cb_pitch, chroma_width, l.cb.data());
    smooth_line(p.cr + static_cast<ptrdiff_t>(up) * p.cr_pitch,
                p.cr + static_cast<ptrdiff_t>(cr_index) * p.cr_pitch,
                p.cr + static_cast<ptrdiff_t>(down) * p.cr_pitch, chroma_width, l.cr.data());
    for (int32_t i = 0; i < chroma_width; ++i) {
      const uint8_t cb = l.cb[static_cast<size_t>(i)];
      const uint8_t cr = l.cr[static_cast<size_t>(i)];
      const auto red = static_cast<int16_t>(2 - t.r[cr]);
      const int16_t green = t.g[static_cast<size_t>(cr) * 256 + cb];
      const auto blue = static_cast<int16_t>(-t.b[cb]);
      l.red[2 * static_cast<size_t>(i)] = l.red[2 * static_cast<size_t>(i) + 1] = red;
      l.green[2 * static_cast<size_t>(i)] = l.green[2 * static_cast<size_t>(i) + 1] = green;
      l.blue[2 * static_cast<size_t>(i)] = l.blue[2 * static_cast<size_t>(i) + 1] = blue;
    }
    chroma_row_done_ = cr_index;
  }
  add_clamped(l.y.data(), l.blue.data(), width, l.b8.data());
  add_clamped(l.y.data(), l.green.data(), width, l.g8.data());
  add_clamped(l.y.data(), l.red.data(), width, l.r8.data());
  interleave_(l.b8.data(), l.g8.data(), l.r8.data(), width, out);
}

bool ycbcr_to_bgr_smoothed(const PlanesView &p, PictureBitmap *out) {
  if (!out || out->empty()) return false;
  // Per thread, so that the conversion allocates nothing per picture.
  thread_local YcbcrRowConverter converter;
  if (!converter.start(p, out->width())) return false;
  const int32_t height = std::min(p.height, out->height());
  for (int32_t r = 0; r < height; ++r) converter.convert_row(r, out->row(r));
  return true;
}

}  // namespace tools_common
