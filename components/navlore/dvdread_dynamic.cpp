#define NAVLORE_DVDREAD_LOADER
#include "components/navlore/dvdread_dynamic.h"

#include <mutex>

#include "platform/library_symbols.h"

namespace navlore {

namespace {

DvdreadApi g_api{};
bool g_loaded = false;

const char *const kLibraries[] = {"libdvdread.so.8|libdvdread.so"};

}  // namespace

bool dvdread_loaded() {
  static std::once_flag once;
  std::call_once(once,
                 [] { g_loaded = RAZAVORI_LOAD_SYMBOLS(NAVLORE_DVDREAD_FUNCTIONS, g_api, kLibraries); });
  return g_loaded;
}

const DvdreadApi &dvdread() { return g_api; }

}  // namespace navlore
