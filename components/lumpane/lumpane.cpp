#include "components/lumpane/lumpane.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct Overlay {
  int32_t width = 0, height = 0, x = 0, y = 0;
  std::vector<uint8_t> luma, cb, cr;  // cb, cr per pixel
  std::vector<uint16_t> alpha;        // 0..256 per pixel
};

struct Saved {
  uint8_t *planes[3] = {};
  int32_t pitch[3] = {};
  int32_t box[3][4] = {};  // x0, y0, x1, y1
  std::vector<uint8_t> bytes;
  bool valid = false;
};

std::mutex g_lock;
Overlay g_overlay;
Saved g_saved;

int32_t le32(const uint8_t *p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// BT.601, studio range.
uint8_t to_y(int r, int g, int b) {
  return static_cast<uint8_t>((16 * 256 + 66 * r + 129 * g + 25 * b + 128) >> 8);
}
uint8_t to_cb(int r, int g, int b) {
  return static_cast<uint8_t>((128 * 256 - 38 * r - 74 * g + 112 * b + 128) >> 8);
}
uint8_t to_cr(int r, int g, int b) {
  return static_cast<uint8_t>((128 * 256 + 112 * r - 94 * g - 18 * b + 128) >> 8);
}

bool load(const uint8_t *bmp, int32_t opacity, Overlay &o) {
  const int32_t header = le32(bmp);
  const int32_t w = le32(bmp + 4), h = le32(bmp + 8);
  const int bits = le16(bmp + 14);
  const int32_t compression = le32(bmp + 16);
  if (header < 40 || w <= 0 || h == 0 || w > LUMPANE_MAX_SIDE || h > LUMPANE_MAX_SIDE ||
      h < -LUMPANE_MAX_SIDE || (bits != 24 && bits != 32) || (compression != 0 && compression != 3))
    return false;
  const int32_t rows = h < 0 ? -h : h;
  const size_t stride =
      (static_cast<size_t>(w) * static_cast<size_t>(bits / 8) + 3) & ~static_cast<size_t>(3);
  const uint8_t *pixels = bmp + header + (compression == 3 && header == 40 ? 12 : 0);
  o.width = w, o.height = rows;
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(rows);
  o.luma.resize(n), o.cb.resize(n), o.cr.resize(n), o.alpha.resize(n);
  for (int32_t row = 0; row < rows; ++row) {
    const uint8_t *src = pixels + stride * static_cast<size_t>(h < 0 ? row : rows - 1 - row);  // bottom-up
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t *p = src + static_cast<size_t>(x) * static_cast<size_t>(bits / 8);
      const int b = p[0], g = p[1], r = p[2];
      const size_t i = static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(x);
      o.luma[i] = to_y(r, g, b), o.cb[i] = to_cb(r, g, b), o.cr[i] = to_cr(r, g, b);
      o.alpha[i] = static_cast<uint16_t>(bits == 32 ? (opacity * p[3] + 127) / 255 : opacity);
    }
  }
  return true;
}

uint8_t blend(uint8_t under, uint8_t over, uint32_t alpha) {
  return static_cast<uint8_t>((under * (256 - alpha) + over * alpha + 128) >> 8);
}

void copy_box(Saved &s, bool to_store) {
  uint8_t *store = s.bytes.data();
  for (int k = 0; k < 3; ++k) {
    const int32_t *b = s.box[k];
    const auto w = static_cast<size_t>(b[2] - b[0]);
    for (int32_t y = b[1]; y < b[3]; ++y) {
      uint8_t *line = s.planes[k] + static_cast<ptrdiff_t>(y) * s.pitch[k] + b[0];
      to_store ? std::memcpy(store, line, w) : std::memcpy(line, store, w);
      store += w;
    }
  }
}

}  // namespace

extern "C" {

int32_t LumpaneSetPicture(const void *bitmap, int32_t x, int32_t y, int32_t opacity) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_overlay = Overlay{};
  if (!bitmap) return 1;
  opacity = std::clamp(opacity, 0, LUMPANE_OPAQUE);
  Overlay o;
  if (!load(static_cast<const uint8_t *>(bitmap), opacity, o)) return 0;
  o.x = x, o.y = y;
  g_overlay = std::move(o);
  return 1;
}

int32_t LumpaneDraw(uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_pitch, int32_t c_pitch, int32_t width,
                    int32_t height, int32_t) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_saved.valid = false;
  const Overlay &o = g_overlay;
  if (!y || !cb || !cr || o.width == 0 || width <= 0 || height <= 0) return 0;
  const int32_t x0 = std::max(o.x, 0), y0 = std::max(o.y, 0);
  const int32_t x1 = std::min(o.x + o.width, width), y1 = std::min(o.y + o.height, height);
  if (x0 >= x1 || y0 >= y1) return 0;
  const int32_t cx0 = x0 / 2, cy0 = y0 / 2, cx1 = (x1 + 1) / 2, cy1 = (y1 + 1) / 2;
  Saved &s = g_saved;
  s.planes[0] = y, s.planes[1] = cb, s.planes[2] = cr;
  s.pitch[0] = y_pitch, s.pitch[1] = c_pitch, s.pitch[2] = c_pitch;
  const int32_t boxes[3][4] = {{x0, y0, x1, y1}, {cx0, cy0, cx1, cy1}, {cx0, cy0, cx1, cy1}};
  std::memcpy(s.box, boxes, sizeof boxes);
  const size_t need = static_cast<size_t>(x1 - x0) * static_cast<size_t>(y1 - y0) +
                      2 * static_cast<size_t>(cx1 - cx0) * static_cast<size_t>(cy1 - cy0);
  if (s.bytes.size() < need) s.bytes.resize(need);
  copy_box(s, true);
  s.valid = true;
  for (int32_t py = y0; py < y1; ++py) {
    uint8_t *line = y + static_cast<ptrdiff_t>(py) * y_pitch;
    const size_t row = static_cast<size_t>(py - o.y) * static_cast<size_t>(o.width);
    for (int32_t px = x0; px < x1; ++px) {
      const size_t i = row + static_cast<size_t>(px - o.x);
      line[px] = blend(line[px], o.luma[i], o.alpha[i]);
    }
  }
  // Chroma: the covered pixels of each 2x2 block averaged, uncovered ones
  // transparent.
  for (int32_t cy = cy0; cy < cy1; ++cy) {
    uint8_t *lb = cb + static_cast<ptrdiff_t>(cy) * c_pitch;
    uint8_t *lr = cr + static_cast<ptrdiff_t>(cy) * c_pitch;
    for (int32_t cx = cx0; cx < cx1; ++cx) {
      uint32_t a = 0, sb = 0, sr = 0, count = 0;
      for (int k = 0; k < 4; ++k) {
        const int32_t px = 2 * cx + (k & 1), py = 2 * cy + (k >> 1);
        if (px < x0 || px >= x1 || py < y0 || py >= y1) continue;
        const size_t i =
            static_cast<size_t>(py - o.y) * static_cast<size_t>(o.width) + static_cast<size_t>(px - o.x);
        a += o.alpha[i], sb += o.cb[i], sr += o.cr[i], ++count;
      }
      if (!count) continue;
      const uint32_t alpha = a / 4;
      lb[cx] = blend(lb[cx], static_cast<uint8_t>((sb + count / 2) / count), alpha);
      lr[cx] = blend(lr[cx], static_cast<uint8_t>((sr + count / 2) / count), alpha);
    }
  }
  return 1;
}

void LumpaneRestore(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_saved.valid) return;
  copy_box(g_saved, false);
  g_saved.valid = false;
}

}  // extern "C"
