#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include <cstring>

#include "platform/directory.h"
#include "platform/file.h"

namespace platform {

namespace {

// Sanitized builds keep a library mapped after its last close. Libraries
// pulled in with it (FFmpeg's and theirs) keep allocations to the process's
// end; once unmapped, LeakSanitizer reports them from an unknown module that
// no suppression can name, and a real fault there would lose its frames.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
#else
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;
#endif

}  // namespace

bool DynamicLibrary::open(const char *path) {
  close();
  // dlopen(null) would hand back the program itself.
  if (!path || !*path) return false;
  if (!std::strchr(path, '/')) {
    std::string here = executable_folder();
    if (!here.empty()) {
      for (const std::string &candidate : {here + path, here + "../lib/" + path}) {
        if (!file_exists(candidate.c_str())) continue;
        handle_ = dlopen(candidate.c_str(), kOpenFlags);
        if (handle_) return true;
      }
    }
  }
  handle_ = dlopen(path, kOpenFlags);
  return handle_ != nullptr;
}

void DynamicLibrary::close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void *DynamicLibrary::symbol(const char *name) const {
  if (!handle_ || !name) return nullptr;
  return dlsym(handle_, name);
}

void *DynamicLibrary::ordinal(const char *lookup_name, int ordinal) const {
  using Lookup = void *(*)(int);
  auto lookup = reinterpret_cast<Lookup>(symbol(lookup_name));
  return lookup ? lookup(ordinal) : nullptr;
}

}  // namespace platform
