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

bool Mixer::mix(const PlaneSet &p, const uint8_t *pixels, int32_t ax, int32_t ay, int32_t aw, int32_t ah,
                const PixelColours &c) {
  // What an earlier mix kept belongs to a picture that was restored or
  // left behind: never written back here.
  saved_ = false;
  if (!p.y || !p.cb || !p.cr || p.width <= 0 || p.height <= 0 || aw <= 0 || ah <= 0) return false;
  // The area clipped to the picture; chroma covers whole 2x2 blocks.
  lx0_ = std::max(ax, 0);
  ly0_ = std::max(ay, 0);
  lx1_ = std::min(ax + aw, p.width);
  ly1_ = std::min(ay + ah, p.height);
  if (lx0_ >= lx1_ || ly0_ >= ly1_) return false;
  cx0_ = lx0_ / 2, cy0_ = ly0_ / 2;
  cx1_ = std::min((lx1_ + 1) / 2, (p.width + 1) / 2);
  cy1_ = std::min((ly1_ + 1) / 2, (p.height + 1) / 2);
  save(p);

  auto value_at = [&](int32_t x, int32_t y) -> int32_t {
    if (x < lx0_ || x >= lx1_ || y < ly0_ || y >= ly1_) return -1;
    return pixels[static_cast<size_t>(y - ay) * static_cast<size_t>(aw) + static_cast<size_t>(x - ax)];
  };
  for (int32_t y = ly0_; y < ly1_; ++y) {
    uint8_t *line = p.y + static_cast<ptrdiff_t>(y) * p.y_pitch;
    const uint8_t *src = pixels + static_cast<size_t>(y - ay) * static_cast<size_t>(aw);
    for (int32_t x = lx0_; x < lx1_; ++x) {
      const uint8_t v = src[x - ax];
      if (c.alpha[v]) line[x] = blend(line[x], c.y[v], c.alpha[v]);
    }
  }
  // Chroma: the alpha and colour of the block's four pixels averaged; a
  // pixel outside the area counts as transparent black.
  for (int32_t cy = cy0_; cy < cy1_; ++cy) {
    uint8_t *lb = p.cb + static_cast<ptrdiff_t>(cy) * p.c_pitch;
    uint8_t *lr = p.cr + static_cast<ptrdiff_t>(cy) * p.c_pitch;
    for (int32_t cx = cx0_; cx < cx1_; ++cx) {
      uint32_t alpha = 0, cb = 0, cr = 0;
      for (int k = 0; k < 4; ++k) {
        const int32_t v = value_at(2 * cx + (k & 1), 2 * cy + (k >> 1));
        alpha += v < 0 ? 0 : c.alpha[v];
        cb += v < 0 ? 128 : c.cb[v];
        cr += v < 0 ? 128 : c.cr[v];
      }
      alpha >>= 2;
      if (!alpha) continue;
      lb[cx] = blend(lb[cx], static_cast<uint8_t>((cb + 2) >> 2), alpha);
      lr[cx] = blend(lr[cx], static_cast<uint8_t>((cr + 2) >> 2), alpha);
    }
  }
  return true;
}

}  // namespace glyvex
