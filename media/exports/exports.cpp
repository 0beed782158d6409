// The library's exports: thin shells over the state record that never let
// an exception out, and the lookup by ordinal.
#include <cstdint>
#include <cstring>
#include <utility>

#include "media/exports/control.h"
#include "media/exports/frame.h"
#include "media/hooks/file_layer.h"
#include "media/hooks/hook_call.h"
#include "media/media_api.h"
#include "media/rings/reader.h"
#include "media/source/disc_file.h"
#include "media/source/export_size.h"
#include "media/source/path_forms.h"
#include "media/source/probe.h"
#include "media/source/source.h"
#include "media/state.h"
#include "platform/file.h"

namespace {

template <class R, class F>
R guard(R fallback, F &&body) {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return fallback;
  }
}

// An export that changes state: host code calling back on its own thread
// (a table read, a plug-in probe, a sink callback) gets the failure value
// and changes nothing, since it would re-enter a parse step under the
// recursive locks or free what the library is walking.
template <class R, class F>
R changing(R fallback, F &&body) {
  if (dravik::inside_hook()) return fallback;
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return fallback;
  }
}

// A plain string argument: its size is up to and including its NUL.
int64_t plain_size(const char *path) { return path ? static_cast<int64_t>(std::strlen(path)) + 1 : 0; }

dravik::State &st() { return dravik::global_state(); }

}  // namespace

