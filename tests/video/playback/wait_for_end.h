// Waiting for a play to end, shared by the playback tests.
#pragma once

#include <chrono>
#include <cstdint>

#include "video/engine/engine.h"
#include "video/video_api.h"

namespace playback_test {

/// True once the engine reports the play ended and stopped, false when
/// `seconds` pass first. Sleeps on the engine's own events: the end of the
/// stream is raised by the play loop, which then goes idle.
inline bool wait_for_end(int seconds) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  const auto left_ms = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<uint32_t>(left > 0 ? left : 0);
  };
  kestrum::PlaybackRecord &p = kestrum::engine().state.playback;
  if (!p.end_of_stream.wait_raised(left_ms())) return false;
  if (!p.stepping.wait_clear(left_ms())) return false;
  return VideoCommand(VCMD_PLAYBACK_ENDED, 0) != 0;
}

}  // namespace playback_test
