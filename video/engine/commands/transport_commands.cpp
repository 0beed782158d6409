// Transport: play, stop, pause, seek, step, scan, the A/B marks, the end
// checks and the play modes.
#include "audio/audio_api.h"
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"

namespace kestrum::commands {

namespace {

// Budget (ms) for the queued audio refills when play starts.
constexpr int32_t kStartRefillBudgetMs = 60;
// VCMD_AT_END: the end is near when fewer bytes than this remain.
constexpr int32_t kEndMargin = 2048;

constexpr bool valid_play_mode(int32_t mode) {
  return mode >= static_cast<int32_t>(PlayMode::normal) && mode <= static_cast<int32_t>(PlayMode::slow);
}

void start_audio_for_play() {
  EngineState &s = engine().state;
  if (!s.audio_link.audio_open) return;
  s.audio_link.audio_running = audio().play();
  play::restart_audio_sync();
  if (s.source.open_mode == static_cast<int32_t>(OpenMode::audio_only)) {
    start_audio_device_filled();
  } else {
    media().run_callbacks(kStartRefillBudgetMs);
  }
}

// Play, silent play and play with an end routine (only while stopped).
int32_t play(int32_t cmd, intptr_t arg) {
  EngineState &s = engine().state;
  if (!s.playback.stopped) return 0;
  if (cmd == VCMD_PLAY_WITH_CALLBACK) {
    const auto callback = reinterpret_cast<KestrumEndCallback>(arg);
    s.playback.end_callback = callback;
    if (callback) callback();
  }
  if (cmd == VCMD_PLAY_SILENT) {
    s.audio_link.audio_running = 0;
  } else if (s.playback.play_mode == static_cast<int32_t>(PlayMode::normal)) {
    start_audio_for_play();
  }
  return engine_run();
}

int32_t stop() {
  EngineState &s = engine().state;
  s.playback.end_callback = nullptr;
  if (s.audio_link.audio_running) audio().stop();
  s.audio_link.audio_running = 0;
  engine_halt();
  return 1;
}

int32_t toggle_audio_pause() {
  EngineState &s = engine().state;
  if (!s.audio_link.audio_open) return 0;
  s.playback.busy.hold();
  s.audio_link.audio_paused = !s.audio_link.audio_paused;
  audio().set_pause(s.audio_link.audio_paused);
  s.playback.busy.release();
  return 1;
}

int32_t at_end() {
  EngineState &s = engine().state;
  if (s.audio_link.audio_running) return audio().command(AUDIO_CMD_END_OF_STREAM, 0) ? 1 : 0;
  if (s.playback.end_of_stream) return 1;
  // Near the end of the source, but the decoder may still hold whole
  // pictures it has read: the end is reached once it has drained its input.
  const int32_t position = current_position();
  return (static_cast<int64_t>(position) + kEndMargin > s.source.total_length && decoder().end_of_data()) ? 1
                                                                                                          : 0;
}

int32_t decode_unless_b() {
  Engine &e = engine();
  if (!e.state.playback.stopped) return 0;
  platform::Lock lock(e.engine_lock);
  if (!decode_next_picture()) return 0;
  StreamParams p;
  decoder().params(&p);
  return p.picture_coding_type != kCodingTypeB ? 1 : 0;
}

int32_t decode_without_presenting() {
  Engine &e = engine();
  if (!e.state.playback.stopped) return 0;
  platform::Lock lock(e.engine_lock);
  return decode_next_picture();
}

int32_t open_audio() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.audio_link.audio_open && s.source.audio_present && s.source.source_tag != -1) {
    audio().open_stream(s.source.source_tag);
    s.audio_link.audio_open = audio().open_output(e.display.window()) ? 1 : 0;
  }
  return s.audio_link.audio_open;
}

}  // namespace

