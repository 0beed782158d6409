#define RAZAVORI_X11_LOADER
#include "platform/x11_dynamic.h"

#include <mutex>

#include "platform/library_symbols.h"

namespace platform {

namespace {

X11Api g_api{};
bool g_loaded = false;

// Already in the process when SDL's X11 driver runs: loading it again
// only counts a reference then.
const char *const kLibraries[] = {"libX11.so.6|libX11.so"};

}  // namespace

bool x11_loaded() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = RAZAVORI_LOAD_SYMBOLS(RAZAVORI_X11_FUNCTIONS, g_api, kLibraries); });
  return g_loaded;
}

const X11Api &x11() { return g_api; }

}  // namespace platform
