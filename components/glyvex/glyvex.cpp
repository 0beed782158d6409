// The subpicture decoder's state: the queue of arrived units (filled on the
// reader threads), the unit on screen with its control sequences and area,
// and the mixer.
#include "components/glyvex/glyvex.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "components/glyvex/spu_mixer.h"
#include "components/glyvex/spu_unit.h"

namespace glyvex {
namespace {

// Units waiting to start; a full queue drops its oldest.
constexpr size_t kMaxQueued = 32;

struct Queued {
  std::vector<uint8_t> bytes;
  int64_t mark = 0;
};

struct Shown {
  bool active = false;
  std::vector<uint8_t> bytes;
  std::vector<Sequence> sequences;
  size_t next = 0;
  int64_t fields = 0;  // shown since the unit started
  bool visible = false;
  uint8_t colour[4] = {};
  uint8_t contrast[4] = {};
  int32_t x = 0, y = 0, width = 0, height = 0;
  uint16_t offset[2] = {};
  bool area_dirty = false;
  bool layer_dirty = false;
  std::vector<uint8_t> pixels;
  Layer layer;
};

// Grey levels from black to white with neutral chroma.
void default_palette(uint32_t *palette) {
  for (uint32_t i = 0; i < 16; ++i) palette[i] = (16 + i * 219 / 15) << 16 | 0x8080;
}

struct State {
  State();
  std::mutex lock;
  std::deque<Queued> queued;
  Shown shown;
  Mixer mixer;
  uint32_t palette[16] = {};
  // Read in the unit routine without the lock.
  std::atomic<GlyvexVideoCount> taken{nullptr};
  std::atomic<GlyvexVideoCount> ahead{nullptr};
  int32_t last_fields = 2;  // length of the picture on screen
};

State::State() { default_palette(palette); }

State &st() {
  static State s;
  return s;
}

alignas(16) unsigned char g_unit_buffer[GLYVEX_UNIT_BUFFER_SIZE + 16];

void unit_ready(intptr_t) {
  State &s = st();
  const size_t size = static_cast<size_t>(g_unit_buffer[0] << 8 | g_unit_buffer[1]);
  if (size < 4) return;
  Queued q;
  q.bytes.assign(g_unit_buffer, g_unit_buffer + size);
  const GlyvexVideoCount ahead = s.ahead.load();
  q.mark = ahead ? ahead() : 0;
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.queued.size() >= kMaxQueued) s.queued.pop_front();
  s.queued.push_back(std::move(q));
}

void start_unit(Shown &u, std::vector<uint8_t> &&bytes) {
  u = Shown{};
  u.bytes = std::move(bytes);
  u.active = parse_unit(u.bytes.data(), u.bytes.size(), u.sequences);
}

void apply(Shown &u, const Sequence &q) {
  if (q.has_colour) std::memcpy(u.colour, q.colour, 4);
  if (q.has_contrast) std::memcpy(u.contrast, q.contrast, 4);
  if (q.has_colour || q.has_contrast) u.layer_dirty = true;
  if (q.has_area) {
    // An inverted area draws nothing; a huge one is cut to the largest.
    u.x = q.x1, u.y = q.y1;
    u.width = q.x2 >= q.x1 ? std::min(q.x2 - q.x1 + 1, kMaxAreaWidth) : 0;
    u.height = q.y2 >= q.y1 ? std::min(q.y2 - q.y1 + 1, kMaxAreaHeight) : 0;
    u.area_dirty = true;
  }
  if (q.has_offsets) {
    std::memcpy(u.offset, q.offset, sizeof u.offset);
    u.area_dirty = true;
  }
  if (q.display >= 0) u.visible = q.display == 1;
}

// Whether `delay` (1024/90000 s) has passed after `fields` field periods.
bool due(int64_t delay, int64_t fields, int32_t rate_family) {
  // fields / (2 * rate) >= delay * 1024 / 90000
  return rate_family ? fields * 90000 >= delay * 1024 * 2 * 25
                     : fields * 90000 * 1001 >= delay * 1024 * 2 * 30000;
}

void run_due(Shown &u, int32_t rate_family) {
  while (u.active && u.next < u.sequences.size() && due(u.sequences[u.next].delay, u.fields, rate_family)) {
    apply(u, u.sequences[u.next]);
    ++u.next;
  }
}

PixelColours colours_of(const State &s, const Shown &u) {
  PixelColours c{};
  for (int i = 0; i < 4; ++i) {
    const uint32_t entry = s.palette[u.colour[i] & 15];
    c.y[i] = static_cast<uint8_t>(entry >> 16);
    c.cr[i] = static_cast<uint8_t>(entry >> 8);
    c.cb[i] = static_cast<uint8_t>(entry);
    c.alpha[i] = static_cast<uint8_t>(u.contrast[i] * 17);
  }
  return c;
}

}  // namespace
}  // namespace glyvex

