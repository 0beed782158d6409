// The library's exports: thin shells over the engine that never let an
// exception out, plus the lookup by ordinal number.
#include <exception>
#include <mutex>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "audio/media_link.h"

namespace lunaret {
namespace {

// Calls from different controlling threads are serialised: the engine has
// one state and its steps assume one caller at a time. The engine thread
// and the completion path never take this lock.
std::recursive_mutex &export_lock() {
  static std::recursive_mutex m;
  return m;
}

template <typename R, typename F>
R guard_export(R fail, F &&body) {
  try {
    std::lock_guard<std::recursive_mutex> lock(export_lock());
    return body(engine());
  } catch (...) {
    return fail;
  }
}

template <typename F>
void guard_void(F &&body) {
  try {
    std::lock_guard<std::recursive_mutex> lock(export_lock());
    body(engine());
  } catch (...) {
  }
}

}  // namespace
}  // namespace lunaret

using lunaret::Engine;

extern "C" {

LUNARET_API void AudioSetChannelMode(int32_t mode) {
  lunaret::guard_void([&](Engine &e) { lunaret::set_channel_mode(e, mode); });
}

LUNARET_API int32_t AudioOpenOutput(void *owner) {
  return lunaret::guard_export<int32_t>(0, [&](Engine &e) { return lunaret::open_output(e, owner); });
}

LUNARET_API int32_t AudioStop(void) {
  return lunaret::guard_export<int32_t>(0, [](Engine &e) { return lunaret::stop(e); });
}

LUNARET_API int32_t AudioPlay(void) {
  return lunaret::guard_export<int32_t>(0, [](Engine &e) { return lunaret::play(e); });
}

LUNARET_API int32_t AudioSeekFile(int32_t pos, int32_t mode) {
  return lunaret::guard_export<int32_t>(
      0, [&](Engine &e) { return e.file_mode ? lunaret::media().seek(pos, mode) : 0; });
}

LUNARET_API int32_t AudioGetPlayTime(void) {
  // The clock is read from the video engine's thread while the control
  // thread may hold the export lock; the device position is safe without it.
  try {
    return lunaret::get_play_time(lunaret::engine());
  } catch (...) {
    return -1;
  }
}

LUNARET_API int32_t AudioOpenFile(const char *path) {
  return lunaret::guard_export<int32_t>(-1, [&](Engine &e) { return lunaret::open_file(e, path); });
}

LUNARET_API int32_t AudioClose(void) {
  return lunaret::guard_export<int32_t>(0, [](Engine &e) { return lunaret::close_all(e); });
}

LUNARET_API int32_t AudioOpenStream(int32_t tag) {
  return lunaret::guard_export<int32_t>(AUDIO_SOURCE_NO_AUDIO,
                                        [&](Engine &e) { return lunaret::open_stream(e, tag); });
}

LUNARET_API int32_t AudioResetStream(void) {
  return lunaret::guard_export<int32_t>(0, [](Engine &e) { return lunaret::reset_stream(e); });
}

LUNARET_API void AudioFlush(void) {
  lunaret::guard_void([](Engine &e) { lunaret::flush(e); });
}

LUNARET_API void AudioHalt(void) {
  lunaret::guard_void([](Engine &e) { lunaret::halt(e); });
}

LUNARET_API int32_t AudioDeviceUsable(void) {
  return lunaret::guard_export<int32_t>(0, [](Engine &) { return lunaret::device_usable(); });
}

LUNARET_API int32_t AudioSetPause(int32_t on) {
  return lunaret::guard_export<int32_t>(0, [&](Engine &e) { return lunaret::set_pause(e, on); });
}

LUNARET_API uint32_t AudioGetVolume(void) {
  return lunaret::guard_export<uint32_t>(0x80008000u, [](Engine &e) { return lunaret::get_volume(e); });
}

LUNARET_API uint32_t AudioSetVolume(uint32_t volume) {
  return lunaret::guard_export<uint32_t>(volume, [&](Engine &e) { return lunaret::set_volume(e, volume); });
}

LUNARET_API int32_t AudioWaitRead(int32_t) {
  // Waits for the engine thread, so it must not hold the export lock.
  try {
    return lunaret::wait_read(lunaret::engine());
  } catch (...) {
    return 0;
  }
}

LUNARET_API void AudioQueueBuffer(AudioWaveHeader *header) {
  try {
    Engine &e = lunaret::engine();
    if (e.header_index(header) >= 0) lunaret::media().queue_callback(lunaret::buffer_ready, header);
  } catch (...) {
  }
}

LUNARET_API void AudioSetRateMode(int32_t mode) {
  lunaret::guard_void([&](Engine &e) { lunaret::set_rate_mode(e, mode); });
}

LUNARET_API int32_t AudioSetHint(int32_t hint) {
  return lunaret::guard_export<int32_t>(hint, [&](Engine &e) {
    e.hint = hint;
    return hint;
  });
}

LUNARET_API int32_t AudioGetBitRate(void) {
  return lunaret::guard_export<int32_t>(0, [](Engine &e) { return lunaret::get_bit_rate(e); });
}

LUNARET_API intptr_t AudioCommand(int32_t cmd, intptr_t arg) {
  // The clock and state queries the video engine makes from its playback
  // thread must not wait behind a control call.
  if (cmd == AUDIO_CMD_END_OF_STREAM || cmd == AUDIO_CMD_PLAY_TIME || cmd == AUDIO_CMD_DEVICE_HANDLE) {
    try {
      return lunaret::audio_command(lunaret::engine(), cmd, arg);
    } catch (...) {
      return 0;
    }
  }
  return lunaret::guard_export<intptr_t>(0, [&](Engine &e) { return lunaret::audio_command(e, cmd, arg); });
}

LUNARET_API int32_t AudioGetScope(AudioScopePair *out, int32_t count) {
  return lunaret::guard_export<int32_t>(0, [&](Engine &e) { return lunaret::get_scope(e, out, count); });
}

LUNARET_API void *LunaretProc(int32_t ordinal) {
  switch (ordinal) {
    case 61:
      return reinterpret_cast<void *>(&AudioSetChannelMode);
    case 62:
      return reinterpret_cast<void *>(&AudioOpenOutput);
    case 63:
      return reinterpret_cast<void *>(&AudioStop);
    case 64:
      return reinterpret_cast<void *>(&AudioPlay);
    case 65:
      return reinterpret_cast<void *>(&AudioSeekFile);
    case 66:
      return reinterpret_cast<void *>(&AudioGetPlayTime);
    case 67:
      return reinterpret_cast<void *>(&AudioOpenFile);
    case 68:
      return reinterpret_cast<void *>(&AudioClose);
    case 69:
      return reinterpret_cast<void *>(&AudioOpenStream);
    case 70:
      return reinterpret_cast<void *>(&AudioResetStream);
    case 71:
      return reinterpret_cast<void *>(&AudioFlush);
    case 72:
      return reinterpret_cast<void *>(&AudioHalt);
    case 73:
      return reinterpret_cast<void *>(&AudioDeviceUsable);
    case 74:
      return reinterpret_cast<void *>(&AudioSetPause);
    case 75:
      return reinterpret_cast<void *>(&AudioGetVolume);
    case 76:
      return reinterpret_cast<void *>(&AudioSetVolume);
    case 77:
      return reinterpret_cast<void *>(&AudioWaitRead);
    case 78:
      return reinterpret_cast<void *>(&AudioQueueBuffer);
    case 79:
      return reinterpret_cast<void *>(&AudioSetRateMode);
    case 80:
      return reinterpret_cast<void *>(&AudioSetHint);
    case 81:
      return reinterpret_cast<void *>(&AudioGetBitRate);
    case 82:
      return reinterpret_cast<void *>(&AudioCommand);
    case 83:
      return reinterpret_cast<void *>(&AudioGetScope);
    default:
      return nullptr;
  }
}

}  // extern "C"
