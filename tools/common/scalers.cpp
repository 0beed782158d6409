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

// Separate, unaliased pointers: the compiler vectorises the sums. Sums of
// up to 257 rows fit 16 bits, twice as many to a register as 32.
template <typename Sum>
void widen_row(const uint8_t *__restrict in, Sum *__restrict sums, size_t n) {
  for (size_t k = 0; k < n; ++k) sums[k] = in[k];
}
template <typename Sum>
void add_row(const uint8_t *__restrict in, Sum *__restrict sums, size_t n) {
  for (size_t k = 0; k < n; ++k) sums[k] = static_cast<Sum>(sums[k] + in[k]);
}
constexpr int32_t kRowsIn16Bits = 65535 / 255;

// Running totals of B, G, R sums (out gets a leading zero pixel). The
// totals stay in registers: reading back the last stored ones stalls.
template <typename Sum>
void running_totals(const Sum *__restrict sums, size_t pixels, uint32_t *__restrict out) {
  uint32_t b = 0, g = 0, r = 0;
  out[0] = out[1] = out[2] = 0;
  for (size_t i = 0; i < pixels; ++i) {
    b += sums[3 * i];
    g += sums[3 * i + 1];
    r += sums[3 * i + 2];
    out[3 * i + 3] = b;
    out[3 * i + 4] = g;
    out[3 * i + 5] = r;
  }
}

// Column sums of rows lo..hi of src, then their running totals.
template <typename Sum>
void block_columns(RowSource &src, int32_t lo, int32_t hi, std::vector<Sum> &sums, uint32_t *totals) {
  const size_t values = sums.size();
  for (int32_t sy = lo; sy <= hi; ++sy) {
    if (sy == lo)
      widen_row(src.row(sy), sums.data(), values);
    else
      add_row(src.row(sy), sums.data(), values);
  }
  running_totals(sums.data(), values / 3, totals);
}

// Each output value's block sum: one difference of running totals.
void block_totals(const uint32_t *__restrict totals, const uint32_t *__restrict start,
                  const uint32_t *__restrict end, size_t n, uint32_t *__restrict out) {
  for (size_t k = 0; k < n; ++k) out[k] = totals[end[k]] - totals[start[k]];
}

// Sums times their exact reciprocals: the means (vectorised).
void scale_down(const uint32_t *__restrict sums, const uint32_t *__restrict reciprocal, size_t n,
                uint8_t *__restrict out) {
  for (size_t k = 0; k < n; ++k)
    out[k] = static_cast<uint8_t>((static_cast<uint64_t>(sums[k]) * reciprocal[k]) >> 32);
}

// Where an area-filtered output column or row lands: its source pixel,
// whether it lands on it exactly, and the span trunc((i - 1) * S / D) ..
// trunc((i + 1) * S / D) it averages otherwise (C division truncates
// toward zero as the real-number form does).
struct AreaSpan {
  int32_t centre, lo, hi;
  bool on_pixel;
};

void area_spans(std::vector<AreaSpan> &out, int64_t n, int64_t s) {
  out.resize(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    AreaSpan &p = out[static_cast<size_t>(i)];
    p.on_pixel = (i * s) % n == 0;
    p.centre = static_cast<int32_t>(std::clamp<int64_t>(i * s / n, 0, s - 1));
    p.lo = static_cast<int32_t>(std::clamp<int64_t>((i - 1) * s / n, 0, s - 1));
    p.hi = static_cast<int32_t>(std::clamp<int64_t>((i + 1) * s / n, 0, s - 1));
  }
}

