#define SECTREL_CDIO_LOADER
#include "components/sectrel/cdio_dynamic.h"

#include <mutex>

#include "platform/library_symbols.h"

namespace sectrel {

namespace {

CdioApi g_api{};
bool g_loaded = false;

const char *const kLibraries[] = {"libcdio.so.19|libcdio.so", "libiso9660.so.11|libiso9660.so"};

}  // namespace

bool cdio_loaded() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = RAZAVORI_LOAD_SYMBOLS(SECTREL_CDIO_FUNCTIONS, g_api, kLibraries); });
  return g_loaded;
}

const CdioApi &cdio() { return g_api; }

}  // namespace sectrel
