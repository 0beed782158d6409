// Subpicture collectors created for hosts by SysControl 82. Each collects
// the units of one subpicture number into its own target buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "media/media_api.h"

namespace dravik {

struct SinkObject : StreamSink {
  explicit SinkObject(int32_t number);
  int32_t number;
  intptr_t user = 0;
  void *target = nullptr;
  StreamSinkCallback callback = nullptr;
  int32_t fill = 0;
  std::unique_ptr<uint8_t[]> assembly;
};

}  // namespace dravik
