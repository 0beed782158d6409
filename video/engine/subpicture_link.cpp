#include "video/engine/subpicture_link.h"

#include <atomic>

#include "components/glyvex/glyvex.h"
#include "components/lumpane/lumpane.h"
#include "media/media_api.h"
#include "video/decode/decoder.h"
#include "video/engine/dvd_title.h"
#include "video/engine/engine.h"
#include "video/engine/ports.h"

namespace kestrum {

namespace {

std::atomic<int64_t> g_taken{0};
std::atomic<int32_t> g_burn_in{0};
// Set while the held picture carries the subpicture or the overlay
// picture: restored before the decoder may use it again as a reference.
bool g_held_mixed = false;
bool g_held_overlay = false;
std::atomic<int32_t> g_rate_family{1};

int64_t taken() { return g_taken.load(std::memory_order_relaxed); }
// Runs in the unit routine, on a reader thread under the parse lock: the
// ring's count is read without locks.
int64_t ahead() { return taken() + SysVideoAvail(nullptr); }

bool active() {
  const auto *table = static_cast<const DravikSpuTable *>(engine().startup_result);
  return dvd_disc() == 1 || (table && table->count != 0);
}

int32_t family(const KestrumPicture &) {
  StreamParams p;
  decoder().params(&p);
  return frame_rate_family(p.frame_rate_code);
}

bool mix_into(const KestrumPicture &p) {
  return GlyvexMix(const_cast<uint8_t *>(p.y), const_cast<uint8_t *>(p.cb), const_cast<uint8_t *>(p.cr),
                   p.y_pitch, p.c_pitch, p.width, p.height, g_rate_family, p.picture_type) != 0;
}

// A host display without present routines shows nothing: no mixing for it.
bool shows_pictures() {
  const Display &d = engine().display;
  if (d.driver() == &kNullDisplayDriver) return false;
  if (d.driver() == &kHostDisplayDriver) return d.host().present_planes || d.host().present_rgb;
  return true;
}

bool draw_overlay(const KestrumPicture &p) {
  return LumpaneDraw(const_cast<uint8_t *>(p.y), const_cast<uint8_t *>(p.cb), const_cast<uint8_t *>(p.cr),
                     p.y_pitch, p.c_pitch, p.width, p.height, p.picture_type) != 0;
}

// A unit from the host (command 145's routine): starts at the next picture;
// a stopped engine shows it at once.
int32_t take_unit(const void *unit, int32_t size) {
  if (!unit || size < 4 || size > GLYVEX_UNIT_BUFFER_SIZE) return 0;
  GlyvexTakeUnit(unit, size, g_rate_family);
  Engine &e = engine();
  if (e.state.source.open && e.state.playback.stopped && !e.state.picture.picture_held) engine_refresh();
  return 1;
}

}  // namespace

void subpicture_startup() { GlyvexBindVideo(taken, ahead); }

void subpicture_note_taken(int32_t n) {
  if (n > 0) g_taken.fetch_add(n, std::memory_order_relaxed);
}

void subpicture_picture_shown(const KestrumPicture &picture) {
  g_rate_family = family(picture);
  GlyvexPictureShown(picture.fields, g_rate_family);
}

void subpicture_clear() { GlyvexClear(); }

bool subpicture_before_present(const KestrumPicture &picture) {
  if (g_held_mixed || g_held_overlay || !shows_pictures()) return false;
  const bool mixed = active() && mix_into(picture);
  return draw_overlay(picture) || mixed;
}

void subpicture_after_present() {
  // The overlay picture went in last, so it comes out first.
  LumpaneRestore();
  GlyvexRestore();
}

void subpicture_hold() {
  if (g_held_mixed || g_held_overlay) return;
  KestrumPicture p{};
  if (!decoder().current_picture(&p)) return;
  g_held_mixed = g_burn_in && mix_into(p);
  g_held_overlay = draw_overlay(p);
}

void subpicture_release() {
  if (g_held_overlay) LumpaneRestore();
  if (g_held_mixed) GlyvexRestore();
  g_held_mixed = g_held_overlay = false;
}

intptr_t overlay_picture_routine() { return reinterpret_cast<intptr_t>(&LumpaneSetPicture); }

int32_t subpicture_set_burn_in(int32_t on) { return g_burn_in.exchange(on ? 1 : 0); }

intptr_t subpicture_update_routine() { return reinterpret_cast<intptr_t>(&take_unit); }

}  // namespace kestrum
