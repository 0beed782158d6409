// The exports of libsondral.so: setters that fill the next job's settings,
// and thin shells over one encoding job at a time.
#include <memory>
#include <mutex>

#include "components/common/export_guard.h"
#include "components/sondral/audio_encoder.h"
#include "components/sondral/sondral.h"

namespace sondral {
namespace {

struct Job {
  std::mutex lock;
  AudioSettings next;
  std::unique_ptr<AudioEncoder> encoder;
};

template <typename R, typename F>
R with_job(R fail, F &&body) {
  return component_io::with_job<Job>(fail, body);
}

}  // namespace
}  // namespace sondral

using sondral::Job;

extern "C" {

SONDRAL_API int32_t SondralSetInputRate(int32_t hz) {
  return sondral::with_job<int32_t>(0, [&](Job &j) { return j.next.input_rate = hz; });
}
SONDRAL_API int32_t SondralSetInputBits(int32_t bits) {
  return sondral::with_job<int32_t>(0, [&](Job &j) { return j.next.input_bits = bits; });
}
SONDRAL_API int32_t SondralSetChannels(int32_t channels) {
  return sondral::with_job<int32_t>(0, [&](Job &j) { return j.next.channels = channels; });
}
SONDRAL_API int32_t SondralSetOutputRate(int32_t hz) {
  return sondral::with_job<int32_t>(0, [&](Job &j) { return j.next.output_rate = hz; });
}
SONDRAL_API int32_t SondralSetBitRate(int32_t kbps) {
  return sondral::with_job<int32_t>(0, [&](Job &j) { return j.next.kbps = kbps; });
}
SONDRAL_API int32_t SondralSetLayer(int32_t layer) {
  return sondral::with_job<int32_t>(0, [&](Job &j) { return j.next.layer = layer; });
}

SONDRAL_API int32_t SondralOpen(const char *path) {
  return sondral::with_job<int32_t>(0, [&](Job &j) {
    if (j.encoder || !path || !*path || !sondral::settings_valid(j.next)) return 0;
    auto encoder = std::make_unique<sondral::AudioEncoder>();
    if (!encoder->open(path, j.next)) return 0;  // the encoder's file goes with it
    j.encoder = std::move(encoder);
    return 1;
  });
}

SONDRAL_API int32_t SondralWrite(const void *pcm, int32_t bytes) {
  return sondral::with_job<int32_t>(0, [&](Job &j) {
    if (!j.encoder || bytes < 0 || (bytes > 0 && !pcm)) return 0;
    return j.encoder->write(static_cast<const uint8_t *>(pcm), size_t(bytes)) ? 1 : 0;
  });
}

SONDRAL_API int32_t SondralClose(void) {
  return sondral::with_job<int32_t>(0, [&](Job &j) {
    if (!j.encoder) return 0;
    const bool ok = j.encoder->close();
    j.encoder.reset();
    return ok ? 1 : 0;
  });
}

SONDRAL_API void *SondralProc(int32_t ordinal) {
  static void *const kExports[] = {
      reinterpret_cast<void *>(&SondralSetInputRate), reinterpret_cast<void *>(&SondralSetInputBits),
      reinterpret_cast<void *>(&SondralSetChannels),  reinterpret_cast<void *>(&SondralSetOutputRate),
      reinterpret_cast<void *>(&SondralSetBitRate),   reinterpret_cast<void *>(&SondralSetLayer),
      reinterpret_cast<void *>(&SondralOpen),         reinterpret_cast<void *>(&SondralWrite),
      reinterpret_cast<void *>(&SondralClose),
  };
  return component_io::export_at(ordinal, kExports);
}

}  // extern "C"
