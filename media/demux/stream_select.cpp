#include "media/demux/stream_select.h"

#include <cstring>

#include "media/demux/byte_cursor.h"
#include "media/hooks/hook_call.h"
#include "media/state.h"

namespace dravik {

namespace {

// Space kept free between writer and reader: a full ring would read as
// empty, and the copies move whole 8-byte units.
constexpr uint32_t kRingSlack = 16;

struct ListRef {
  int32_t *ids;
  int32_t *count;
  uint8_t *age;  // by id (subpictures: by number)
  int32_t cap;
  uint8_t renew;
};

ListRef list_of(State &s, SeenKind kind) {
  switch (kind) {
    case SeenKind::video:
      return {s.select.video_seen.ids, &s.select.video_seen.count, s.demux.video_age, 16, 16};
    case SeenKind::audio:
      return {s.select.audio_seen.ids, &s.select.audio_seen.count, s.demux.audio_age, 32, 32};
    case SeenKind::spu:
    default:
      return {s.select.spu_seen.numbers, &s.select.spu_seen.count, s.demux.spu_age, 32, 32};
  }
}

int32_t age_index(SeenKind kind, int32_t id) { return kind == SeenKind::spu ? (id & 31) : (id & 0xFF); }

bool listed(const ListRef &l, int32_t id) {
  for (int32_t i = 0; i < *l.count; ++i)
    if (l.ids[i] == id) return true;
  return false;
}

// Copies n bytes at the cursor into the ring (consumed in any case).
bool copy_into(State &s, Ring &ring, int32_t n) {
  return cursor_copy(s, n, [&](const uint8_t *p, int32_t run) { ring.write(p, static_cast<uint32_t>(run)); });
}

}  // namespace

void note_seen(State &s, SeenKind kind, int32_t id) {
  ListRef l = list_of(s, kind);
  bool removed = false;
  int32_t kept = 0;
  for (int32_t i = 0; i < *l.count; ++i) {
    const int32_t other = l.ids[i];
    uint8_t &age = l.age[age_index(kind, other)];
    if (other != id && age > 0 && --age == 0) {
      removed = true;
      continue;
    }
    l.ids[kept++] = other;
  }
  *l.count = kept;
  if (!listed(l, id)) {
    if (*l.count >= l.cap) return;
    l.ids[(*l.count)++] = id;
  }
  l.age[age_index(kind, id)] = l.renew;
  if (!removed || *l.count == 0) return;
  // A selection that aged out moves to the first id still seen.
  if (kind == SeenKind::audio && s.select.audio_id != -1 && !listed(l, s.select.audio_id))
    s.select.audio_id = l.ids[0];
  if (kind == SeenKind::spu && s.select.spu_id != -1 && !listed(l, s.select.spu_id))
    s.select.spu_id = l.ids[0];
}

void add_seen_unaged(State &s, SeenKind kind, int32_t id) {
  ListRef l = list_of(s, kind);
  if (listed(l, id) || *l.count >= l.cap) return;
  l.ids[(*l.count)++] = id;
  l.age[age_index(kind, id)] = 0;
}

void clear_seen(State &s) {
  s.select.video_seen.count = 0;
  s.select.audio_seen.count = 0;
  s.select.spu_seen.count = 0;
  std::memset(s.demux.video_age, 0, sizeof s.demux.video_age);
  std::memset(s.demux.audio_age, 0, sizeof s.demux.audio_age);
  std::memset(s.demux.spu_age, 0, sizeof s.demux.spu_age);
}

uint32_t ring_room(const Ring &r) {
  const uint32_t used = r.available();
  return r.size() - kRingSlack > used ? r.size() - kRingSlack - used : 0;
}

bool store_video(State &s, int32_t id, int32_t n) {
  if (s.end.load(std::memory_order_relaxed) || s.path_mode.load(std::memory_order_relaxed) == 2) {
    cursor_skip(s, n);
    return false;
  }
  if (s.select.video_id == -1) s.select.video_id = id;
  if (id != s.select.video_id) {
    cursor_skip(s, n);
    return false;
  }
  if (static_cast<uint32_t>(n) > ring_room(s.rings.video)) {
    // Never overwrite what the reader has not taken: the packet is dropped
    // whole, so everything the reader gets is intact.
    s.demux.video_dropped += n;
    cursor_skip(s, n);
    return false;
  }
  ++s.rings.video_packets;
  return copy_into(s, s.rings.video, n);
}

bool store_audio(State &s, int32_t id, int32_t n, const uint8_t *header, int32_t hn) {
  if (s.end.load(std::memory_order_relaxed) || s.path_mode.load(std::memory_order_relaxed) == 1) {
    cursor_skip(s, n);
    return false;
  }
  if (s.select.audio_id == -1) s.select.audio_id = id;
  if (id != s.select.audio_id) {
    cursor_skip(s, n);
    return false;
  }
  if (static_cast<uint32_t>(n + hn) > ring_room(s.rings.audio)) {
    s.demux.audio_dropped += n + hn;
    cursor_skip(s, n);
    return false;
  }
  ++s.rings.audio_packets;
  // A record's header and payload go in together or not at all.
  if (hn > 0) s.rings.audio.write(header, static_cast<uint32_t>(hn));
  return copy_into(s, s.rings.audio, n);
}

void apply_audio_switch(State &s) {
  IdList &prefer = s.select.audio_prefer;
  if (prefer.count == 0) return;
  // The write index moves back: no parse step may write meanwhile.
  platform::Lock lock(s.parse_lock);
  if (s.select.audio_seen.count == 1) {
    prefer.count = 0;
    return;
  }
  int32_t i = 0;
  for (; i < prefer.count; ++i)
    if (s.select.audio_seen.contains(prefer.ids[i])) break;
  if (i == prefer.count) return;
  const int32_t want = prefer.ids[i];
  if (want == s.select.audio_id) return;
  prefer.count = i == 0 ? 0 : i + 1;
  Ring &ring = s.rings.audio;
  const uint32_t avail = ring.available();
  if (avail >= 2) {
    // Drop everything from the last MPEG audio sync word on: the partial
    // frame there would otherwise run into the other stream's bytes.
    const uint32_t r = ring.read_index();
    for (uint32_t k = avail - 1; k-- > 0;) {
      if (ring.at(r + k) == 0xFF && (ring.at(r + k + 1) & 0xF0) == 0xF0) {
        ring.set_write_index(r + k);
        break;
      }
    }
  }
  s.select.audio_id = want;
}

void reselect_subpicture(State &s) {
  for (int32_t i = 0; i < s.select.spu_prefer.count; ++i) {
    const int32_t want = s.select.spu_prefer.ids[i];
    for (int32_t j = 0; j < s.select.spu_seen.count; ++j) {
      if (s.select.spu_seen.numbers[j] != want) continue;
      s.select.spu_id = want;
      s.select.spu_prefer.count = i == 0 ? 0 : i + 1;
      return;
    }
  }
}

namespace {

// Appends n payload bytes at the cursor to an assembly buffer and hands a
// whole unit to target when one is complete. -> true when a unit went out.
bool assemble(State &s, uint8_t *assembly, int32_t &fill, int32_t n, void *target) {
  if (fill + n > kSpuAssemblyBytes) fill = 0;
  if (n > kSpuAssemblyBytes) {
    cursor_skip(s, n);
    return false;
  }
  cursor_copy(s, n, [&](const uint8_t *p, int32_t run) {
    std::memcpy(assembly + fill, p, static_cast<size_t>(run));
    fill += run;
  });
  if (fill < 4) return false;
  const int32_t size = assembly[0] << 8 | assembly[1];
  const int32_t control = assembly[2] << 8 | assembly[3];
  if (size <= 0 || size > kMaxSpuUnit || control >= size || control > kMaxSpuUnit ||
      size / 2 < size - control) {
    fill = 0;
    return false;
  }
  if (fill < size) return false;
  std::memcpy(target, assembly, static_cast<size_t>(size));
  std::memmove(assembly, assembly + size, static_cast<size_t>(fill - size));
  fill -= size;
  return true;
}

}  // namespace

void take_subpicture(State &s, int32_t number, int32_t n) {
  for (auto &sink : s.hooks.sinks) {
    if (sink->number != number) continue;
    if (!s.settings.spu_enabled || !sink->target || !sink->callback) {
      sink->fill = 0;
      cursor_skip(s, n);
      return;
    }
    if (assemble(s, sink->assembly.get(), sink->fill, n, sink->target)) {
      HookCall mark;  // the sink's callback may not free the sink it runs in
      sink->callback(sink->user);
    }
    return;
  }
  if (s.select.spu_id == -1 && s.select.spu_prefer.count > 0) {
    s.select.spu_id = s.select.spu_prefer.ids[0];
    s.settings.spu_enabled = true;
  }
  DemuxState &d = s.demux;
  if (!s.settings.spu_enabled || !s.settings.spu_buffer || !s.settings.spu_callback) {
    d.spu_fill = 0;
    cursor_skip(s, n);
    return;
  }
  if (s.select.spu_id == -1) s.select.spu_id = number;
  if (number != s.select.spu_id) {
    cursor_skip(s, n);
    return;
  }
  if (assemble(s, d.spu_assembly.get(), d.spu_fill, n, s.settings.spu_buffer)) {
    {
      HookCall mark;  // a read from here would re-enter the parse step
      s.settings.spu_callback(0);
    }
    if (s.select.spu_prefer.count > 0) reselect_subpicture(s);
  }
}

}  // namespace dravik
