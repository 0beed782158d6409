// The first two steps of the normal loops: the end of the video data, and
// the late start of the sound.
#include "platform/clock.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loops.h"

namespace kestrum::play {

bool finish_at_end(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  bool at_end;
  {
    platform::Lock lock(e.engine_lock);
    at_end = decoder().end_of_data() != 0;
  }
  if (!at_end) return false;
  if (s.audio_link.audio_open && s.audio_link.audio_running && !s.audio_link.audio_paused) {
    // The pictures are all shown; the sound may still be playing.
    for (int i = 0; i < kPicturesPerCall; ++i) {
      if (audio().command(AUDIO_CMD_END_OF_STREAM, 0)) break;
      if (must_return(s)) return true;
      spend(s, c.period);
    }
    if (!audio().command(AUDIO_CMD_END_OF_STREAM, 0)) return true;  // look again next call
  }
  s.playback.end_of_stream = 1;
  s.playback.stopped = 1;
  return true;
}

void open_late_audio(Engine &e) {
  EngineState &s = e.state;
  if (s.audio_link.audio_open || !s.source.audio_present || s.source.is_elementary || audio_fill() <= 0)
    return;
  platform::Lock lock(e.engine_lock);
  audio().open_stream(s.source.source_tag);
  if (audio().open_output(e.display.window())) {
    s.audio_link.audio_open = 1;
    s.audio_link.audio_running = audio().play();
    restart_audio_sync();
    media().run_callbacks(kAudioStartBudgetMs);
  } else {
    // No sound after all: stop filling a ring nobody drains.
    media().flush(DRAVIK_FLUSH_AUDIO_OFF);
    s.source.audio_present = 0;
  }
}

}  // namespace kestrum::play
