#include "components/glyvex/spu_mixer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace glyvex {

namespace {

// Division by 255 of a blend sum, rounded.
inline uint8_t div255(uint32_t x) { return static_cast<uint8_t>(((x + 128) * 257) >> 16); }
inline uint8_t blend(uint8_t under, uint8_t over, uint32_t alpha) {
  return div255(under * (255 - alpha) + over * alpha);
}

void copy_box(uint8_t *plane, int32_t pitch, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t *&store,
              bool to_store) {
  const auto w = static_cast<size_t>(x1 - x0);
  for (int32_t y = y0; y < y1; ++y) {
    uint8_t *line = plane + static_cast<ptrdiff_t>(y) * pitch + x0;
    if (to_store)
      std::memcpy(store, line, w);
    else
      std::memcpy(line, store, w);
    store += w;
  }
}

}  // namespace

void Mixer::save(const PlaneSet &p) {
  planes_ = p;
  const size_t need = static_cast<size_t>(lx1_ - lx0_) * static_cast<size_t>(ly1_ - ly0_) +
                      2 * static_cast<size_t>(cx1_ - cx0_) * static_cast<size_t>(cy1_ - cy0_);
  if (store_.size() < need) store_.resize(need);
  uint8_t *s = store_.data();
  copy_box(p.y, p.y_pitch, lx0_, ly0_, lx1_, ly1_, s, true);
  copy_box(p.cb, p.c_pitch, cx0_, cy0_, cx1_, cy1_, s, true);
  copy_box(p.cr, p.c_pitch, cx0_, cy0_, cx1_, cy1_, s, true);
  saved_ = true;
}

void Mixer::restore() {
  if (!saved_) return;
  uint8_t *s = store_.data();
  copy_box(planes_.y, planes_.y_pitch, lx0_, ly0_, lx1_, ly1_, s, false);
  copy_box(planes_.cb, planes_.c_pitch, cx0_, cy0_, cx1_, cy1_, s, false);
  copy_box(planes_.cr, planes_.c_pitch, cx0_, cy0_, cx1_, cy1_, s, false);
  saved_ = false;
}

void build_layer(const uint8_t *pixels, int32_t ax, int32_t ay, int32_t aw, int32_t ah, const PixelColours &c,
                 Layer &l) {
  l.x = ax, l.y = ay, l.width = std::max(aw, 0), l.height = std::max(ah, 0);
  const size_t n = static_cast<size_t>(l.width) * static_cast<size_t>(l.height);
  l.alpha.resize(n), l.luma.resize(n);
  l.span_first.assign(static_cast<size_t>(l.height), 0);
  l.span_end.assign(static_cast<size_t>(l.height), 0);
  for (int32_t y = 0; y < l.height; ++y) {
    int32_t first = l.width, end = 0;
    for (int32_t x = 0; x < l.width; ++x) {
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(l.width) + static_cast<size_t>(x);
      const uint8_t v = pixels[i] & 3;
      l.alpha[i] = c.alpha[v], l.luma[i] = c.y[v];
      if (c.alpha[v]) first = std::min(first, x), end = x + 1;
    }
    l.span_first[static_cast<size_t>(y)] = first, l.span_end[static_cast<size_t>(y)] = end;
  }
  if (l.width == 0 || l.height == 0) {
    l.c_width = l.c_height = 0;
    return;
  }
  // Chroma samples whose 2x2 block touches the area (coordinates >= 0).
  auto floor_half = [](int32_t v) { return v >= 0 ? v / 2 : -((1 - v) / 2); };
  l.cx = floor_half(ax), l.cy = floor_half(ay);
  l.c_width = floor_half(ax + l.width - 1) - l.cx + 1;
  l.c_height = floor_half(ay + l.height - 1) - l.cy + 1;
  const size_t cn = static_cast<size_t>(l.c_width) * static_cast<size_t>(l.c_height);
  l.c_alpha.resize(cn), l.cb.resize(cn), l.cr.resize(cn);
  for (int32_t cy = 0; cy < l.c_height; ++cy) {
    for (int32_t cx = 0; cx < l.c_width; ++cx) {
      uint32_t alpha = 0, cb = 0, cr = 0;
      for (int k = 0; k < 4; ++k) {
        const int32_t px = 2 * (l.cx + cx) + (k & 1) - ax, py = 2 * (l.cy + cy) + (k >> 1) - ay;
        if (px < 0 || px >= l.width || py < 0 || py >= l.height) {
          cb += 128, cr += 128;
          continue;
        }
        const uint8_t v =
            pixels[static_cast<size_t>(py) * static_cast<size_t>(l.width) + static_cast<size_t>(px)] & 3;
        alpha += c.alpha[v], cb += c.cb[v], cr += c.cr[v];
      }
      const size_t i = static_cast<size_t>(cy) * static_cast<size_t>(l.c_width) + static_cast<size_t>(cx);
      l.c_alpha[i] = static_cast<uint8_t>(alpha >> 2);
      l.cb[i] = static_cast<uint8_t>((cb + 2) >> 2), l.cr[i] = static_cast<uint8_t>((cr + 2) >> 2);
    }
  }
}

namespace {

// One line: plain loops over contiguous bytes, which the compiler vectorises.
void blend_line(uint8_t *dst, const uint8_t *alpha, const uint8_t *colour, int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i] = blend(dst[i], colour[i], alpha[i]);
}

}  // namespace

bool Mixer::mix(const PlaneSet &p, const Layer &l) {
  // What an earlier mix kept belongs to a picture that was restored or
  // left behind: never written back here.
  saved_ = false;
  if (!p.y || !p.cb || !p.cr || p.width <= 0 || p.height <= 0 || l.width <= 0 || l.height <= 0) return false;
  lx0_ = std::max(l.x, 0), ly0_ = std::max(l.y, 0);
  lx1_ = std::min(l.x + l.width, p.width), ly1_ = std::min(l.y + l.height, p.height);
  if (lx0_ >= lx1_ || ly0_ >= ly1_) return false;
  cx0_ = std::max(l.cx, 0), cy0_ = std::max(l.cy, 0);
  cx1_ = std::min(l.cx + l.c_width, (p.width + 1) / 2),
  cy1_ = std::min(l.cy + l.c_height, (p.height + 1) / 2);
  if (cx0_ >= cx1_ || cy0_ >= cy1_) cx0_ = cx1_ = cy0_ = cy1_ = 0;
  save(p);
  for (int32_t y = ly0_; y < ly1_; ++y) {
    const auto row = static_cast<size_t>(y - l.y);
    const int32_t from = std::max(lx0_, l.x + l.span_first[row]);
    const int32_t to = std::min(lx1_, l.x + l.span_end[row]);
    if (from >= to) continue;
    const size_t at = row * static_cast<size_t>(l.width) + static_cast<size_t>(from - l.x);
    blend_line(p.y + static_cast<ptrdiff_t>(y) * p.y_pitch + from, &l.alpha[at], &l.luma[at], to - from);
  }
  for (int32_t cy = cy0_; cy < cy1_; ++cy) {
    const size_t at =
        static_cast<size_t>(cy - l.cy) * static_cast<size_t>(l.c_width) + static_cast<size_t>(cx0_ - l.cx);
    blend_line(p.cb + static_cast<ptrdiff_t>(cy) * p.c_pitch + cx0_, &l.c_alpha[at], &l.cb[at], cx1_ - cx0_);
    blend_line(p.cr + static_cast<ptrdiff_t>(cy) * p.c_pitch + cx0_, &l.c_alpha[at], &l.cr[at], cx1_ - cx0_);
  }
  return true;
}

}  // namespace glyvex
