// A source plug-in that records every call made to it, with answers a test
// sets: which extensions it lists, what its probe and open answer.
#pragma once

#include <string>
#include <vector>

#include "media/media_api.h"

namespace hooks_test {

struct RecordingPlugin : SourcePlugin {
  RecordingPlugin(std::string name, std::vector<std::string> *log);

  std::string name;
  std::vector<std::string> *log;  // "name:call" in call order, shared
  const char *extensions = "";
  int32_t probe_answer = SOURCE_KIND_VIDEO;
  int32_t probe_length = 1234;
  int32_t open_answer = 1;
  bool has_video = true;
  bool has_audio = false;
  int32_t position = 0;
  int32_t size = 5000;
  /// Called inside the probe entry (a hook calling back).
  void (*inside_probe)() = nullptr;

  int count(const std::string &call) const;
};

}  // namespace hooks_test
