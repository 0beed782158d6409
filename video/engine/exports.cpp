// The exported functions: thin shells over the engine that catch everything
// (no exception leaves the library) and return the documented error value.
#include <exception>

#include "video/engine/engine.h"
#include "video/engine/source_buffer.h"
#include "video/engine/window/window_display.h"

namespace {

template <class R, class F>
R guard_export(R on_error, F &&body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_error;
  }
}

template <class F>
void guard_void(F &&body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

void window_proc() {
  guard_void([] { kestrum::window::pump_events(); });
}

}  // namespace

using namespace kestrum;

extern "C" {

KESTRUM_API int32_t VideoCloseAudioOnly(int32_t) {
  return guard_export<int32_t>(0, [] { return engine_close_audio_only(); });
}

KESTRUM_API int32_t VideoReopenAudioOnly(intptr_t, const char *path, int32_t, uint32_t start) {
  return guard_export<int32_t>(0, [&] { return engine_reopen_audio_only(path, start); });
}

KESTRUM_API int32_t VideoOpenAudioOnly(const KestrumHostDisplay *display, const char *path, int32_t,
                                       uint32_t start) {
  return guard_export<int32_t>(0, [&] { return engine_open_audio_only(display, path, start); });
}

KESTRUM_API int32_t VideoCloseSource(void) {
  return guard_export<int32_t>(-1, [] {
    platform::Lock lock(engine().engine_lock);
    return engine_close_source();
  });
}

KESTRUM_API intptr_t VideoCommand(int32_t cmd, intptr_t arg) {
  return guard_export<intptr_t>(0, [&] { return engine_command(cmd, arg); });
}

KESTRUM_API void VideoSetColourMode(int32_t colour) {
  guard_void([&] { engine_set_colour_mode(colour); });
}

KESTRUM_API int32_t VideoOverlayDesktop(void) { return 0; }

KESTRUM_API int32_t VideoGetBitRate(void) {
  return guard_export<int32_t>(0, [] { return engine_bit_rate(); });
}

KESTRUM_API void *VideoGetWindow(void) {
  return guard_export<void *>(nullptr, [] { return engine().display.window(); });
}

KESTRUM_API void *VideoGetWindowProc(void) {
  return guard_export<void *>(nullptr, [] {
    Engine &e = engine();
    if (e.display.driver() != &kWindowDisplayDriver) return static_cast<void *>(nullptr);
    return reinterpret_cast<void *>(static_cast<KestrumWindowProc>(&window_proc));
  });
}

KESTRUM_API void VideoUpdateWindow(void *) {
  guard_void([] {
    Engine &e = engine();
    EngineState &s = e.state;
    if (s.presentation.relayout.exchange(1)) return;  // a nested call returns at once
    // Cleared however the body ends: a flag left set would hold the
    // playback thread forever.
    struct ClearRelayout {
      EngineState &s;
      ~ClearRelayout() { s.presentation.relayout = 0; }
    } clear{s};
    platform::Lock lock(e.engine_lock);
    if (!s.source.open || !e.display.is_open()) return;
    // Every picture is fitted to the target as it is at that moment, so
    // showing the current picture again lays it out anew. A held picture
    // (or none decoded yet) is not presented: the target redraws what it
    // last showed at its new size instead.
    const int64_t before = e.display.presented();
    if (!s.picture.picture_held) present_current();
    if (e.display.presented() == before) e.display.repaint();
  });
}

KESTRUM_API int32_t VideoClose(int32_t hide) {
  return guard_export<int32_t>(0, [&] { return engine_close(hide, false); });
}

KESTRUM_API int32_t VideoReopen(const KestrumHostDisplay *display, const char *path, const char *title,
                                uint32_t start) {
  return guard_export<int32_t>(0, [&] { return engine_open(display, path, title, start, true); });
}

KESTRUM_API int32_t VideoOpen(const KestrumHostDisplay *display, const char *path, const char *title,
                              uint32_t start) {
  return guard_export<int32_t>(0, [&] { return engine_open(display, path, title, start, false); });
}

KESTRUM_API int32_t VideoOpenBuffer(const KestrumHostDisplay *display, const void *buffer, int32_t size,
                                    const char *title, uint32_t start) {
  return guard_export<int32_t>(0, [&]() -> int32_t {
    if (!buffer || size <= 0) return 0;
    const auto *name = static_cast<const char *>(buffer);
    bool terminated = false;
    for (int32_t i = 0; i < size && !terminated; ++i) terminated = name[i] == 0;
    if (!terminated) return 0;
    ScopedSourceBuffer scope(buffer, size);
    return engine_open(display, name, title, start, false);
  });
}

KESTRUM_API int32_t VideoReserved85(int32_t, int32_t, int32_t) { return 0; }

KESTRUM_API int32_t VideoRun(void) {
  return guard_export<int32_t>(0, [] { return engine_run(); });
}

KESTRUM_API int32_t VideoSeek(int32_t pos, int32_t origin) {
  return guard_export<int32_t>(0, [&] { return engine_seek(pos, origin); });
}

KESTRUM_API int32_t VideoSetMonoTint(int32_t cb, int32_t cr) {
  return guard_export<int32_t>(0, [&] { return engine_set_mono_tint(cb, cr); });
}

KESTRUM_API int32_t VideoSetCoefficientLimit(int32_t n) {
  return guard_export<int32_t>(0, [&] {
    Engine &e = engine();
    platform::Lock lock(e.engine_lock);
    const int32_t old = e.state.picture.coefficient_limit;
    e.state.picture.coefficient_limit = n & 0x3F;
    decoder().set_coefficient_limit(e.state.picture.coefficient_limit);
    return old;
  });
}

KESTRUM_API int32_t VideoReserved90(int32_t) { return 0; }

KESTRUM_API int32_t VideoHalt(void) {
  return guard_export<int32_t>(0, [] { return engine_halt(); });
}

KESTRUM_API int32_t VideoOpenSource(const char *path) {
  return guard_export<int32_t>(-1, [&] { return path ? engine_open_source(path, SourceForm::system) : -1; });
}

KESTRUM_API void VideoRefresh(void) {
  guard_void([] { engine_refresh(); });
}

KESTRUM_API int32_t VideoSetRealTime(int32_t on) {
  return guard_export<int32_t>(0, [&] {
    engine().state.playback.real_time = on;
    return on;
  });
}

KESTRUM_API void VideoResetState(void) {
  guard_void([] { engine_reset_state(); });
}

KESTRUM_API int32_t VideoScanOn(void) {
  return guard_export<int32_t>(0, [] { return engine_scan_on(); });
}

KESTRUM_API int32_t VideoScanOff(void) {
  return guard_export<int32_t>(0, [] { return engine_scan_off(); });
}

KESTRUM_API int32_t VideoReserved98(int32_t) { return 0; }

KESTRUM_API int32_t VideoOpenVideoElementary(const char *path) {
  return guard_export<int32_t>(
      -1, [&] { return path ? engine_open_source(path, SourceForm::video_elementary) : -1; });
}

KESTRUM_API int32_t VideoStep(void) {
  return guard_export<int32_t>(0, [] { return engine_step(); });
}

KESTRUM_API void *VideoStartup(void) {
  return guard_export<void *>(nullptr, [] { return engine_startup(); });
}

KESTRUM_API int32_t VideoShutdown(void) {
  return guard_export<int32_t>(0, [] { return engine_shutdown(); });
}

KESTRUM_API void *KestrumProc(int32_t ordinal) {
  switch (ordinal) {
    case 71:
      return reinterpret_cast<void *>(&VideoCloseAudioOnly);
    case 72:
      return reinterpret_cast<void *>(&VideoReopenAudioOnly);
    case 73:
      return reinterpret_cast<void *>(&VideoOpenAudioOnly);
    case 74:
      return reinterpret_cast<void *>(&VideoCloseSource);
    case 75:
      return reinterpret_cast<void *>(&VideoCommand);
    case 76:
      return reinterpret_cast<void *>(&VideoSetColourMode);
    case 77:
      return reinterpret_cast<void *>(&VideoOverlayDesktop);
    case 78:
      return reinterpret_cast<void *>(&VideoGetBitRate);
    case 79:
      return reinterpret_cast<void *>(&VideoGetWindow);
    case 80:
      return reinterpret_cast<void *>(&VideoGetWindowProc);
    case 81:
      return reinterpret_cast<void *>(&VideoUpdateWindow);
    case 82:
      return reinterpret_cast<void *>(&VideoClose);
    case 83:
      return reinterpret_cast<void *>(&VideoReopen);
    case 84:
      return reinterpret_cast<void *>(&VideoOpen);
    case 85:
      return reinterpret_cast<void *>(&VideoReserved85);
    case 86:
      return reinterpret_cast<void *>(&VideoRun);
    case 87:
      return reinterpret_cast<void *>(&VideoSeek);
    case 88:
      return reinterpret_cast<void *>(&VideoSetMonoTint);
    case 89:
      return reinterpret_cast<void *>(&VideoSetCoefficientLimit);
    case 90:
      return reinterpret_cast<void *>(&VideoReserved90);
    case 91:
      return reinterpret_cast<void *>(&VideoHalt);
    case 92:
      return reinterpret_cast<void *>(&VideoOpenSource);
    case 93:
      return reinterpret_cast<void *>(&VideoRefresh);
    case 94:
      return reinterpret_cast<void *>(&VideoSetRealTime);
    case 95:
      return reinterpret_cast<void *>(&VideoResetState);
    case 96:
      return reinterpret_cast<void *>(&VideoScanOn);
    case 97:
      return reinterpret_cast<void *>(&VideoScanOff);
    case 98:
      return reinterpret_cast<void *>(&VideoReserved98);
    case 99:
      return reinterpret_cast<void *>(&VideoOpenVideoElementary);
    case 100:
      return reinterpret_cast<void *>(&VideoStep);
    case 101:
      return reinterpret_cast<void *>(&VideoStartup);
    case 102:
      return reinterpret_cast<void *>(&VideoShutdown);
    default:
      return nullptr;
  }
}

}  // extern "C"
