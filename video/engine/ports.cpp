// Holds the port tables. The production tables come from the link files
// (media_link.cpp, audio_link.cpp, decoder_link.cpp); the fallbacks, whose
// calls fail the documented way, stand in should one of them give none.
#include "video/engine/ports.h"

#include <atomic>

namespace kestrum {

const MediaPort *production_media_port();
const AudioPort *production_audio_port();
const DecoderPort *production_decoder_port();

namespace {

const MediaPort kNoMedia = {
    [](const char *, int32_t *length) -> int32_t {
      if (length) *length = 0;
      return -1;
    },
    [](const char *, uint32_t) -> int32_t { return -1; },
    []() -> int32_t { return 0; },
    [](int32_t, int32_t) -> int32_t { return -1; },
    [](int32_t which) -> int32_t { return which == 0 ? 0 : which; },
    [](int32_t, intptr_t) -> intptr_t { return 0; },
    [](void *, int32_t) -> int32_t { return 0; },
    [](int32_t) -> int32_t { return 0; },
};

const AudioPort kNoAudio = {
    [](int32_t) {},
    [](void *) -> int32_t { return 0; },
    []() -> int32_t { return 0; },
    []() -> int32_t { return 0; },
    [](const char *) -> int32_t { return -1; },
    []() -> int32_t { return 0; },
    [](int32_t) -> int32_t { return -1; },
    []() {},
    []() {},
    [](int32_t) -> int32_t { return 0; },
    []() -> uint32_t { return 0; },
    [](uint32_t v) -> uint32_t { return v; },
    [](int32_t) {},
    [](int32_t hint) -> int32_t { return hint; },
    [](int32_t, intptr_t) -> intptr_t { return 0; },
    []() -> int32_t { return 0; },
};

const DecoderPort kNoDecoder = {
    []() {},
    []() {},
    [](int32_t) -> int32_t { return 0; },
    []() -> int32_t { return 0; },
    [](StreamParams *out) { *out = StreamParams{}; },
    [](KestrumPicture *) -> int32_t { return 0; },
    []() -> int32_t { return 1; },
    [](int32_t) {},
    [](int32_t) {},
};

// Atomic so that the playback thread reads a whole pointer; tests replace
// the tables only while nothing plays.
std::atomic<const MediaPort *> g_media{nullptr};
std::atomic<const AudioPort *> g_audio{nullptr};
std::atomic<const DecoderPort *> g_decoder{nullptr};
// Pictures of a plug-in source, ahead of any other decoder while set.
std::atomic<const DecoderPort *> g_plugin_decoder{nullptr};

template <class T>
const T &pick(std::atomic<const T *> &slot, const T *production, const T &fallback) {
  if (const T *p = slot.load(std::memory_order_acquire)) return *p;
  return production ? *production : fallback;
}

}  // namespace

const MediaPort &media() { return pick(g_media, production_media_port(), kNoMedia); }
const AudioPort &audio() { return pick(g_audio, production_audio_port(), kNoAudio); }
const DecoderPort &decoder() {
  if (const DecoderPort *p = g_plugin_decoder.load(std::memory_order_acquire)) return *p;
  return pick(g_decoder, production_decoder_port(), kNoDecoder);
}

void set_media_port(const MediaPort *port) { g_media.store(port, std::memory_order_release); }
void set_audio_port(const AudioPort *port) { g_audio.store(port, std::memory_order_release); }
void set_decoder_port(const DecoderPort *port) { g_decoder.store(port, std::memory_order_release); }
void set_plugin_decoder_port(const DecoderPort *port) {
  g_plugin_decoder.store(port, std::memory_order_release);
}

}  // namespace kestrum
