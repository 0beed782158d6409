#include "tools/common/scalers.h"

#include <algorithm>
#include <cstring>

namespace tools_common {

namespace {

constexpr int32_t kChannels = 3;

bool valid_rect(const PictureBitmap &src, const PictureBitmap *dst, int32_t x, int32_t y, int32_t w,
                int32_t h) {
  return !src.empty() && dst && !dst->empty() && w > 0 && h > 0 && x >= 0 && y >= 0 &&
         x + w <= dst->width() && y + h <= dst->height();
}

// Source position of output index i in 8-bit fractions.
inline int32_t bilinear_position(int32_t i, int32_t src_n, int32_t dst_n) {
  return dst_n > 1 ? static_cast<int32_t>(static_cast<int64_t>(i) * 256 * (src_n - 1) / (dst_n - 1)) : 0;
}

inline int32_t lerp(int32_t p, int32_t q, int32_t f) { return p + (q - p) * f / 256; }

}  // namespace

void scale_bilinear(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                    ScaleScratch *scratch) {
  if (!valid_rect(src, dst, x, y, w, h) || !scratch) return;
  const int32_t sw = src.width();
  const int32_t sh = src.height();
  // Column positions, then two horizontally scaled rows kept as the pair
  // the output rows blend between.
  scratch->a.resize(static_cast<size_t>(w));
  for (int32_t i = 0; i < w; ++i) scratch->a[i] = bilinear_position(i, sw, w);
  const size_t row_len = static_cast<size_t>(w) * kChannels;
  scratch->rows.resize(row_len * 2);
  uint8_t *rows[2] = {scratch->rows.data(), scratch->rows.data() + row_len};
  int32_t held[2] = {-1, -1};
  auto scale_row = [&](int32_t sy, uint8_t *out) {
    const uint8_t *in = src.row(sy);
    for (int32_t i = 0; i < w; ++i) {
      const int32_t pos = scratch->a[i];
      const int32_t p = pos >> 8;
      const int32_t f = pos & 255;
      const int32_t q = std::min(p + 1, sw - 1);
      for (int32_t c = 0; c < kChannels; ++c)
        out[i * kChannels + c] = static_cast<uint8_t>(lerp(in[p * kChannels + c], in[q * kChannels + c], f));
    }
  };
  auto row_for = [&](int32_t sy) -> const uint8_t * {
    for (int k = 0; k < 2; ++k)
      if (held[k] == sy) return rows[k];
    // Replace the row that is not the other one asked for next.
    const int k = held[0] < held[1] ? 0 : 1;
    scale_row(sy, rows[k]);
    held[k] = sy;
    return rows[k];
  };
  for (int32_t j = 0; j < h; ++j) {
    const int32_t pos = bilinear_position(j, sh, h);
    const int32_t p = pos >> 8;
    const int32_t f = pos & 255;
    const int32_t q = std::min(p + 1, sh - 1);
    const uint8_t *top = row_for(p);
    const uint8_t *bottom = row_for(q);
    uint8_t *out = dst->row(y + j) + static_cast<ptrdiff_t>(x) * kChannels;
    for (size_t k = 0; k < row_len; ++k) out[k] = static_cast<uint8_t>(lerp(top[k], bottom[k], f));
  }
}

void scale_area(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!valid_rect(src, dst, x, y, w, h)) return;
  const int64_t sw = src.width();
  const int64_t sh = src.height();
  auto clamp_x = [&](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, sw - 1)); };
  auto clamp_y = [&](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, sh - 1)); };
  // trunc((i - 1) * S / D) .. trunc((i + 1) * S / D); C division truncates
  // toward zero as the real-number form does.
  auto lo = [](int64_t i, int64_t s, int64_t d) { return (i - 1) * s / d; };
  auto hi = [](int64_t i, int64_t s, int64_t d) { return (i + 1) * s / d; };
  // Kept between pictures: sized once for the widest source seen.
  thread_local std::vector<int32_t> prefix;
  prefix.resize(static_cast<size_t>(sw + 1) * kChannels);
  for (int32_t oy = 0; oy < h; ++oy) {
    const bool y_on_pixel = (static_cast<int64_t>(oy) * sh) % h == 0;
    const int32_t cy = clamp_y(oy * sh / h);
    const int32_t y0 = clamp_y(lo(oy, sh, h));
    const int32_t y1 = clamp_y(hi(oy, sh, h));
    // Column sums over rows y0..y1, then running totals along the row: the
    // mean of any block of columns is one difference.
    std::fill(prefix.begin(), prefix.end(), 0);
    for (int32_t sy = y0; sy <= y1; ++sy) {
      const uint8_t *in = src.row(sy);
      for (int64_t k = 0; k < sw * kChannels; ++k) prefix[static_cast<size_t>(k) + kChannels] += in[k];
    }
    for (int64_t k = kChannels; k < (sw + 1) * kChannels; ++k)
      prefix[static_cast<size_t>(k)] += prefix[static_cast<size_t>(k) - kChannels];
    uint8_t *out = dst->row(y + oy) + static_cast<ptrdiff_t>(x) * kChannels;
    for (int32_t ox = 0; ox < w; ++ox, out += kChannels) {
      const bool x_on_pixel = (static_cast<int64_t>(ox) * sw) % w == 0;
      const int32_t cx = clamp_x(ox * sw / w);
      if (x_on_pixel && y_on_pixel) {
        const int32_t xl = clamp_x(cx - 1);
        const int32_t xr = clamp_x(cx + 1);
        const uint8_t *below = src.row(clamp_y(cy + 1));
        const uint8_t *above = src.row(clamp_y(cy - 1));
        const uint8_t *centre = src.row(cy) + cx * kChannels;
        for (int32_t c = 0; c < kChannels; ++c) {
          const int32_t a = ((below[xl * kChannels + c] + below[xr * kChannels + c]) / 2) >> 1;
          const int32_t b = ((above[xl * kChannels + c] + above[xr * kChannels + c]) / 2) >> 1;
          out[c] = static_cast<uint8_t>((centre[c] >> 1) + (a + b) / 2);
        }
        continue;
      }
      const int32_t x0 = clamp_x(lo(ox, sw, w));
      const int32_t x1 = clamp_x(hi(ox, sw, w));
      const int32_t count = (x1 - x0 + 1) * (y1 - y0 + 1);
      const int32_t *from = &prefix[static_cast<size_t>(x0) * kChannels];
      const int32_t *to = &prefix[static_cast<size_t>(x1 + 1) * kChannels];
      for (int32_t c = 0; c < kChannels; ++c) out[c] = static_cast<uint8_t>((to[c] - from[c]) / count);
    }
  }
}