Outcome transport_setting(int32_t cmd, intptr_t arg, intptr_t &result) {
  EngineState &s = engine().state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_IS_PLAYING:
      result = (s.source.open && !s.playback.stopped) ? 1 : 0;
      return Outcome::done;
    case VCMD_SET_TOTAL_LENGTH:
      result = s.source.total_length;
      s.source.total_length = value;
      return Outcome::done;
    case VCMD_MPEG2_PLAY_LOOP:
      result = s.playback.mpeg2_play_loop;
      s.playback.mpeg2_play_loop = value ? 1 : 0;
      return Outcome::done;
    case VCMD_SET_SCAN_STEP:
      result = s.playback.scan_step;
      s.playback.scan_step = value;
      return Outcome::done;
    case VCMD_GET_SCAN_STEP:
      result = s.playback.scan_step;
      return Outcome::done;
    case VCMD_SET_PLAY_MODE:
      result = s.playback.play_mode;
      if ((s.playback.stopped || !s.source.open) && valid_play_mode(value)) s.playback.play_mode = value;
      return Outcome::done;
    case VCMD_GET_PLAY_MODE:
      result = s.playback.play_mode;
      return Outcome::done;
    case VCMD_GET_SLOW_FACTOR:
      result = s.playback.slow_factor;
      return Outcome::done;
    case VCMD_SET_SLOW_FACTOR:
      result = s.playback.slow_factor;
      s.playback.slow_factor = value;
      return Outcome::done;
    default:
      return Outcome::not_mine;
  }
}

bool transport_stream(int32_t cmd, intptr_t arg, intptr_t &result) {
  EngineState &s = engine().state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_TOGGLE_AUDIO_PAUSE:
      result = toggle_audio_pause();
      return true;
    case VCMD_STOP:
      result = stop();
      return true;
    case VCMD_PLAY:
    case VCMD_PLAY_SILENT:
    case VCMD_PLAY_WITH_CALLBACK:
      result = play(cmd, arg);
      return true;
    case VCMD_SEEK_FORWARD:
    case VCMD_SEEK_BACKWARD:
      result = engine_seek(value, 1);
      return true;
    case VCMD_SCAN_ON:
      result = engine_scan_on();
      return true;
    case VCMD_STEP:
      result = engine_step();
      return true;
    case VCMD_BENCHMARK:
      result = run_benchmark(as_ptr<KestrumBenchmarkRecord>(arg));
      return true;
    case VCMD_GET_TOTAL_LENGTH_AT:
      if (arg) *as_ptr<int32_t>(arg) = s.source.total_length;
      result = 0;
      return true;
    case VCMD_TOTAL_LENGTH:
      result = s.source.total_length;
      return true;
    case VCMD_IS_ELEMENTARY:
      result = s.source.is_elementary;
      return true;
    case VCMD_SET_MARK_A:
    case VCMD_SET_MARK_A_2:
      s.playback.mark_a = value;
      result = arg;
      return true;
    case VCMD_SET_MARK_B:
    case VCMD_SET_MARK_B_2:
      s.playback.mark_b = value;
      result = arg;
      return true;
    case VCMD_COPY_AUDIO:
      result = audio().command(AUDIO_CMD_COPY_RAW, arg) > 0 ? current_position() - s.playback.mark_a : -1;
      return true;
    case VCMD_GOTO_MARK_A:
      s.playback.remembered_position = current_position();
      engine_seek(s.playback.mark_a, 0);
      result = 1;
      return true;
    case VCMD_RETURN_FROM_MARK:
      engine_seek(s.playback.remembered_position, 0);
      result = 1;
      return true;
    case VCMD_DECODE_UNLESS_B:
      result = decode_unless_b();
      return true;
    case VCMD_AT_END:
      result = at_end();
      return true;
    case VCMD_DECODE_NO_PRESENT:
      result = decode_without_presenting();
      return true;
    case VCMD_OPEN_AUDIO:
      result = open_audio();
      return true;
    case VCMD_PLAYBACK_ENDED:
      result =
          (s.playback.stopped && (!s.audio_link.audio_running || audio().command(AUDIO_CMD_END_OF_STREAM, 0)))
              ? 1
              : 0;
      return true;
    default:
      return false;
  }
}

}  // namespace kestrum::commands
