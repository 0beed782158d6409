#include "media/exports/frame.h"

#include "media/demux/demux.h"
#include "media/source/source.h"
#include "media/state.h"
#include "platform/clock.h"

namespace dravik {

void flush_audio(State &s) {
  s.rings.audio.clear();
  s.rings.audio_packets = 0;
  s.queue.clear();
  store_audio_avail(s);
}

int32_t flush(State &s, int32_t which) {
  switch (which) {
    case 10:
      s.queue.clear();
      return which;
    case 20:
      flush_audio(s);
      return which;
    case 1:
      s.path_mode.store(1);
      flush_audio(s);
      return which;
    case 2:
      s.path_mode.store(2);
      s.rings.video.clear();
      s.rings.picture_mark = -1;
      s.rings.video_packets = 0;
      store_video_avail(s);
      return which;
    case 0:
      s.path_mode.store(0);
      return 0;
    default:
      s.path_mode.store(which);
      return which;
  }
}

void queue_callback(State &s, DravikCallback fn, void *item) { s.queue.push(fn, item); }

int32_t run_callbacks(State &s, int32_t budget_ms) {
  // An AVI source's sound is read straight from the file: its refills never
  // wait on the audio ring.
  const bool audio_ready =
      s.rings.audio.available() > 0 || s.raw_mode == 2 || s.source.type == SourceType::avi;
  if (!audio_ready || budget_ms <= 0 || s.path_mode.load() == 1 || s.queue.empty()) return 0;
  const uint32_t start = platform::tick_ms();
  uint32_t elapsed = 0;
  void *item = nullptr;
  while (elapsed < static_cast<uint32_t>(budget_ms) && s.queue.take(&item)) {
    if (DravikCallback fn = s.queue.callback()) fn(item);
    elapsed = platform::tick_ms() - start;
  }
  return static_cast<int32_t>(elapsed);
}

void reset_state(State &s) {
  // Forgetting the source without closing it would leak its descriptor.
  if (s.source.type != SourceType::none) close_source(s);
  s.path_mode.store(0);
  s.rings.video.clear();
  s.rings.audio.clear();
  s.rings.video_packets = s.rings.audio_packets = s.rings.spu_packets = 0;
  s.rings.picture_mark = -1;
  s.queue.clear();
  s.settings.reserved42 = 0;
  s.end.store(false);
  s.parse.valid_bytes = 0;
  s.source = Source{};
  s.select.video_id = s.select.audio_id = s.select.spu_id = -1;
  s.rings.raw_bytes = 0;
  reset_parser(s);
  store_video_avail(s);
  store_audio_avail(s);
}

}  // namespace dravik
