// The two clocks: a millisecond tick (GetTickCount-like, wraps at 2^32) and
// a high-resolution counter with its frequency. Both run on CLOCK_MONOTONIC,
// so neither jumps when the wall clock is set.
#pragma once

#include <cstdint>

namespace platform {

/// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t tick_ms();
/// High-resolution counter value, in units of perf_frequency() per second.
int64_t perf_counter();
/// Counts per second of perf_counter() (constant for the process).
int64_t perf_frequency();
/// Sleeps the calling thread; 0 yields.
void sleep_ms(uint32_t ms);

}  // namespace platform
