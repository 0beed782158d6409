// The exports of libpikran.so: thin shells over one encoding job at a time.
#include <memory>
#include <mutex>

#include "components/common/export_guard.h"
#include "components/pikran/pikran.h"
#include "components/pikran/video_encoder.h"

namespace pikran {
namespace {

struct Job {
  std::mutex lock;
  std::unique_ptr<VideoEncoder> encoder;
  int last_skipped = 0;
};

template <typename R, typename F>
R with_job(R fail, F &&body) {
  return component_io::with_job<Job>(fail, body);
}

}  // namespace
}  // namespace pikran

using pikran::Job;

extern "C" {

PIKRAN_API int32_t PikranOpen(const char *path, const PikranParams *params, int32_t) {
  return pikran::with_job<int32_t>(0, [&](Job &j) {
    if (j.encoder || !path || !*path || !params) return 0;
    pikran::EncoderSettings s;
    if (!pikran::settings_from_params(*params, s)) return 0;
    auto encoder = std::make_unique<pikran::VideoEncoder>();
    if (!encoder->open(path, s)) return 0;  // the encoder's file goes with it
    j.encoder = std::move(encoder);
    j.last_skipped = 0;
    return 1;
  });
}

PIKRAN_API int32_t PikranEncodeFrame(const void *dib, int32_t size) {
  return pikran::with_job<int32_t>(0, [&](Job &j) {
    if (!j.encoder) return 0;
    return j.encoder->encode(dib, size) ? 1 : 0;
  });
}

PIKRAN_API int32_t PikranClose(void) {
  return pikran::with_job<int32_t>(0, [&](Job &j) {
    if (!j.encoder) return 0;
    const bool ok = j.encoder->close();
    j.last_skipped = j.encoder->skipped();
    j.encoder.reset();
    return ok ? 1 : 0;
  });
}

PIKRAN_API int32_t PikranSkippedFrames(void) {
  return pikran::with_job<int32_t>(0,
                                   [&](Job &j) { return j.encoder ? j.encoder->skipped() : j.last_skipped; });
}

PIKRAN_API void *PikranProc(int32_t ordinal) {
  static void *const kExports[] = {
      reinterpret_cast<void *>(&PikranOpen),
      reinterpret_cast<void *>(&PikranEncodeFrame),
      reinterpret_cast<void *>(&PikranClose),
      reinterpret_cast<void *>(&PikranSkippedFrames),
  };
  return component_io::export_at(ordinal, kExports);
}

}  // extern "C"
