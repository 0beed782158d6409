// Frame buffers, their rotation into display order and the presentation
// copy with a blanked margin.
#include "video/decode/frame_store.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kestrum {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t round_page(size_t n) { return (n + kPage - 1) / kPage * kPage; }
// Slots start this far apart beyond whole pages (17 cache lines), so the
// same pixel of the reference and of the picture being predicted never
// share their address bits below the page size: loads from one right
// after stores to the other at a page's distance stall the processor's
// store-to-load check, and both would compete for one cache set.
constexpr size_t kSlotStagger = 17 * 64;

}  // namespace

bool FrameStore::allocate(const FrameGeometry &geo) {
  release();
  if (lay_out(geo)) return true;
  // Nothing half made stays: a store that is not ready has no geometry.
  release();
  return false;
}

bool FrameStore::lay_out(const FrameGeometry &geo) {
  geo_ = geo;
  const size_t luma = size_t(geo.coded_width) * size_t(geo.coded_height);
  const size_t chroma = size_t(geo.chroma_width) * size_t(geo.chroma_height);
  const bool small = (geo.coded_width <= 336 || geo.coded_width == 352) && geo.coded_height <= 288 &&
                     luma <= size_t(kStaticLuma) && chroma <= size_t(kStaticChroma);
  size_t luma_size, chroma_size;
  uint8_t *base;
  if (small) {
    // Plane sizes of the fixed buffers are those of the largest picture they
    // take, whatever picture first made them: any later small one fits.
    luma_size = round_page(kStaticLuma);
    chroma_size = round_page(kStaticChroma);
    const size_t slot_size = luma_size + 2 * chroma_size + kPage + kSlotStagger;
    if (!static_memory_) static_memory_.reset(new (std::nothrow) uint8_t[kSlots * slot_size]);
    if (!static_memory_) return false;
    base = static_memory_.get();
    static_in_use_ = true;
  } else {
    luma_size = round_page(luma);
    chroma_size = round_page(chroma);
    const size_t slot_size = luma_size + 2 * chroma_size + kPage + kSlotStagger;
    if (!pages_.allocate(kSlots * slot_size, true)) return false;
    base = pages_.data();
    static_in_use_ = false;
  }
  const size_t slot_size = luma_size + 2 * chroma_size + kPage + kSlotStagger;
  for (int i = 0; i < kSlots; ++i) {
    uint8_t *p = base + size_t(i) * slot_size;
    slot_[i] = FrameSlot{p, p + luma_size, p + luma_size + chroma_size};
  }
  if (!fifth_pages_.allocate(round_page(luma) + 2 * round_page(chroma) + kPage, false)) return false;
  uint8_t *f = fifth_pages_.data();
  fifth_ = FrameSlot{f, f + round_page(luma), f + round_page(luma) + round_page(chroma)};
  if (!rgb_.allocate(round_page(luma * 4) + kPage, false)) return false;
  for (const FrameSlot &s : slot_) clear_slot(s);
  ready_ = true;
  reset_roles();
  return true;
}

void FrameStore::release() {
  ready_ = false;
  geo_ = FrameGeometry{};
  pages_.release();
  fifth_pages_.release();
  rgb_.release();
  for (FrameSlot &s : slot_) s = FrameSlot{};
  fifth_ = FrameSlot{};
  static_in_use_ = false;
  has_shown_ = false;
}

void FrameStore::clear_slot(const FrameSlot &s) {
  const size_t luma = size_t(geo_.coded_width) * size_t(geo_.coded_height);
  const size_t chroma = size_t(geo_.chroma_width) * size_t(geo_.chroma_height);
  std::memset(s.y, 0, luma);
  std::memset(s.cb, 128, chroma);
  std::memset(s.cr, 128, chroma);
}

