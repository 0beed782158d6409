// Waiting for a play to end, shared by the playback tests.
#pragma once

#include <chrono>
#include <thread>

#include "video/video_api.h"

namespace playback_test {

/// True once the engine reports the play ended and stopped, false when
/// `seconds` pass first. The engine's end callback carries no user data, so
/// the tests look at its flag instead.
inline bool wait_for_end(int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (VideoCommand(VCMD_PLAYBACK_ENDED, 0)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace playback_test
