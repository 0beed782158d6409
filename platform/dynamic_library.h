// Dynamic libraries by file name, with look-up by name or by ordinal. An
// engine library exports one look-up function (for example "DravikProc")
// that maps an ordinal to the export carrying it.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  explicit DynamicLibrary(const char *path) { open(path); }
  ~DynamicLibrary() { close(); }
  DynamicLibrary(const DynamicLibrary &) = delete;
  DynamicLibrary &operator=(const DynamicLibrary &) = delete;

  /// Loads a library. A path with a '/' is used as it is. A bare file name
  /// is looked for the way the programs expect a library loaded by name to
  /// be found: first in the running program's folder, then in "../lib"
  /// beside it (the build and install layout), then by the system's own
  /// search (LD_LIBRARY_PATH, run path, system folders).
  bool open(const char *path);
  void close();
  bool is_open() const { return handle_ != nullptr; }

  /// Address of an exported symbol, or null.
  void *symbol(const char *name) const;
  /// Export with the given ordinal, found through the library's look-up
  /// function named lookup_name (void *lookup(int ordinal)); null when the
  /// look-up is missing or the ordinal unknown.
  void *ordinal(const char *lookup_name, int ordinal) const;

 private:
  void *handle_ = nullptr;
};

}  // namespace platform
