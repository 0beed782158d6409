#include "media/rings/reader.h"

#include <cstring>
#include <mutex>

#include "media/blocks/block_reader.h"
#include "media/demux/demux.h"
#include "media/source/source.h"
#include "media/state.h"

namespace dravik {

namespace {

constexpr uint32_t kBlockedRecheckMs = 5;

// A take made room in ring: wakes a reader blocked on it being full.
void room_made(State &s) { s.rings.room_made.set(); }

bool engine_reads_itself(const State &s) {
  return s.source.type == SourceType::avi || s.source.type == SourceType::plugin;
}

// Pulls len bytes from ring, running parse steps while it holds too little.
// When the source runs dry the reader gets what is left, rounded up to a
// multiple of 4 with zeros (never past len), and the ring starts afresh.
int32_t pull(State &s, Ring &ring, std::atomic<int32_t> &target, StepReader who, uint8_t *out, int32_t len) {
  const bool audio = who == StepReader::audio;
  const uint32_t want = static_cast<uint32_t>(len);
  note_reader_active(s, who);
  if (audio) apply_audio_switch(s);
  if (ring.available() < want) {
    for (;;) {
      target.store(len, std::memory_order_release);
      std::unique_lock<platform::CriticalSection> lock(s.parse_lock);
      target.store(0, std::memory_order_release);
      if (ring.available() >= want) break;
      const StepResult step = parse_step(s, who);
      if (audio) apply_audio_switch(s);
      const uint32_t avail = ring.available();
      if (step == StepResult::progress) continue;
      if (avail >= want) break;
      if (step == StepResult::blocked) {
        // The other ring is full and its reader is still taking from it:
        // wait for room rather than lose its bytes or cut this read short.
        // Its reader sets the event with each take; the bound re-checks a
        // reader that has stopped taking.
        lock.unlock();
        note_reader_active(s, who);
        s.rings.room_made.wait(kBlockedRecheckMs);
        continue;
      }
      int32_t r = avail == 0 ? 0 : static_cast<int32_t>(((avail - 1) & ~3u) + 4);
      if (r > len) r = len;
      ring.read(out, avail);
      std::memset(out + avail, 0, static_cast<size_t>(r) - avail);
      ring.clear();
      room_made(s);
      if (!audio) s.rings.picture_mark = -1;
      s.rings.raw_bytes = 0;
      store_video_avail(s);
      store_audio_avail(s);
      return r;
    }
  }
  ring.read(out, want);
  store_video_avail(s);
  store_audio_avail(s);
  room_made(s);
  wake_block_reader(s);
  return len;
}

bool audio_path_open(const State &s, void *buf, int32_t len) {
  return buf && len > 0 && s.raw_mode != 1 && s.path_mode.load() != 1 && !engine_reads_itself(s);
}

}  // namespace

int32_t read_video(State &s, void *buf, int32_t len) {
  if (s.raw_mode == 1) return buf ? read_raw_elementary(s, buf, len) : 0;
  if (s.raw_mode == 2 || !buf || len <= 0 || s.path_mode.load() == 2 || engine_reads_itself(s)) return 0;
  auto *out = static_cast<uint8_t *>(buf);
  if (s.rings.picture_mark >= 0) {
    const uint32_t m =
        (static_cast<uint32_t>(s.rings.picture_mark) - s.rings.video.read_index()) & (kVideoRingBytes - 1);
    if (m > static_cast<uint32_t>(len)) {
      s.rings.video.read(out, static_cast<uint32_t>(len));
    } else {
      // Deliver up to the mark; the bytes just handed out are zeroed in
      // place, so the next read starts with zeros and then the marked code.
      s.rings.video.peek(out, m);
      std::memset(out + m, 0, static_cast<size_t>(len) - m);
      s.rings.video.zero_front(m);
      s.rings.picture_mark = -1;
    }
    room_made(s);
    store_video_avail(s);
    store_audio_avail(s);
    wake_block_reader(s);
    return len;
  }
  return pull(s, s.rings.video, s.rings.video_target, StepReader::video, out, len);
}

int32_t read_audio(State &s, void *buf, int32_t len) {
  if (s.raw_mode == 2) return buf ? read_raw_elementary(s, buf, len) : 0;
  if (!audio_path_open(s, buf, len)) return 0;
  const int32_t id = s.select.audio_id;
  if (id != -1 && (id < 0xC0 || id > 0xDF)) return 0;
  return pull(s, s.rings.audio, s.rings.audio_target, StepReader::audio, static_cast<uint8_t *>(buf), len);
}

int32_t read_stream(State &s, int32_t id, void *buf, int32_t len) {
  if (s.raw_mode == 2) return buf ? read_raw_elementary(s, buf, len) : 0;
  if (!audio_path_open(s, buf, len)) return 0;
  if (s.select.audio_id != -1 && s.select.audio_id != id) return 0;
  return pull(s, s.rings.audio, s.rings.audio_target, StepReader::audio, static_cast<uint8_t *>(buf), len);
}

int32_t find_picture(State &s) {
  const int64_t mark = s.rings.video.find_picture_or_end();
  s.rings.picture_mark = mark;
  return mark >= 0 ? 1 : 0;
}

}  // namespace dravik
