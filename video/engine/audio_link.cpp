// Binds the engine's audio port to the audio engine's exports.
#include "audio/audio_api.h"
#include "video/engine/ports.h"

namespace kestrum {

namespace {
const AudioPort kLunaretPort = {
    [](int32_t mode) { AudioSetChannelMode(mode); },
    [](void *owner) -> int32_t { return AudioOpenOutput(owner); },
    []() -> int32_t { return AudioStop(); },
    []() -> int32_t { return AudioPlay(); },
    [](const char *path) -> int32_t { return AudioOpenFile(path); },
    []() -> int32_t { return AudioClose(); },
    [](int32_t tag) -> int32_t { return AudioOpenStream(tag); },
    []() { AudioFlush(); },
    []() { AudioHalt(); },
    [](int32_t on) -> int32_t { return AudioSetPause(on); },
    []() -> uint32_t { return AudioGetVolume(); },
    [](uint32_t volume) -> uint32_t { return AudioSetVolume(volume); },
    [](int32_t mode) { AudioSetRateMode(mode); },
    [](int32_t hint) -> int32_t { return AudioSetHint(hint); },
    [](int32_t cmd, intptr_t arg) -> intptr_t { return AudioCommand(cmd, arg); },
    []() -> int32_t { return AudioGetBitRate(); },
};
}  // namespace

const AudioPort *production_audio_port() { return &kLunaretPort; }

}  // namespace kestrum
