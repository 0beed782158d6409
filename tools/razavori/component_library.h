// The encoder and multiplexer components bring FFmpeg's libraries and their
// hundred-odd dependencies with them; linking those into razavori made every
// run, a one-second decode included, spend tens of milliseconds in the
// loader. The commands that use a component load it when they run.
#pragma once

#include <cstdio>

#include "platform/dynamic_library.h"

namespace razavori_cli {

/// A component library opened by its bare file name (found beside the
/// program as the engines are) with its exports taken by name.
class ComponentLibrary {
 public:
  /// Opens file; on failure says so for command and returns false.
  bool open(const char *command, const char *file) {
    command_ = command;
    file_ = file;
    if (lib_.open(file)) return true;
    std::fprintf(stderr, "razavori %s: cannot load %s\n", command, file);
    return false;
  }
  /// Fills fn with the export name; on failure says so and returns false.
  template <class Fn>
  bool take(const char *name, Fn &fn) {
    fn = reinterpret_cast<Fn>(lib_.symbol(name));
    if (fn) return true;
    std::fprintf(stderr, "razavori %s: %s lacks %s\n", command_, file_, name);
    return false;
  }

 private:
  platform::DynamicLibrary lib_;
  const char *command_ = "";
  const char *file_ = "";
};

}  // namespace razavori_cli
