// The clock the play loops pace by, and the way they wait. Production runs
// on the high-resolution counter and real sleeps; a test installs a virtual
// clock whose waits move it forward, so that the times at which pictures
// come are the engine's own due times, whatever else loads the machine.
#pragma once

#include <cstdint>

namespace kestrum::play {

struct PaceClock {
  /// Milliseconds since an arbitrary start (wraps at 2^32).
  uint32_t (*now_ms)();
  /// Gives up the processor for `ms` milliseconds; 0 only yields.
  void (*sleep_ms)(uint32_t ms);
};

/// Installs a replacement (null restores the real clock). Tests only; call
/// while nothing plays.
void set_pace_clock(const PaceClock *clock);

/// The millisecond clock the pacing runs on.
uint32_t clock_ms();
/// Sleeps on the pacing clock.
void pace_sleep(uint32_t ms);

}  // namespace kestrum::play