extern "C" {

DRAVIK_API int32_t SysClose(void) {
  return changing(0, [] {
    dravik::close_source(st());
    return 0;
  });
}

DRAVIK_API int32_t SysFlush(int32_t which) {
  return changing(0, [&] { return dravik::flush(st(), which); });
}

DRAVIK_API int32_t SysStubA(int32_t, int32_t b) { return b; }

DRAVIK_API int32_t SysAudioAvail(const volatile int32_t **counter) {
  return guard(0, [&] {
    dravik::State &s = st();
    int32_t n = dravik::store_audio_avail(s);
    if (counter) *counter = &s.rings.audio_avail_stored;
    return n;
  });
}

DRAVIK_API int32_t SysStubB(int32_t, int32_t b) { return b; }

DRAVIK_API int32_t SysVideoAvail(const volatile int32_t **counter) {
  return guard(0, [&] {
    dravik::State &s = st();
    int32_t n = dravik::store_video_avail(s);
    if (counter) *counter = &s.rings.video_avail_stored;
    return n;
  });
}

DRAVIK_API int32_t SysFileSize(const char *path) {
  return guard(-1, [&]() -> int32_t {
    if (!path) return -1;
    const FileIoTableC *c = st().hooks.io_c;
    const bool table_c = c && c->find_first && c->find_close;
    if (!table_c) {
      if (auto disc = dravik::find_disc_file(path)) return static_cast<int32_t>(disc->size);
    }
    const int64_t size = dravik::layer_file_size(st().hooks, path);
    return size < 0 ? -1 : static_cast<int32_t>(size);
  });
}

DRAVIK_API int32_t SysOpenBuffer(const void *buffer, int32_t buffer_size, uint32_t start) {
  return changing(
      -1, [&] { return dravik::open_source(st(), dravik::parse_path_buffer(buffer, buffer_size), start); });
}

DRAVIK_API int32_t SysOpen(const char *path, uint32_t start) {
  return changing(-1, [&] {
    return dravik::open_source(st(), dravik::parse_path_buffer(path, plain_size(path)), start);
  });
}

DRAVIK_API int32_t SysReadAudio(void *buf, int32_t len) {
  return changing(0, [&] { return dravik::read_audio(st(), buf, len); });
}

DRAVIK_API int32_t SysReadVideo(void *buf, int32_t len) {
  return changing(0, [&] { return dravik::read_video(st(), buf, len); });
}

DRAVIK_API int32_t SysSeek(int32_t pos, int32_t origin) {
  return changing(-1, [&] {
    const int64_t at = dravik::seek_source(st(), pos, origin);
    return at < 0 ? -1 : dravik::saturate_int32(at);
  });
}

DRAVIK_API int32_t SysReserved42(void) { return st().settings.reserved42; }

DRAVIK_API void SysQueueCallback(DravikCallback fn, void *item) { dravik::queue_callback(st(), fn, item); }

DRAVIK_API int32_t SysRunCallbacks(int32_t budget_ms) {
  return changing(0, [&] { return dravik::run_callbacks(st(), budget_ms); });
}

DRAVIK_API int32_t SysReset(void) {
  return changing(0, [] {
    dravik::reset_state(st());
    return 0;
  });
}

DRAVIK_API SourceKind SysProbeBuffer(const void *buffer, int32_t buffer_size, int32_t *length) {
  return changing(SourceKind{SOURCE_KIND_CANNOT_OPEN}, [&] {
    return dravik::probe_source(st(), dravik::parse_path_buffer(buffer, buffer_size), length);
  });
}

DRAVIK_API SourceKind SysProbe(const char *path, int32_t *length) {
  return changing(SourceKind{SOURCE_KIND_CANNOT_OPEN}, [&] {
    return dravik::probe_source(st(), dravik::parse_path_buffer(path, plain_size(path)), length);
  });
}

DRAVIK_API uint32_t SysGetPackOverhead(void) {
  const dravik::SourceType t = st().source.type;
  return (t == dravik::SourceType::avi || t == dravik::SourceType::plugin) ? DRAVIK_PACK_OVERHEAD_AVI : 0u;
}

DRAVIK_API int32_t SysStubC(int32_t, int32_t) { return 0; }

DRAVIK_API int32_t SysStubD(int32_t, int32_t) { return 0; }

DRAVIK_API int32_t SysFindPicture(void) {
  return changing(0, [] { return dravik::find_picture(st()); });
}

DRAVIK_API intptr_t SysControl(int32_t cmd, intptr_t param) {
  return guard(intptr_t{0}, [&] { return dravik::control(st(), cmd, param); });
}

DRAVIK_API int32_t SysReadStream(int32_t id, void *buf, int32_t len) {
  return changing(0, [&] { return dravik::read_stream(st(), id, buf, len); });
}

DRAVIK_API void *DravikProc(int ordinal) {
  static void *const kTable[] = {
      reinterpret_cast<void *>(SysClose),            // 31
      reinterpret_cast<void *>(SysFlush),            // 32
      reinterpret_cast<void *>(SysStubA),            // 33
      reinterpret_cast<void *>(SysAudioAvail),       // 34
      reinterpret_cast<void *>(SysStubB),            // 35
      reinterpret_cast<void *>(SysVideoAvail),       // 36
      reinterpret_cast<void *>(SysFileSize),         // 37
      reinterpret_cast<void *>(SysOpen),             // 38
      reinterpret_cast<void *>(SysReadAudio),        // 39
      reinterpret_cast<void *>(SysReadVideo),        // 40
      reinterpret_cast<void *>(SysSeek),             // 41
      reinterpret_cast<void *>(SysReserved42),       // 42
      reinterpret_cast<void *>(SysQueueCallback),    // 43
      reinterpret_cast<void *>(SysRunCallbacks),     // 44
      reinterpret_cast<void *>(SysReset),            // 45
      reinterpret_cast<void *>(SysProbe),            // 46
      reinterpret_cast<void *>(SysGetPackOverhead),  // 47
      reinterpret_cast<void *>(SysStubC),            // 48
      reinterpret_cast<void *>(SysStubD),            // 49
      reinterpret_cast<void *>(SysFindPicture),      // 50
      reinterpret_cast<void *>(SysControl),          // 51
      reinterpret_cast<void *>(SysReadStream),       // 52
      reinterpret_cast<void *>(SysAviInit),          // 53
      reinterpret_cast<void *>(SysAviExit),          // 54
      reinterpret_cast<void *>(SysAviProbe),         // 55
      reinterpret_cast<void *>(SysAviVideoCount),    // 56
      reinterpret_cast<void *>(SysAviVideoStreams),  // 57
      reinterpret_cast<void *>(SysAviSelectVideo),   // 58
      reinterpret_cast<void *>(SysAviCurrentVideo),  // 59
      reinterpret_cast<void *>(SysAviAudioCount),    // 60
      reinterpret_cast<void *>(SysAviAudioStreams),  // 61
      reinterpret_cast<void *>(SysAviSelectAudio),   // 62
      reinterpret_cast<void *>(SysAviCurrentAudio),  // 63
      reinterpret_cast<void *>(SysAviAudioClock),    // 64
      reinterpret_cast<void *>(SysAviVideoTime),     // 65
      reinterpret_cast<void *>(SysAviNextFrame),     // 66
      reinterpret_cast<void *>(SysAviSkipToKey),     // 67
      reinterpret_cast<void *>(SysAviReadAudio),     // 68
      reinterpret_cast<void *>(SysAviSeek),          // 69
      reinterpret_cast<void *>(SysAviSyncAudio),     // 70
      reinterpret_cast<void *>(SysAviAtEnd),         // 71
  };
  if (ordinal < 31 || ordinal > 71) return nullptr;
  return kTable[ordinal - 31];
}

}  // extern "C"
