// A small shared library built like the engine libraries: exports by name
// plus one look-up that maps ordinals to exports. Loaded by the platform
// tests with dlopen, never linked.
#include <cstdint>

#define TESTLIB_API extern "C" __attribute__((visibility("default")))

TESTLIB_API int32_t TestlibAdd(int32_t a, int32_t b) { return a + b; }
TESTLIB_API int32_t TestlibTwice(int32_t a) { return 2 * a; }

namespace {
// Ordinals need not be dense; 7 is left unused on purpose.
struct Export {
  int ordinal;
  void *address;
};
const Export kExports[] = {
    {5, reinterpret_cast<void *>(&TestlibAdd)},
    {6, reinterpret_cast<void *>(&TestlibTwice)},
};
}  // namespace

TESTLIB_API void *TestlibProc(int ordinal) {
  for (const Export &e : kExports)
    if (e.ordinal == ordinal) return e.address;
  return nullptr;
}