// m with (sum * m) >> 32 == sum / count for every sum of `count` 8-bit
// values: m = ceil(2^32 / count) errs by e < count per 2^32, which stays
// below one step while 255 * count * e < 2^32. 0 for larger counts (they
// divide).
uint64_t exact_reciprocal(uint32_t count) {
  constexpr uint64_t kOne = uint64_t{1} << 32;
  if (count == 0 || uint64_t{255} * count * count >= kOne) return 0;
  return (kOne + count - 1) / count;
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

namespace {

// A whole bitmap as rows.
class BitmapRows final : public RowSource {
 public:
  explicit BitmapRows(const PictureBitmap &b) : b_(b) {}
  int32_t width() const override { return b_.width(); }
  int32_t height() const override { return b_.height(); }
  const uint8_t *row(int32_t y) override { return b_.row(y); }

 private:
  const PictureBitmap &b_;
};

}  // namespace

void scale_area(const PictureBitmap &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!valid_rect(src, dst, x, y, w, h)) return;
  BitmapRows rows(src);
  scale_area(rows, dst, x, y, w, h);
}

int32_t area_rows_held(int32_t source_height, int32_t h) {
  if (source_height < 1 || h < 1) return 1;
  // trunc((i + 1) S / D) - trunc((i - 1) S / D) + 1 <= 2 S / D + 2.
  return static_cast<int32_t>(std::min<int64_t>(2LL * source_height / h + 3, source_height));
}

void scale_area(RowSource &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h) {
  scale_area_rows(src, dst, x, y, w, h, 0, h);
}

