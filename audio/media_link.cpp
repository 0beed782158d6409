// Binding of the media-layer table to Dravik's exports.
#include "audio/media_link.h"

#include <atomic>

#include "media/media_api.h"

namespace lunaret {

namespace {

int32_t dravik_audio_avail() { return SysAudioAvail(nullptr); }
const MediaLink kDravikLink = {
    SysProbe,      SysAviProbe,        SysOpen,      SysClose,      SysSeek,    SysFlush, SysQueueCallback,
    SysReserved42, dravik_audio_avail, SysReadAudio, SysReadStream, SysControl,
};

std::atomic<const MediaLink *> g_link{nullptr};

}  // namespace

const MediaLink &default_media_link() { return kDravikLink; }

const MediaLink &media() {
  const MediaLink *l = g_link.load(std::memory_order_acquire);
  return l ? *l : kDravikLink;
}

void set_media_link(const MediaLink *link) { g_link.store(link, std::memory_order_release); }

}  // namespace lunaret
