// Fast, slow and scan modes, and the audio-only loop.
#include <climits>

#include "platform/clock.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loops.h"
#include "video/engine/play/picture_steps.h"

namespace kestrum::play {

namespace {

// Decodes `count` anchors (B pictures passed over). false at the end.
bool decode_anchors(Engine &e, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (pass_to(e, kAnchors, INT32_MIN) != Got::picture) return false;
    pace_sleep(0);
  }
  return true;
}

void at_end(EngineState &s) {
  s.playback.end_of_stream = 1;
  s.playback.stopped = 1;
  s.playback.scan = 0;
}

}  // namespace

void fast_loop(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  const int32_t step = s.playback.scan_step < 1 ? 1 : s.playback.scan_step;
  for (int i = 0; i < kFastPicturesPerCall && !must_return(s); ++i) {
    if (!decode_anchors(e, step)) {
      at_end(s);
      break;
    }
    present(e);
    pace_sleep(kTrickPauseMs);
  }
  media().flush(DRAVIK_FLUSH_QUEUE);
  c.target = clock_ms() + static_cast<uint32_t>(c.period);
}

void slow_loop(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  if (decode_next(e) != Got::picture) {
    at_end(s);
    return;
  }
  present(e);
  const int32_t factor = s.playback.slow_factor < 1 ? 1 : s.playback.slow_factor;
  // Each picture keeps its share of the time: one repeating a field stays
  // half as long again.
  const int32_t fields = picture_fields();
  pace_sleep(static_cast<uint32_t>(factor * kSlowUnitMs * (fields < 1 ? 2 : fields) / 2));
  media().flush(DRAVIK_FLUSH_QUEUE);
  c.target = clock_ms() + static_cast<uint32_t>(c.period);
}

void scan_loop(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  if (audio_runs(s)) audio().halt();
  const int32_t step = s.playback.scan_step < 1 ? 1 : s.playback.scan_step;
  while (s.playback.scan && !s.source.closing && !s.playback.abort && s.source.open) {
    if (!decode_anchors(e, step)) {
      at_end(s);
      break;
    }
    present(e);
    pace_sleep(kTrickPauseMs);
  }
  // Leaving scan mode: the sound restarts at the new place.
  s.playback.scan = 0;
  media().flush(DRAVIK_FLUSH_QUEUE);
  if (audio_runs(s)) audio().flush();
  restart_audio_sync();
  c.target = clock_ms() + static_cast<uint32_t>(c.period);
  if (!s.playback.stopped && audio_runs(s)) media().run_callbacks(kAudioStartBudgetMs);
}

void audio_only_loop(Engine &e) {
  EngineState &s = e.state;
  while (!must_return(s)) {
    if (audio_runs(s)) {
      media().run_callbacks(kAudioOnlyRefillMs);
    } else if (s.audio_link.audio_open) {
      for (int i = 0; i < kAudioOnlyEndPolls && !audio().command(AUDIO_CMD_END_OF_STREAM, 0); ++i) {
        audio().command(AUDIO_CMD_DECODE_BLOCK, 0);
      }
    } else {
      media().seek(kAudioOnlyNudgeBytes, 1);
    }
    if (s.audio_link.audio_open && audio().command(AUDIO_CMD_END_OF_STREAM, 0)) {
      s.playback.end_of_stream = 1;
      s.playback.stopped = 1;
      return;
    }
    pace_sleep(kAudioOnlyPassMs);
  }
}

}  // namespace kestrum::play
