#include "platform/library_symbols.h"

#include <dlfcn.h>

#include <string>

namespace platform {

namespace {

// The first of the '|'-separated file names that loads.
void *open_any(const char *alternatives) {
  std::string list = alternatives;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t bar = list.find('|', start);
    const std::string name = list.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (void *lib = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) return lib;
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return nullptr;
}

}  // namespace

bool load_library_symbols(const char *const *libraries, size_t library_count, const char *const *names,
                          void **found, size_t count) {
  for (size_t i = 0; i < count; ++i) found[i] = nullptr;
  constexpr size_t kMaxLibraries = 4;
  if (library_count > kMaxLibraries) return false;
  void *libs[kMaxLibraries] = {};
  for (size_t i = 0; i < library_count; ++i)
    if (!(libs[i] = open_any(libraries[i]))) return false;
  for (size_t i = 0; i < count; ++i) {
    for (size_t l = 0; l < library_count && !found[i]; ++l) found[i] = dlsym(libs[l], names[i]);
    if (!found[i]) {
      for (size_t j = 0; j < count; ++j) found[j] = nullptr;
      return false;
    }
  }
  return true;
}

}  // namespace platform
