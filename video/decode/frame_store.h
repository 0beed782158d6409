// The decoded pictures: four slots whose roles rotate so that pictures come
// out in display order without temporal references, a fifth buffer for
// presenting pictures with a blanked margin, and the RGB scratch buffer of
// the frame-copy routines.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/page_buffer.h"
#include "video/decode/decoder.h"

namespace kestrum {

struct FrameSlot {
  uint8_t *y = nullptr;
  uint8_t *cb = nullptr;
  uint8_t *cr = nullptr;
};

class FrameStore {
 public:
  static constexpr int kSlots = 4;
  // Plane sizes of the fixed buffers used for pictures up to 352x288.
  static constexpr int kStaticLuma = 352 * 288;
  static constexpr int kStaticChroma = 176 * 144;

  /// Lays out the buffers for a geometry, releasing those of the previous
  /// one (the fixed buffers stay and serve again). Returns false when memory
  /// fails; the store is then not ready.
  bool allocate(const FrameGeometry &geo);
  void release();
  bool ready() const { return ready_; }
  bool uses_static() const { return static_in_use_; }
  const FrameGeometry &geometry() const { return geo_; }

  /// Roles back to the open state: every slot black, four distinct roles.
  void reset_roles();
  /// Before an I or P picture: the previous anchor becomes the one shown.
  void rotate_anchor();
  /// Before a B picture: it decodes into a free slot and is shown at once.
  void rotate_b();
  /// At the end: show the newest anchor if it is still held back.
  bool show_newest_anchor();
  /// After a seek into a closed GOP: show the intra picture just decoded at
  /// once instead of when the next anchor arrives. The next anchor's
  /// rotation then brings it round again, which showing_repeat() reports.
  bool show_newest_anchor_early();
  /// An intra picture was shown early and no anchor has followed yet.
  bool shown_early() const { return early_; }
  /// The picture to show is one already shown (the early intra picture).
  bool showing_repeat() const { return repeat_; }
  /// The target's content changed (a picture or field was decoded into it).
  void mark_changed() { shown_dirty_ = true; }

  FrameSlot target() const { return slot_[target_]; }
  FrameSlot older_anchor() const { return slot_[older_]; }
  FrameSlot newest_anchor() const { return slot_[newest_]; }
  bool has_shown() const { return has_shown_; }
  /// The picture to present, with the margin blanked when the picture size
  /// is not a multiple of 16 (through the fifth buffer, so the references
  /// keep the decoded margin that later predictions read).
  Planes shown_planes();
  Planes target_planes() const { return planes_of(slot_[target_]); }
  uint8_t *rgb() const { return rgb_.data() ? const_cast<uint8_t *>(rgb_.data()) : nullptr; }

 private:
  bool lay_out(const FrameGeometry &geo);
  Planes planes_of(const FrameSlot &s) const;
  void clear_slot(const FrameSlot &s);

  FrameGeometry geo_{};
  bool ready_ = false;
  bool static_in_use_ = false;
  FrameSlot slot_[kSlots];
  FrameSlot fifth_;
  int newest_ = 0, older_ = 1, free_a_ = 2, free_b_ = 3, target_ = 3, shown_ = 0;
  bool has_shown_ = false;
  int anchors_seen_ = 0;     // anchors decoded since the roles were reset
  bool early_ = false;       // the newest anchor is on screen ahead of display order
  bool repeat_ = false;      // the shown slot was shown before
  bool shown_dirty_ = true;  // fifth buffer needs a fresh copy

  // The fixed buffers stay for the decoder's life once made.
  std::unique_ptr<uint8_t[]> static_memory_;
  platform::PageBuffer pages_;
  platform::PageBuffer fifth_pages_;
  platform::PageBuffer rgb_;
};

}  // namespace kestrum
