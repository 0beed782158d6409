#include "components/pikran/dib_picture.h"

#include <algorithm>
#include <cstring>

namespace pikran {

namespace {

constexpr size_t kHeaderSize = 40;
constexpr size_t kPaletteBytes = 256 * 4;
constexpr int kMaxSide = 16384;

uint32_t le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// BT.601 weights in 16-bit fixed point; each row sums to 65536 (luma) or 0
// (chroma), so grey stays grey and full range stays full range.
constexpr int kYr = 19595, kYg = 38470, kYb = 7471;
constexpr int kCbR = -11059, kCbG = -21709, kCbB = 32768;
constexpr int kCrR = 32768, kCrG = -27439, kCrB = -5329;

/// One image row (top to bottom): its address in the DIB, or, for 8 and 16
/// bits, the row unpacked into `scratch` as B, G, R triples.
const uint8_t *source_row(const uint8_t *dib, const DibLayout &l, int row, uint8_t *scratch) {
  const int src_row = l.top_down ? row : l.height - 1 - row;
  const uint8_t *p = dib + l.pixel_offset + size_t(src_row) * l.stride;
  const int w = l.width;
  if (l.bits == 8) {
    const uint8_t *pal = dib + l.palette_offset;
    uint8_t *d = scratch;
    for (int x = 0; x < w; ++x, d += 3) {
      const uint8_t *e = pal + size_t(p[x]) * 4;
      d[0] = e[0];
      d[1] = e[1];
      d[2] = e[2];
    }
    return scratch;
  }
  if (l.bits == 16) {
    uint8_t *d = scratch;
    for (int x = 0; x < w; ++x, d += 3) {
      const unsigned v = le16(p + 2 * x);
      const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      d[0] = uint8_t(b << 3 | b >> 2);
      d[1] = uint8_t(g << 3 | g >> 2);
      d[2] = uint8_t(r << 3 | r >> 2);
    }
    return scratch;
  }
  return p;
}

uint8_t luma(const uint8_t *p) { return uint8_t((kYb * p[0] + kYg * p[1] + kYr * p[2] + 32768) >> 16); }

// Chroma from sums of four pixels: the fixed-point result carries two more
// fraction bits. The lowest possible value is 0.5, so only the top clamps.
constexpr int kChromaBias = (128 << 18) + (1 << 17);
uint8_t chroma(int sum_b, int sum_g, int sum_r, int kb, int kg, int kr) {
  return uint8_t(std::min((kb * sum_b + kg * sum_g + kr * sum_r + kChromaBias) >> 18, 255));
}

/// Two rows of B, G, R pixels kBpp bytes apart (s1 equals s0 for an odd
/// last row, whose y1 is null) into two luma rows and one chroma row.
template <int kBpp>
void convert_row_pair(const uint8_t *s0, const uint8_t *s1, int w, uint8_t *y0, uint8_t *y1, uint8_t *cb,
                      uint8_t *cr) {
  for (int x = 0; x < w; ++x) y0[x] = luma(s0 + x * kBpp);
  if (y1)
    for (int x = 0; x < w; ++x) y1[x] = luma(s1 + x * kBpp);
  const int pairs = w / 2;
  for (int i = 0; i < pairs; ++i) {
    const uint8_t *a = s0 + 2 * i * kBpp, *c = s1 + 2 * i * kBpp;
    const int B = a[0] + a[kBpp] + c[0] + c[kBpp];
    const int G = a[1] + a[kBpp + 1] + c[1] + c[kBpp + 1];
    const int R = a[2] + a[kBpp + 2] + c[2] + c[kBpp + 2];
    cb[i] = chroma(B, G, R, kCbB, kCbG, kCbR);
    cr[i] = chroma(B, G, R, kCrB, kCrG, kCrR);
  }
  if (w & 1) {
    // The odd last column counts twice.
    const uint8_t *a = s0 + (w - 1) * kBpp, *c = s1 + (w - 1) * kBpp;
    const int B = 2 * (a[0] + c[0]), G = 2 * (a[1] + c[1]), R = 2 * (a[2] + c[2]);
    cb[pairs] = chroma(B, G, R, kCbB, kCbG, kCbR);
    cr[pairs] = chroma(B, G, R, kCrB, kCrG, kCrR);
  }
}

}  // namespace

std::optional<DibLayout> parse_dib(const void *dib, size_t size) {
  if (!dib || size < kHeaderSize) return std::nullopt;
  const auto *h = static_cast<const uint8_t *>(dib);
  const uint32_t header_size = le32(h);
  const int32_t width = int32_t(le32(h + 4));
  const int32_t height = int32_t(le32(h + 8));
  const int bits = le16(h + 14);
  const uint32_t compression = le32(h + 16);
  if (header_size < kHeaderSize || header_size > size) return std::nullopt;
  if (compression != 0) return std::nullopt;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return std::nullopt;
  if (width <= 0 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide)
    return std::nullopt;
  DibLayout l;
  l.width = width;
  l.height = height < 0 ? -height : height;
  l.top_down = height < 0;
  l.bits = bits;
  l.palette_offset = header_size;
  l.pixel_offset = header_size + (bits == 8 ? kPaletteBytes : 0);
  l.stride = (size_t(width) * size_t(bits) + 31) / 32 * 4;
  // The last row need not carry its padding.
  const size_t last_row = (size_t(width) * size_t(bits) + 7) / 8;
  const size_t pixels = l.stride * size_t(l.height - 1) + last_row;
  if (l.pixel_offset > size || pixels > size - l.pixel_offset) return std::nullopt;
  return l;
}

void YuvPlanes::resize(int w, int h) {
  width = w;
  height = h;
  const size_t luma = size_t(w) * size_t(h);
  const size_t chroma = size_t(chroma_width()) * size_t(chroma_height());
  if (y.size() < luma) y.resize(luma);
  if (cb.size() < chroma) {
    cb.resize(chroma);
    cr.resize(chroma);
  }
}

void dib_to_yuv420(const uint8_t *dib, const DibLayout &l, YuvPlanes &out) {
  out.resize(l.width, l.height);
  const ptrdiff_t cw = out.chroma_width();
  dib_to_yuv420(dib, l, PlaneTargets{out.y.data(), out.cb.data(), out.cr.data(), l.width, cw});
}

void dib_to_yuv420(const uint8_t *dib, const DibLayout &l, const PlaneTargets &out) {
  const int w = l.width, h = l.height;
  // Rows of 8- and 16-bit pictures are unpacked into two scratch rows; a
  // thread-local pair keeps the call free of allocation once the widest
  // picture has been seen.
  thread_local std::vector<uint8_t> scratch;
  if (l.bits <= 16 && scratch.size() < size_t(w) * 6) scratch.resize(size_t(w) * 6);
  uint8_t *scratch0 = scratch.data(), *scratch1 = scratch.data() + size_t(w) * 3;
  for (int r = 0; r < h; r += 2) {
    const bool pair = r + 1 < h;
    const uint8_t *s0 = source_row(dib, l, r, scratch0);
    const uint8_t *s1 = pair ? source_row(dib, l, r + 1, scratch1) : s0;
    uint8_t *y0 = out.y + r * out.y_stride;
    uint8_t *y1 = pair ? y0 + out.y_stride : nullptr;
    uint8_t *cb = out.cb + (r / 2) * out.c_stride;
    uint8_t *cr = out.cr + (r / 2) * out.c_stride;
    if (l.bits == 32)
      convert_row_pair<4>(s0, s1, w, y0, y1, cb, cr);
    else
      convert_row_pair<3>(s0, s1, w, y0, y1, cb, cr);
  }
}

}  // namespace pikran