void FrameStore::reset_roles() {
  newest_ = 0;
  older_ = 1;
  free_a_ = 2;
  free_b_ = 3;
  target_ = 3;
  shown_ = 0;
  has_shown_ = false;
  anchors_seen_ = 0;
  early_ = false;
  repeat_ = false;
  shown_dirty_ = true;
  if (ready_) {
    // References of pictures that precede the first anchor read black.
    clear_slot(slot_[newest_]);
    clear_slot(slot_[older_]);
  }
}

void FrameStore::rotate_anchor() {
  const int p = newest_, q = older_, r = free_b_;
  // The previous anchor is shown now; it shows a decoded picture unless it
  // is still the blank one of the open state.
  has_shown_ = anchors_seen_ > 0;
  shown_ = p;
  newest_ = r;
  older_ = p;
  free_b_ = q;
  target_ = r;
  ++anchors_seen_;
  repeat_ = early_;
  early_ = false;
  shown_dirty_ = true;
}

void FrameStore::rotate_b() {
  const int x = free_b_, y = free_a_;
  free_b_ = y;
  free_a_ = x;
  target_ = x;
  shown_ = x;
  has_shown_ = true;
  repeat_ = false;
  shown_dirty_ = true;
}

bool FrameStore::show_newest_anchor() {
  if (anchors_seen_ == 0 || shown_ == newest_) return false;
  shown_ = newest_;
  has_shown_ = true;
  shown_dirty_ = true;
  return true;
}

bool FrameStore::show_newest_anchor_early() {
  if (!show_newest_anchor()) return false;
  early_ = true;
  repeat_ = false;
  return true;
}

Planes FrameStore::planes_of(const FrameSlot &s) const {
  return Planes{s.y, s.cb, s.cr, geo_.coded_width, geo_.chroma_width, geo_.chroma_width};
}

Planes FrameStore::shown_planes() {
  if (!ready_) return Planes{};
  const FrameSlot &s = slot_[shown_];
  const bool margin = geo_.horizontal_size < geo_.coded_width || geo_.vertical_size < geo_.coded_height;
  if (!margin) return planes_of(s);
  if (shown_dirty_) {
    // Blank the margin in a copy: the slot itself stays a reference, and
    // predictions near the edge read the decoded margin as the encoder did.
    const size_t luma = size_t(geo_.coded_width) * size_t(geo_.coded_height);
    const size_t chroma = size_t(geo_.chroma_width) * size_t(geo_.chroma_height);
    std::memcpy(fifth_.y, s.y, luma);
    std::memcpy(fifth_.cb, s.cb, chroma);
    std::memcpy(fifth_.cr, s.cr, chroma);
    const int w = std::clamp(geo_.horizontal_size, 0, geo_.coded_width);
    const int h = std::clamp(geo_.vertical_size, 0, geo_.coded_height);
    const int cw = std::clamp(geo_.chroma_width == geo_.coded_width ? w : w / 2, 0, geo_.chroma_width);
    const int ch = std::clamp(geo_.chroma_height == geo_.coded_height ? h : h / 2, 0, geo_.chroma_height);
    for (int y = 0; y < geo_.coded_height; ++y) {
      uint8_t *line = fifth_.y + size_t(y) * size_t(geo_.coded_width);
      if (y >= h) {
        std::memset(line, 0, size_t(geo_.coded_width));
      } else {
        std::memset(line + w, 0, size_t(geo_.coded_width - w));
      }
    }
    for (uint8_t *plane : {fifth_.cb, fifth_.cr}) {
      for (int y = 0; y < geo_.chroma_height; ++y) {
        uint8_t *line = plane + size_t(y) * size_t(geo_.chroma_width);
        if (y >= ch) {
          std::memset(line, 128, size_t(geo_.chroma_width));
        } else {
          std::memset(line + cw, 128, size_t(geo_.chroma_width - cw));
        }
      }
    }
    shown_dirty_ = false;
  }
  return planes_of(fifth_);
}

}  // namespace kestrum
