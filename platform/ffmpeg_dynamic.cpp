#define RAZAVORI_FFMPEG_LOADER
#include "platform/ffmpeg_dynamic.h"

#include <dlfcn.h>

#include <mutex>

namespace platform {

namespace {

FfmpegApi g_api{};
bool g_loaded = false;

#define RAZAVORI_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

bool load() {
  // The run-time libraries of the major versions we were built against.
  const char *const names[] = {
      RAZAVORI_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR),
      RAZAVORI_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR),
      RAZAVORI_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR),
      RAZAVORI_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR),
  };
  void *libs[std::size(names)] = {};
  for (size_t i = 0; i < std::size(names); ++i) {
    libs[i] = dlopen(names[i], RTLD_NOW | RTLD_LOCAL);
    if (!libs[i]) return false;
  }
  auto find = [&](const char *name) -> void * {
    for (void *lib : libs)
      if (void *p = dlsym(lib, name)) return p;
    return nullptr;
  };
  FfmpegApi api{};
  bool all = true;
#define RAZAVORI_FFMPEG_RESOLVE(name)                   \
  if (void *p = find(#name)) {                          \
    api.name = reinterpret_cast<decltype(api.name)>(p); \
  } else {                                              \
    all = false;                                        \
  }
  RAZAVORI_FFMPEG_FUNCTIONS(RAZAVORI_FFMPEG_RESOLVE)
#undef RAZAVORI_FFMPEG_RESOLVE
  // The libraries stay loaded for the life of the process, as linked ones
  // would; a partial set leaves the stand-ins in place.
  if (all) g_api = api;
  return all;
}

#undef RAZAVORI_SONAME

}  // namespace

bool ffmpeg_loaded() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = load(); });
  return g_loaded;
}

const FfmpegApi &ffmpeg() {
  ffmpeg_loaded();
  return g_api;
}

}  // namespace platform
