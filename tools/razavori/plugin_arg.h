// --plugin LIB (repeatable) of probe, video and play: each library is
// loaded, its factory's SourcePlugin added to the media library, and every
// plug-in released (command 67) before the libraries are unloaded.
// --dvb CAPTURE of probe, demux and play: the DVB library is loaded
// (command 53), told the capture file or DVR device (command 19), and the
// argument becomes the stream it serves, "DVBStream.DVB"; it is freed
// (command 54) at the end.
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
  /// each, and turns "--dvb CAPTURE" into the DVB stream's name when dvb.
  /// -> the new argc, or -1 after printing "razavori COMMAND: cause".
  int take(int argc, char **argv, const char *command, bool dvb = false);

 private:
  std::vector<std::unique_ptr<platform::DynamicLibrary>> libraries_;
  bool dvb_loaded_ = false;
};

}  // namespace razavori_cli
