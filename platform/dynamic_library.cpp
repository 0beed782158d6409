#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace platform {

bool DynamicLibrary::open(const char *path) {
  close();
  if (!path) return false;
  handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
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
