#define RAZAVORI_SDL_LOADER
#include "platform/sdl_dynamic.h"

#include <dlfcn.h>

#include <mutex>

namespace platform {

namespace {

SdlApi g_api{};
bool g_loaded = false;

bool load() {
  // The run-time library of SDL 2, whatever its minor version.
  void *lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return false;
  bool all = true;
#define RAZAVORI_SDL_RESOLVE(name)                                        \
  g_api.name = reinterpret_cast<decltype(g_api.name)>(dlsym(lib, #name)); \
  all = all && g_api.name != nullptr;
  RAZAVORI_SDL_FUNCTIONS(RAZAVORI_SDL_RESOLVE)
#undef RAZAVORI_SDL_RESOLVE
  g_api.SDL_GetDefaultAudioInfo =
      reinterpret_cast<decltype(g_api.SDL_GetDefaultAudioInfo)>(dlsym(lib, "SDL_GetDefaultAudioInfo"));
  g_api.SDL_GetWindowWMInfo =
      reinterpret_cast<decltype(g_api.SDL_GetWindowWMInfo)>(dlsym(lib, "SDL_GetWindowWMInfo"));
  all = all && g_api.SDL_GetWindowWMInfo != nullptr;
  // The library stays loaded for the life of the process, as a linked one
  // would: SDL's own threads may still run from it at exit.
  if (!all) g_api = SdlApi{};
  return all;
}

}  // namespace

bool sdl_loaded() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = load(); });
  return g_loaded;
}

const SdlApi &sdl() { return g_api; }

}  // namespace platform
