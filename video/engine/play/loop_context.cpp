#include "video/engine/play/loop_context.h"

#include "platform/clock.h"
#include "video/decode/decoder.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_ports.h"

namespace kestrum::play {

namespace {
// AudioCommand code answering the audio engine's bit rate is AudioGetBitRate.
LoopContext g_context;
}  // namespace

LoopContext &loop_context(Engine &e) {
  EngineState &s = e.state;
  LoopContext &c = g_context;
  if (c.open_count != s.source.open_count) {
    StreamParams p;
    decoder().params(&p);
    c.mpeg2 = p.is_mpeg2 != 0;
    c.video = c.mpeg2 ? mpeg2_video_levels(loop_port().vbv_bytes()) : mpeg1_video_levels();
    c.audio = audio_levels(c.mpeg2, s.audio_link.audio_open ? audio().get_bit_rate() : 0);
    c.period = frame_period_ms(p.frame_rate_code);
    c.period_us = frame_period_us(p.frame_rate_code);
    c.ring_fed = s.source.is_elementary == 0;
    c.exact_durations = false;
    c.carry_us = 0;
    c.last_gap_ms = c.period;
    c.target = clock_ms() + static_cast<uint32_t>(c.period);
    c.open_count = s.source.open_count;
  }
  return c;
}

int32_t display_ms(LoopContext &c, int32_t fields) {
  if (fields <= 0) fields = 2;
  if (fields != 2) c.exact_durations = true;
  if (!c.exact_durations) {
    c.last_gap_ms = c.period;
  } else {
    const int64_t us = int64_t{c.period_us} * fields / 2 + c.carry_us;
    c.carry_us = static_cast<int32_t>(us % 1000);
    c.last_gap_ms = static_cast<int32_t>(us / 1000);
  }
  return c.last_gap_ms;
}

uint32_t first_due(const LoopContext &c) {
  const uint32_t now = clock_ms();
  if (!c.exact_durations) return now + static_cast<uint32_t>(c.period);
  const int32_t ahead = until(c.target, now);
  if (ahead > -c.last_gap_ms && ahead <= c.last_gap_ms) return c.target;
  return now + static_cast<uint32_t>(c.last_gap_ms);
}

int32_t video_fill() { return loop_port().video_fill(); }
int32_t audio_fill() { return loop_port().audio_fill(); }

bool audio_runs(const EngineState &s) {
  return s.audio_link.audio_open && s.audio_link.audio_running && !s.audio_link.audio_paused;
}

bool paces(const EngineState &s) { return s.audio_link.audio_open || s.playback.real_time; }

bool must_return(const EngineState &s) {
  return s.playback.stopped || s.source.closing || s.presentation.relayout || s.playback.abort ||
         !s.source.open;
}

void refill(const EngineState &s, int32_t ms) {
  if (ms > 0 && audio_runs(s)) media().run_callbacks(ms);
}

void spend(const EngineState &s, int32_t ms) {
  if (ms <= 0) return;
  const uint32_t start = clock_ms();
  refill(s, ms);
  const int32_t left = ms - static_cast<int32_t>(clock_ms() - start);
  if (left > 0) pace_sleep(static_cast<uint32_t>(left));
}

}  // namespace kestrum::play
