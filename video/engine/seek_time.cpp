// Seeking in display time and the display time of the picture on screen.
// Time here is what the viewer sees: pictures that repeat a field count
// their length, so a film stored with 3:2 pull-down flags keeps its time.
#include "components/glyvex/glyvex.h"
#include "video/decode/decoder.h"
#include "video/engine/avi_pictures.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/subpicture_link.h"

namespace kestrum {

Decoder *engine_decoder();

namespace {

bool plays_video(const EngineState &s) {
  return s.source.open && !s.source.closing && s.source.source_tag != -1 &&
         s.source.open_mode == static_cast<int32_t>(OpenMode::video);
}

}  // namespace

int32_t engine_picture_time() {
  Engine &e = engine();
  platform::Lock lock(e.engine_lock);
  if (avi_pictures_active()) return plays_video(e.state) ? avi_picture_time() : -1;
  const Decoder *d = engine_decoder();
  if (!plays_video(e.state) || !d || !d->has_shown_picture()) return -1;
  const int64_t fields = d->shown_time_fields();
  if (fields < 0) return -1;
  const int64_t ms = fields * frame_period_us(d->sequence().frame_rate_code) / 2000;
  return ms > INT32_MAX ? -1 : static_cast<int32_t>(ms);
}

int32_t engine_seek_time(int32_t ms) {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!plays_video(s) || s.source.total_length == 0 || ms < 0) return 0;
  GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
  s.playback.busy.hold();
  int32_t ok = 0;
  bool moved = false;
  {
    platform::Lock lock(e.engine_lock);
    Decoder *d = engine_decoder();
    if (avi_pictures_active()) {
      moved = true;
      if (s.audio_link.audio_running) audio().halt();
      ok = avi_show_time(ms);
      s.playback.end_of_stream = 0;
      publish_current();
      if (e.display.is_open() && !s.picture.picture_held) present_current();
    } else if (d && d->frame_store_ready()) {
      moved = true;
      if (s.audio_link.audio_running) audio().halt();
      // The first picture that starts at or after ms: the one whose start
      // in field periods f has f x period >= ms.
      const int64_t period_us = frame_period_us(d->sequence().frame_rate_code);
      const int64_t target = (int64_t{ms} * 2000 + period_us - 1) / period_us;
      // A seek to the start first: the port forgets that the stream had
      // run out, and the reader starts afresh.
      media().seek(0, 0);
      decoder().restart();
      Decoder::IntraPlace place;
      media().seek(0, 0);
      d->reset_reader();
      ok = d->locate_intra(target, &place);
      if (ok) {
        media().seek(0, 0);
        d->reset_reader();
        ok = d->enter_at_intra(place);
      }
      // On from the intra picture to the one asked for (the last one when
      // the time lies beyond the stream's end).
      while (ok && d->shown_time_fields() < target) {
        if (!d->step_picture() && !d->show_last_anchor()) break;
      }
      s.playback.end_of_stream = 0;
      subpicture_clear();
      publish_current();
      if (e.display.is_open() && !s.picture.picture_held) present_current();
    }
  }
  if (moved) flush_audio_after_seek();
  s.playback.busy.release();
  return ok ? current_position() : 0;
}

}  // namespace kestrum
