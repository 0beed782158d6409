// Play control behind the exports: run, halt, step, seek, scan, refresh,
// start-up and shut-down, and the decode and present steps they share.
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "audio/audio_api.h"
#include "components/glyvex/glyvex.h"
#include "media/media_api.h"
#include "video/engine/engine.h"
#include "video/engine/output_link.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/picture_steps.h"
#include "video/engine/subpicture_link.h"

namespace kestrum {

namespace {

// Bit rates reported for sources that carry no sequence header.
constexpr int32_t kNonMpegBitRate = 8000;
// Audio-only seeks below this byte go to the start.
constexpr int32_t kAudioOnlySeekFloor = 2048;

std::mutex g_startup_mutex;

}  // namespace

int32_t current_position() { return media().seek(0, 1); }

int32_t decode_next_picture() {
  EngineState &s = engine().state;
  if (s.source.open_mode != static_cast<int32_t>(OpenMode::video)) return 0;
  // A picture held with the subpicture in it is a reference picture too.
  subpicture_release();
  if (!decoder().step_picture()) return 0;
  publish_current();
  return 1;
}

void publish_current() {
  KestrumPicture picture{};
  const bool have = decoder().current_picture(&picture);
  publish_shown_picture(have ? &picture : nullptr);
  if (have) subpicture_picture_shown(picture);
}

void present_current() {
  Engine &e = engine();
  KestrumPicture picture{};
  if (!decoder().current_picture(&picture)) return;
  if (!e.state.picture.colour_mode) {
    // Monochrome presentation shows the tint instead of the chroma planes;
    // the decoder's planes stay untouched.
    static thread_local std::vector<uint8_t> flat;
    const size_t size =
        static_cast<size_t>(picture.c_pitch) *
        static_cast<size_t>(picture.chroma_format == 1 ? picture.coded_height / 2 : picture.coded_height);
    if (flat.size() < 2 * size) flat.resize(2 * size);
    std::memset(flat.data(), e.state.picture.mono_tint_cb & 0xFF, size);
    std::memset(flat.data() + size, e.state.picture.mono_tint_cr & 0xFF, size);
    picture.cb = flat.data();
    picture.cr = flat.data() + size;
  }
  const bool mixed = subpicture_before_present(picture);
  e.display.present(picture);
  if (mixed) subpicture_after_present();
}

int32_t engine_run() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open) return 0;
  s.playback.stopped = 0;
  s.playback.abort = 0;
  s.playback.end_of_stream = 0;
  e.wake.set();
  media().control(CTL_FILE_IO_B_HOOK1, 0);
  GlyvexPlayState(1);
  return 1;
}

int32_t engine_halt() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open) return 0;
  s.playback.stopped = 1;
  s.playback.abort = 1;
  e.wake.reset();
  wait_for_idle();
  media().control(CTL_FILE_IO_B_HOOK2, 0);
  GlyvexPlayState(0);
  return 1;
}

int32_t engine_step() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open || !s.playback.stopped || s.source.closing) return 0;
  if (s.source.open_mode != static_cast<int32_t>(OpenMode::video)) return 0;
  platform::Lock lock(e.engine_lock);
  if (!s.playback.stopped) return 0;
  if (!decode_next_picture()) {
    s.playback.end_of_stream = 1;
    return 0;
  }
  present_current();
  return 1;
}

int32_t engine_seek(int32_t pos, int32_t origin) {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open || s.source.source_tag == -1 || s.source.closing) return 0;
  if (pos == 0 && origin == 1) return current_position();
  if (s.source.total_length == 0) return 0;
  if (origin != 0 && origin != 1) return 0;
  const bool audio_only = s.source.open_mode == static_cast<int32_t>(OpenMode::audio_only);
  if (audio_only && origin == 0 && pos < kAudioOnlySeekFloor) pos = 0;
  GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
  s.playback.busy.hold();
  int32_t result;
  {
    platform::Lock lock(e.engine_lock);
    if (s.audio_link.audio_running) audio().halt();
    // A place beyond the end lands at the end.
    const int64_t wanted = origin == 0 ? int64_t{pos} : int64_t{current_position()} + pos;
    if (wanted > s.source.total_length) {
      result = media().seek(s.source.total_length, 0);
    } else {
      result = media().seek(pos, origin);
      if (result > s.source.total_length) result = media().seek(s.source.total_length, 0);
    }
    s.playback.end_of_stream = 0;
    if (!audio_only) {
      // The decoder drops what it had read, then shows the next I picture
      // (and, in an open GOP, the next anchor: the B pictures between refer
      // to a picture before the seek).
      decoder().restart();
      subpicture_clear();
      publish_current();
      if (e.display.is_open() && !s.picture.picture_held) present_current();
    }
  }
  flush_audio_after_seek();
  if (audio_only && s.audio_link.audio_open) {
    // A playing output restarts with full buffers; an idle one decodes one
    // block at the new place.
    if (s.audio_link.audio_running && !s.playback.stopped) {
      start_audio_device_filled();
    } else {
      audio().command(AUDIO_CMD_DECODE_BLOCK, 0);
    }
  }
  s.playback.busy.release();
  return current_position();
}

