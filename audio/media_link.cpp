// Binding of the media-layer table to Dravik's exports.
#include "audio/media_link.h"

#include <atomic>

#if LUNARET_HAVE_DRAVIK
#include "media/media_api.h"
#endif

namespace lunaret {

namespace {

#if LUNARET_HAVE_DRAVIK
int32_t dravik_audio_avail() { return SysAudioAvail(nullptr); }
const MediaLink kDravikLink = {
    SysProbe,        SysAviProbe,  SysOpen,        SysClose,    SysSeek,           SysFlush,
    SysQueueCallback, SysReserved42, dravik_audio_avail, SysReadAudio, SysReadStream, SysControl,
};
#else
// Without the media layer there is never a source: probes refuse, opens
// fail, reads deliver nothing and queued buffers are dropped.
const MediaLink kDravikLink = {
    [](const char *, int32_t *) -> int32_t { return -1; },
    [](const char *, int32_t *) -> int32_t { return 3; },
    [](const char *, uint32_t) -> int32_t { return -1; },
    []() -> int32_t { return 0; },
    [](int32_t, int32_t) -> int32_t { return -1; },
    [](int32_t which) -> int32_t { return which == 0 ? 0 : which; },
    [](MediaCallbackFn, void *) {},
    []() -> int32_t { return 0; },
    []() -> int32_t { return 0; },
    [](void *, int32_t) -> int32_t { return 0; },
    [](int32_t, void *, int32_t) -> int32_t { return 0; },
    [](int32_t cmd, intptr_t) -> intptr_t { return cmd == kCtlAudioCurrent ? -1 : 0; },
};
#endif

std::atomic<const MediaLink *> g_link{nullptr};

}  // namespace

const MediaLink &default_media_link() { return kDravikLink; }

const MediaLink &media() {
  const MediaLink *l = g_link.load(std::memory_order_acquire);
  return l ? *l : kDravikLink;
}

void set_media_link(const MediaLink *link) { g_link.store(link, std::memory_order_release); }

}  // namespace lunaret