void scale_area_rows(RowSource &src, PictureBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                     int32_t first_row, int32_t end_row) {
  first_row = std::max(first_row, 0);
  end_row = std::min(end_row, h);
  if (src.width() < 1 || src.height() < 1 || !dst || dst->empty() || w <= 0 || h <= 0 || x < 0 || y < 0 ||
      x + w > dst->width() || y + h > dst->height())
    return;
  const int32_t sw = src.width();
  const int32_t sh = src.height();
  // Kept between pictures: sized once for the largest picture seen.
  thread_local std::vector<AreaSpan> columns;
  thread_local std::vector<AreaSpan> rows;
  thread_local std::vector<int32_t> on_pixel_columns;
  thread_local std::vector<uint32_t> sums;
  thread_local std::vector<uint16_t> narrow_sums;
  thread_local std::vector<uint32_t> prefix;
  thread_local std::vector<uint32_t> reciprocal;
  thread_local std::vector<uint32_t> span_start;  // per output value: its totals
  thread_local std::vector<uint32_t> span_end;
  thread_local std::vector<uint32_t> block_sums;
  thread_local std::vector<int32_t> divided_columns;
  area_spans(columns, w, sw);
  area_spans(rows, h, sh);
  on_pixel_columns.clear();
  for (int32_t ox = 0; ox < w; ++ox)
    if (columns[static_cast<size_t>(ox)].on_pixel) on_pixel_columns.push_back(ox);
  const size_t values = static_cast<size_t>(sw) * kChannels;
  const size_t out_values = static_cast<size_t>(w) * kChannels;
  sums.resize(values);
  narrow_sums.resize(values);
  prefix.resize(values + kChannels);
  reciprocal.resize(out_values);
  block_sums.resize(out_values);
  span_start.resize(out_values);
  span_end.resize(out_values);
  for (size_t k = 0; k < out_values; ++k) {
    const AreaSpan &cx = columns[k / kChannels];
    span_start[k] = static_cast<uint32_t>(cx.lo * kChannels + static_cast<int32_t>(k % kChannels));
    span_end[k] = static_cast<uint32_t>((cx.hi + 1) * kChannels + static_cast<int32_t>(k % kChannels));
  }
  int32_t reciprocal_rows = 0;  // the row count the reciprocals are for
  for (int32_t oy = first_row; oy < end_row; ++oy) {
    const AreaSpan &ry = rows[static_cast<size_t>(oy)];
    uint8_t *out = dst->row(y + oy) + static_cast<ptrdiff_t>(x) * kChannels;
    const int32_t row_count = ry.hi - ry.lo + 1;
    if (row_count != reciprocal_rows) {
      // Blocks of one pixel, or too large for an exact 32-bit reciprocal,
      // divide.
      divided_columns.clear();
      for (int32_t ox = 0; ox < w; ++ox) {
        const AreaSpan &cx = columns[static_cast<size_t>(ox)];
        const auto count = static_cast<uint32_t>((cx.hi - cx.lo + 1) * row_count);
        const uint64_t m = count > 1 ? exact_reciprocal(count) : 0;
        if (m == 0) divided_columns.push_back(ox);
        for (int32_t c = 0; c < kChannels; ++c)
          reciprocal[static_cast<size_t>(ox * kChannels + c)] = static_cast<uint32_t>(m);
      }
      reciprocal_rows = row_count;
    }
    // Column sums over the rows, then running totals along the row: the
    // sum of any block of columns is one difference.
    if (row_count <= kRowsIn16Bits)
      block_columns(src, ry.lo, ry.hi, narrow_sums, prefix.data());
    else
      block_columns(src, ry.lo, ry.hi, sums, prefix.data());
    block_totals(prefix.data(), span_start.data(), span_end.data(), out_values, block_sums.data());
    scale_down(block_sums.data(), reciprocal.data(), out_values, out);
    for (const int32_t ox : divided_columns) {
      const AreaSpan &cx = columns[static_cast<size_t>(ox)];
      const auto count = static_cast<uint32_t>((cx.hi - cx.lo + 1) * row_count);
      for (int32_t c = 0; c < kChannels; ++c) {
        const size_t k = static_cast<size_t>(ox * kChannels + c);
        out[k] = static_cast<uint8_t>(block_sums[k] / count);
      }
    }
    if (!ry.on_pixel || on_pixel_columns.empty()) continue;
    // When the picture shrinks these rows lie inside the block just read,
    // and are still held.
    const uint8_t *above = src.row(std::max(ry.centre - 1, 0));
    const uint8_t *middle = src.row(ry.centre);
    const uint8_t *below = src.row(std::min(ry.centre + 1, sh - 1));
    // On a source pixel in both directions: half of it, half of its four
    // diagonal neighbours (clamped to the picture).
    uint8_t *row_out = dst->row(y + oy) + static_cast<ptrdiff_t>(x) * kChannels;
    for (const int32_t ox : on_pixel_columns) {
      const AreaSpan &cx = columns[static_cast<size_t>(ox)];
      const int32_t xl = std::max(cx.centre - 1, 0) * kChannels;
      const int32_t xr = std::min(cx.centre + 1, sw - 1) * kChannels;
      const uint8_t *centre = middle + cx.centre * kChannels;
      uint8_t *o = row_out + ox * kChannels;
      for (int32_t c = 0; c < kChannels; ++c) {
        const int32_t a = ((below[xl + c] + below[xr + c]) / 2) >> 1;
        const int32_t b = ((above[xl + c] + above[xr + c]) / 2) >> 1;
        o[c] = static_cast<uint8_t>((centre[c] >> 1) + (a + b) / 2);
      }
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

void area_target(PictureBitmap *dst, bool letterbox, int32_t *top, int32_t *h) {
  *top = 0;
  *h = dst->height();
  if (!letterbox) return;
  dst->clear();
  letterbox_band(dst->width(), dst->height(), top, h);
}

bool uses_area_filter(int32_t source_width, int32_t source_height, int32_t w, int32_t h, bool letterbox,
                      bool smooth) {
  if (letterbox) {
    int32_t top = 0;
    letterbox_band(w, h, &top, &h);
  }
  return smooth && w < source_width && h < source_height;
}

void scale_picture(const PictureBitmap &src, PictureBitmap *dst, bool letterbox, bool smooth,
                   ScaleScratch *scratch) {
  if (src.empty() || !dst || dst->empty()) return;
  int32_t top = 0;
  int32_t h = 0;
  const int32_t w = dst->width();
  area_target(dst, letterbox, &top, &h);
  if (uses_area_filter(src.width(), src.height(), w, dst->height(), letterbox, smooth)) {
    scale_area(src, dst, 0, top, w, h);
  } else if (smooth && w > src.width() && h > src.height()) {
    scale_bilinear(src, dst, 0, top, w, h, scratch);
  } else {
    scale_stretch(src, dst, 0, top, w, h);
  }
}

}  // namespace tools_common
