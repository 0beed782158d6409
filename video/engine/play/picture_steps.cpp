#include "video/engine/play/picture_steps.h"

#include "platform/clock.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loop_ports.h"
#include "video/engine/subpicture_link.h"

namespace kestrum::play {

namespace {

constexpr int32_t kPictureB = 3;

// Display length of the picture the last step made current. Playback
// thread only.
int32_t g_fields = 2;
// And when it starts on screen (kNoPictureTime when unknown).
int64_t g_time = kNoPictureTime;

bool playable(const EngineState &s) {
  return s.source.open && !s.source.closing && s.source.open_mode == static_cast<int32_t>(OpenMode::video);
}

// Decodes the picture just parsed and, for a first field, its second field.
void decode_parsed_pair(const LoopPort &p) {
  p.decode_parsed();
  if (p.second_field_pending() && p.parse_next()) p.decode_parsed();
}

// The parsed picture, then, when it only brought round the intra picture a
// seek showed early, the next one too: that picture is on screen already.
void decode_parsed_frame() {
  const LoopPort &p = loop_port();
  subpicture_release();
  decode_parsed_pair(p);
  if (p.showing_repeat && p.showing_repeat() && p.parse_next()) decode_parsed_pair(p);
  publish_current();
  g_fields = shown_fields();
  g_time = shown_time_fields();
}

}  // namespace

Got decode_next(Engine &e) {
  platform::Lock lock(e.engine_lock);
  if (!playable(e.state)) return Got::end;
  if (!decode_next_picture()) return Got::end;
  if (loop_port().second_field_pending()) decode_next_picture();
  g_fields = shown_fields();
  g_time = shown_time_fields();
  return Got::picture;
}

Got pass_to(Engine &e, uint32_t types, int32_t bound) {
  const LoopPort &p = loop_port();
  for (;;) {
    {
      platform::Lock lock(e.engine_lock);
      if (!playable(e.state)) return Got::end;
      if (p.video_fill() <= bound) return Got::nothing;
      const int32_t type = p.parse_next();
      if (type == 0) return Got::end;
      if (types & (1u << type)) {
        decode_parsed_frame();
        return Got::picture;
      }
    }
    // Between passes the audio refills run and the interface may seek.
    refill(e.state, kRefillSliceMs);
    pace_sleep(0);
  }
}

Got decode_unless_b(Engine &e) {
  platform::Lock lock(e.engine_lock);
  if (!playable(e.state)) return Got::end;
  const int32_t type = loop_port().parse_next();
  if (type == 0) return Got::end;
  if (type == kPictureB) return Got::nothing;
  decode_parsed_frame();
  return Got::picture;
}

void present(Engine &e) {
  EngineState &s = e.state;
  if (const KestrumEndCallback callback = s.playback.end_callback.load()) callback();
  {
    platform::Lock lock(e.engine_lock);
    if (!s.picture.picture_held) present_current();
  }
  count_shown_picture(g_fields);
  pace_sleep(0);
}

int32_t picture_fields() { return g_fields; }
int64_t picture_time() { return g_time; }

}  // namespace kestrum::play

namespace kestrum::play {
int32_t pass_to_intra_locked() {
  const LoopPort &p = loop_port();
  for (;;) {
    const int32_t type = p.parse_next();
    if (type == 0) return 0;
    if (type == 1) {
      p.decode_parsed();
      if (p.second_field_pending() && p.parse_next()) p.decode_parsed();
      return 1;
    }
  }
}
}  // namespace kestrum::play
