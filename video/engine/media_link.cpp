// Binds the engine's media port to the media layer's exports.
#include "media/media_api.h"
#include "video/engine/ports.h"

namespace kestrum {

namespace {
const MediaPort kDravikPort = {
    [](const char *path, int32_t *length) -> int32_t { return SysProbe(path, length); },
    [](const char *path, uint32_t start) -> int32_t { return SysOpen(path, start); },
    []() -> int32_t { return SysClose(); },
    [](int32_t pos, int32_t origin) -> int32_t { return SysSeek(pos, origin); },
    [](int32_t which) -> int32_t { return SysFlush(which); },
    [](int32_t cmd, intptr_t param) -> intptr_t { return SysControl(cmd, param); },
    [](void *buf, int32_t len) -> int32_t { return SysReadVideo(buf, len); },
    [](int32_t budget_ms) -> int32_t { return SysRunCallbacks(budget_ms); },
};
}  // namespace

const MediaPort *production_media_port() { return &kDravikPort; }

}  // namespace kestrum