using namespace glyvex;

extern "C" {

void GlyvexGetEntries(intptr_t *buffer, intptr_t *unit_ready_out) {
  if (buffer) *buffer = reinterpret_cast<intptr_t>(g_unit_buffer);
  if (unit_ready_out) *unit_ready_out = reinterpret_cast<intptr_t>(&unit_ready);
}

void GlyvexSetTitle(const void *title_words) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  if (title_words)
    std::memcpy(s.palette, title_words, sizeof s.palette);
  else
    default_palette(s.palette);
  s.queued.clear();
  s.shown = Shown{};
}

void GlyvexShutdown(void) { GlyvexClear(); }

void GlyvexRedraw(void *, int32_t, int32_t, int32_t, const int32_t *) {}

int32_t GlyvexMix(uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_pitch, int32_t c_pitch, int32_t width,
                  int32_t height, int32_t, int32_t) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  Shown &u = s.shown;
  if (!u.active || !u.visible || u.width <= 0 || u.height <= 0) return 0;
  if (u.area_dirty) {
    // Decoded once per area, not per picture.
    u.pixels.resize(static_cast<size_t>(u.width) * static_cast<size_t>(u.height));
    decode_area(u.bytes.data(), u.bytes.size(), u.offset, u.width, u.height, u.pixels.data());
    u.area_dirty = false;
    u.layer_dirty = true;
  }
  if (u.layer_dirty) {
    build_layer(u.pixels.data(), u.x, u.y, u.width, u.height, colours_of(s, u), u.layer);
    u.layer_dirty = false;
  }
  const PlaneSet planes{y, cb, cr, y_pitch, c_pitch, width, height};
  return s.mixer.mix(planes, u.layer) ? 1 : 0;
}

void GlyvexRestore(void) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  s.mixer.restore();
}

void GlyvexPlayState(int32_t) {}

void GlyvexTakeUnit(const void *unit, int32_t size, int32_t rate_family) {
  if (!unit || size < 4 || size > GLYVEX_UNIT_BUFFER_SIZE) return;
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  const auto *bytes = static_cast<const uint8_t *>(unit);
  start_unit(s.shown, std::vector<uint8_t>(bytes, bytes + size));
  run_due(s.shown, rate_family);
}

void GlyvexBindVideo(GlyvexVideoCount taken, GlyvexVideoCount ahead) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  s.taken = taken;
  s.ahead = ahead;
}

void GlyvexPictureShown(int32_t fields, int32_t rate_family) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  // The picture before this one has now been shown for its whole length.
  if (s.shown.active) s.shown.fields += s.last_fields;
  s.last_fields = fields > 0 ? fields : 2;
  const GlyvexVideoCount count = s.taken.load();
  const int64_t taken = count ? count() : INT64_MAX;
  while (!s.queued.empty() && s.queued.front().mark <= taken) {
    start_unit(s.shown, std::move(s.queued.front().bytes));
    s.queued.pop_front();
  }
  run_due(s.shown, rate_family);
}

void GlyvexClear(void) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  s.queued.clear();
  s.shown = Shown{};
}

int32_t GlyvexVisible(void) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.lock);
  return s.shown.active && s.shown.visible && s.shown.width > 0 && s.shown.height > 0 ? 1 : 0;
}

}  // extern "C"