void flush_audio_after_seek() {
  EngineState &s = engine().state;
  // Outside engine_lock: the flush waits for the sound's fill thread to
  // finish its block, and the fill reads through the media layer (and any
  // file hook a plug-in set there), which must be free to call the engine.
  if (s.audio_link.audio_open) audio().flush();
  play::restart_audio_sync();
}

void stop_sound_if_asked() {
  EngineState &s = engine().state;
  if (!s.audio_link.stop_asked.exchange(0)) return;
  if (s.audio_link.audio_running) audio().stop();
  s.audio_link.audio_running = 0;
}

void start_audio_device_filled() {
  audio().command(AUDIO_CMD_DEVICE_PAUSE, 0);
  media().run_callbacks(kRunAllCallbacks);
  audio().command(AUDIO_CMD_DEVICE_RESTART, 0);
}

int32_t engine_next_intra() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open || s.playback.scan || s.source.open_mode != static_cast<int32_t>(OpenMode::video))
    return 0;
  s.playback.busy.hold();
  int32_t found = 0;
  {
    platform::Lock lock(e.engine_lock);
    if (play::pass_to_intra_locked()) {
      publish_current();
      found = 1;
    }
  }
  s.playback.busy.release();
  if (found) engine_refresh();
  return found;
}

void engine_reset_state() {
  EngineState &s = engine().state;
  s.source.closing = 0;
  s.playback.stopped = 0;
  s.playback.scan = 0;
  s.source.audio_present = 1;
  s.source.is_elementary = 1;
  s.audio_link.audio_open = 0;
  s.playback.real_time = 1;
  decoder().reset();
}

void *engine_startup() {
  Engine &e = engine();
  std::lock_guard<std::mutex> guard(g_startup_mutex);
  if (e.started_up) return e.startup_result;
  intptr_t buffer = 0;
  intptr_t unit_ready = 0;
  GlyvexGetEntries(&buffer, &unit_ready);
  media().control(CTL_SPU_BUFFER, buffer);
  media().control(CTL_SPU_CALLBACK, unit_ready);
  e.startup_result = reinterpret_cast<void *>(media().control(CTL_SPU_TABLE, 0));
  subpicture_startup();
  e.started_up = true;
  return e.startup_result;
}

int32_t engine_shutdown() {
  Engine &e = engine();
  if (e.state.source.open) {
    if (e.state.source.open_mode == static_cast<int32_t>(OpenMode::audio_only)) {
      engine_close_audio_only();
    } else {
      engine_close(1, false);
    }
  }
  GlyvexShutdown();
  return 1;
}

int32_t engine_scan_on() {
  Engine &e = engine();
  EngineState &s = e.state;
  s.playback.scan = 1;
  if (s.playback.stopped) {
    // As a run: a halt's `abort` left over would end the scan at its first
    // step.
    s.playback.abort = 0;
    e.wake.set();
    media().control(CTL_FILE_IO_B_HOOK3, 1);
  }
  return 1;
}

int32_t engine_scan_off() {
  Engine &e = engine();
  EngineState &s = e.state;
  s.playback.scan = 0;
  if (s.playback.stopped) {
    e.wake.reset();
    wait_for_idle();
    media().control(CTL_FILE_IO_B_HOOK3, 0);
  }
  return 1;
}

void engine_refresh() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open) return;
  GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
  if (s.playback.stopped && !s.presentation.relayout && !s.picture.picture_held &&
      !(s.presentation.full_screen && s.presentation.refresh_forbidden)) {
    platform::Lock lock(e.engine_lock);
    present_current();
  }
}

void engine_set_colour_mode(int32_t colour) {
  Engine &e = engine();
  EngineState &s = e.state;
  platform::Lock lock(e.engine_lock);
  if (s.presentation.relayout) return;
  s.picture.colour_mode = colour ? 1 : 0;
}

int32_t engine_set_mono_tint(int32_t cb, int32_t cr) {
  EngineState &s = engine().state;
  s.picture.mono_tint_cb = cb;
  s.picture.mono_tint_cr = cr;
  output_set_mono_tint(cb, cr);
  if (s.source.open) engine_refresh();
  return 1;
}

int32_t engine_bit_rate() {
  EngineState &s = engine().state;
  if (!s.source.open) return 0;
  if (s.source.source_tag == KESTRUM_AVI_SOURCE_TAG || media().control(CTL_PLUGIN_ACTIVE, 0)) {
    return kNonMpegBitRate;
  }
  StreamParams p;
  decoder().params(&p);
  const int64_t bit_rate =
      (static_cast<int64_t>(p.bit_rate_value) + (static_cast<int64_t>(p.bit_rate_extension) << 18)) * 400;
  return bit_rate > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bit_rate);
}

}  // namespace kestrum
