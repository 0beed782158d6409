// Our own converters for uncompressed AVI video: RGB DIBs of 8 (palette),
// 16, 24 and 32 bits in either row order, and I420/YV12/YUY2.
#include <algorithm>
#include <cstring>

#include "platform/avi/avi_internal.h"
#include "platform/avi/picture.h"

namespace platform::avi {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kI420 = fourcc('I', '4', '2', '0');
constexpr uint32_t kIyuv = fourcc('I', 'Y', 'U', 'V');
constexpr uint32_t kYv12 = fourcc('Y', 'V', '1', '2');
constexpr uint32_t kYuy2 = fourcc('Y', 'U', 'Y', '2');
constexpr uint32_t kYuyv = fourcc('Y', 'U', 'Y', 'V');
constexpr int32_t kPaletteOffset = kBitmapHeaderBytes;

int32_t round16(int32_t v) { return (v + 15) & ~15; }

struct Bih {
  int32_t width, height, bits;
  uint32_t compression, clr_used;
  bool bottom_up;
};

Bih header_of(const std::vector<uint8_t> &f) {
  const uint8_t *p = f.data();
  int32_t h = int32_t(le32(p + 8));
  return {int32_t(le32(p + 4)), h < 0 ? -h : h, le16(p + 14), le32(p + 16), le32(p + 32), h > 0};
}

// Expands 5 or 6 bits to 8 the way the bits replicate.
uint8_t expand(uint32_t v, int bits) { return uint8_t(bits == 5 ? (v << 3 | v >> 2) : (v << 2 | v >> 4)); }

bool decode_rgb(const std::vector<uint8_t> &f, const Bih &b, const uint8_t *data, int64_t size, Picture &p) {
  const int64_t stride = ((int64_t(b.width) * b.bits + 31) / 32) * 4;
  if (size < stride * b.height) return false;
  p.rgb = true;
  p.bgr.resize(size_t(b.width) * 3 * size_t(b.height));
  bool g6 = false;
  if (b.bits == 16 && b.compression == kBiBitfields && f.size() >= size_t(kBitmapHeaderBytes + 12))
    g6 = le32(f.data() + kBitmapHeaderBytes + 4) == 0x07E0;
  const uint8_t *palette = f.data() + kPaletteOffset;
  const uint32_t colours =
      std::min<uint32_t>(256, uint32_t(std::max<int64_t>(0, int64_t(f.size()) - kPaletteOffset) / 4));
  p.paletted = b.bits == 8;
  if (p.paletted) {
    p.indices.resize(size_t(b.width) * size_t(b.height));
    for (uint32_t i = 0; i < 256; ++i)
      p.palette[i] = i < colours ? (le32(palette + i * 4) | 0xFF000000u) : 0xFF000000u;
  }
  for (int32_t row = 0; row < b.height; ++row) {
    const uint8_t *src = data + stride * (b.bottom_up ? b.height - 1 - row : row);
    uint8_t *dst = p.bgr.data() + size_t(row) * size_t(b.width) * 3;
    for (int32_t x = 0; x < b.width; ++x, dst += 3) {
      switch (b.bits) {
        case 8: {
          uint32_t i = src[x];
          p.indices[size_t(row) * size_t(b.width) + size_t(x)] = uint8_t(i);
          if (i < colours)
            std::memcpy(dst, palette + i * 4, 3);
          else
            dst[0] = dst[1] = dst[2] = 0;
          break;
        }
        case 16: {
          uint32_t v = le16(src + x * 2);
          dst[0] = expand(v & 0x1F, 5);
          dst[1] = g6 ? expand((v >> 5) & 0x3F, 6) : expand((v >> 5) & 0x1F, 5);
          dst[2] = g6 ? expand(v >> 11, 5) : expand((v >> 10) & 0x1F, 5);
          break;
        }
        case 24:
          std::memcpy(dst, src + x * 3, 3);
          break;
        default:
          std::memcpy(dst, src + x * 4, 3);
          break;
      }
    }
  }
  p.planes_valid = false;
  return true;
}

bool decode_yuv(const Bih &b, const uint8_t *data, int64_t size, Picture &p) {
  const int32_t cw = (b.width + 1) / 2, ch = (b.height + 1) / 2;
  p.rgb = false;
  p.paletted = false;
  p.planes_valid = true;
  if (b.compression == kYuy2 || b.compression == kYuyv) {
    const int64_t stride = int64_t(cw) * 4;
    if (size < stride * b.height) return false;
    for (int32_t row = 0; row < b.height; ++row) {
      const uint8_t *src = data + stride * row;
      for (int32_t x = 0; x < b.width; ++x) p.y[size_t(row) * size_t(p.coded_w) + size_t(x)] = src[x * 2];
    }
    for (int32_t row = 0; row < ch; ++row) {
      const uint8_t *a = data + stride * (row * 2), *c = data + stride * std::min(row * 2 + 1, b.height - 1);
      for (int32_t x = 0; x < cw; ++x) {
        p.cb[size_t(row) * size_t(p.coded_w / 2) + size_t(x)] =
            uint8_t((a[x * 4 + 1] + c[x * 4 + 1] + 1) / 2);
        p.cr[size_t(row) * size_t(p.coded_w / 2) + size_t(x)] =
            uint8_t((a[x * 4 + 3] + c[x * 4 + 3] + 1) / 2);
      }
    }
    return true;
  }
  const int64_t luma = int64_t(b.width) * b.height, chroma = int64_t(cw) * ch;
  if (size < luma + 2 * chroma) return false;
  const bool yv12 = b.compression == kYv12;
  const uint8_t *u = data + luma + (yv12 ? chroma : 0), *v = data + luma + (yv12 ? 0 : chroma);
  for (int32_t row = 0; row < b.height; ++row)
    std::memcpy(&p.y[size_t(row) * size_t(p.coded_w)], data + int64_t(row) * b.width, size_t(b.width));
  for (int32_t row = 0; row < ch; ++row) {
    std::memcpy(&p.cb[size_t(row) * size_t(p.coded_w / 2)], u + int64_t(row) * cw, size_t(cw));
    std::memcpy(&p.cr[size_t(row) * size_t(p.coded_w / 2)], v + int64_t(row) * cw, size_t(cw));
  }
  return true;
}

}  // namespace

void Picture::size_to(int32_t w, int32_t h) {
  if (w == width && h == height && !y.empty()) return;
  width = w;
  height = h;
  coded_w = round16(w);
  coded_h = round16(h);
  y.assign(size_t(coded_w) * size_t(coded_h), 16);
  cb.assign(size_t(coded_w / 2) * size_t(coded_h / 2), 128);
  cr.assign(cb.size(), 128);
}

bool raw_format_supported(uint32_t compression, int32_t bits) {
  if (compression == kBiRgb) return bits == 8 || bits == 16 || bits == 24 || bits == 32;
  if (compression == kBiBitfields) return bits == 16 || bits == 32;
  return compression == kI420 || compression == kIyuv || compression == kYv12 || compression == kYuy2 ||
         compression == kYuyv;
}

bool decode_raw(const std::vector<uint8_t> &format, const uint8_t *data, int64_t size, Picture &p) {
  Bih b = header_of(format);
  p.size_to(b.width, b.height);
  if (b.compression == kBiRgb || b.compression == kBiBitfields) return decode_rgb(format, b, data, size, p);
  return decode_yuv(b, data, size, p);
}

}  // namespace platform::avi
