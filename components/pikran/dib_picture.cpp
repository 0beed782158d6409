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

uint8_t clamp255(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

/// One image row (top to bottom) as R, G, B triples.
void unpack_row(const uint8_t *dib, const DibLayout &l, int row, uint8_t *rgb) {
  const int src_row = l.top_down ? row : l.height - 1 - row;
  const uint8_t *p = dib + l.pixel_offset + size_t(src_row) * l.stride;
  const int w = l.width;
  switch (l.bits) {
    case 8: {
      const uint8_t *pal = dib + l.palette_offset;
      for (int x = 0; x < w; ++x, rgb += 3) {
        const uint8_t *e = pal + size_t(p[x]) * 4;
        rgb[0] = e[2];
        rgb[1] = e[1];
        rgb[2] = e[0];
      }
      break;
    }
    case 16:
      for (int x = 0; x < w; ++x, rgb += 3) {
        const unsigned v = le16(p + 2 * x);
        const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        rgb[0] = uint8_t(r << 3 | r >> 2);
        rgb[1] = uint8_t(g << 3 | g >> 2);
        rgb[2] = uint8_t(b << 3 | b >> 2);
      }
      break;
    case 24:
      for (int x = 0; x < w; ++x, rgb += 3, p += 3) {
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
      }
      break;
    default:  // 32
      for (int x = 0; x < w; ++x, rgb += 3, p += 4) {
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
      }
      break;
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
  const int w = l.width, h = l.height, cw = out.chroma_width();
  // Two unpacked rows; a thread-local pair keeps the call free of allocation
  // once the widest picture has been seen.
  thread_local std::vector<uint8_t> rows;
  if (rows.size() < size_t(w) * 6) rows.resize(size_t(w) * 6);
  uint8_t *row0 = rows.data();
  uint8_t *row1 = rows.data() + size_t(w) * 3;
  for (int r = 0; r < h; r += 2) {
    unpack_row(dib, l, r, row0);
    const bool pair = r + 1 < h;
    if (pair) unpack_row(dib, l, r + 1, row1);
    const uint8_t *lower = pair ? row1 : row0;
    uint8_t *y0 = out.y.data() + size_t(r) * size_t(w);
    uint8_t *y1 = pair ? y0 + w : nullptr;
    uint8_t *cb = out.cb.data() + size_t(r / 2) * size_t(cw);
    uint8_t *cr = out.cr.data() + size_t(r / 2) * size_t(cw);
    for (int x = 0; x < w; x += 2) {
      const int x1 = std::min(x + 1, w - 1);
      const uint8_t *a = row0 + 3 * x, *b = row0 + 3 * x1, *c = lower + 3 * x, *d = lower + 3 * x1;
      y0[x] = uint8_t((kYr * a[0] + kYg * a[1] + kYb * a[2] + 32768) >> 16);
      if (x1 != x) y0[x1] = uint8_t((kYr * b[0] + kYg * b[1] + kYb * b[2] + 32768) >> 16);
      if (y1) {
        y1[x] = uint8_t((kYr * c[0] + kYg * c[1] + kYb * c[2] + 32768) >> 16);
        if (x1 != x) y1[x1] = uint8_t((kYr * d[0] + kYg * d[1] + kYb * d[2] + 32768) >> 16);
      }
      // Chroma of the 2x2 block (edge pixels repeat): sums of four, so the
      // fixed-point result carries two more fraction bits.
      const int R = a[0] + b[0] + c[0] + d[0], G = a[1] + b[1] + c[1] + d[1], B = a[2] + b[2] + c[2] + d[2];
      constexpr int kBias = (128 << 18) + (1 << 17);
      cb[x / 2] = clamp255((kCbR * R + kCbG * G + kCbB * B + kBias) >> 18);
      cr[x / 2] = clamp255((kCrR * R + kCrG * G + kCrB * B + kBias) >> 18);
    }
  }
}

}  // namespace pikran
