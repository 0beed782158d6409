// --plugin LIB (repeatable) of probe, video and play: each library is
// loaded, its factory's SourcePlugin added to the media library, and every
// plug-in released (command 67) before the libraries are unloaded.
#pragma once

#include <memory>
#include <vector>

#include "platform/dynamic_library.h"

namespace razavori_cli {

class PluginSet {
 public:
  PluginSet() = default;
  ~PluginSet();
  PluginSet(const PluginSet &) = delete;
  PluginSet &operator=(const PluginSet &) = delete;

  /// Takes every "--plugin LIB" out of argv[1..argc), loading and adding
  /// each. -> the new argc, or -1 after printing "razavori COMMAND: cause".
  int take(int argc, char **argv, const char *command);

 private:
  std::vector<std::unique_ptr<platform::DynamicLibrary>> libraries_;
};

}  // namespace razavori_cli
