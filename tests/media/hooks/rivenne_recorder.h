// What the DVB library double records of each notification.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RecorderEvent {
  int32_t code = -1;
  intptr_t value = 0;
  std::string text;            // open: the path
  int64_t pos = 0;             // seek
  int32_t origin = 0;          // seek
  std::vector<uint8_t> bytes;  // block: its bytes
};

/// Exported by the double: its event list (read after the calls ended).
using RecorderEventsFn = std::vector<RecorderEvent> *(*)();