void scale_stretch(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!valid_rect(src, dst, x, y, w, h)) return;
  const int64_t sw = src.width();
  const int64_t sh = src.height();
  for (int32_t oy = 0; oy < h; ++oy) {
    const uint8_t *in = src.row(static_cast<int32_t>(oy * sh / h));
    uint8_t *out = dst->row(y + oy) + static_cast<ptrdiff_t>(x) * kChannels;
    if (w == sw) {
      std::memcpy(out, in, static_cast<size_t>(w) * kChannels);
      continue;
    }
    for (int32_t ox = 0; ox < w; ++ox)
      std::memcpy(out + ox * kChannels, in + (ox * sw / w) * kChannels, kChannels);
  }
}

void letterbox_band(int32_t w, int32_t h, int32_t *top, int32_t *band_height) {
  int32_t band = w * 9 / 16;
  if (band > h) band = h;
  *band_height = band;
  *top = (h - band) / 2;
}

void scale_picture(const PictureBitmap &src, PictureBitmap *dst, bool letterbox, bool smooth,
                   ScaleScratch *scratch) {
  if (src.empty() || !dst || dst->empty()) return;
  int32_t top = 0;
  int32_t h = dst->height();
  const int32_t w = dst->width();
  if (letterbox) {
    dst->clear();
    letterbox_band(w, dst->height(), &top, &h);
  }
  if (smooth && w < src.width() && h < src.height()) {
    scale_area(src, dst, 0, top, w, h);
  } else if (smooth && w > src.width() && h > src.height()) {
    scale_bilinear(src, dst, 0, top, w, h, scratch);
  } else {
    scale_stretch(src, dst, 0, top, w, h);
  }
}

}  // namespace tools_common
