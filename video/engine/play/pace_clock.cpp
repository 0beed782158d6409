#include "video/engine/play/pace_clock.h"

#include <atomic>

#include "platform/clock.h"

namespace kestrum::play {

namespace {

uint32_t counter_ms() {
  static const int64_t per_ms = [] {
    const int64_t f = platform::perf_frequency() / 1000;
    return f > 0 ? f : 0;
  }();
  if (per_ms == 0) return platform::tick_ms();
  return static_cast<uint32_t>(platform::perf_counter() / per_ms);
}

const PaceClock kRealClock = {counter_ms, platform::sleep_ms};
std::atomic<const PaceClock *> g_clock{&kRealClock};

}  // namespace

void set_pace_clock(const PaceClock *clock) { g_clock = clock ? clock : &kRealClock; }

uint32_t clock_ms() { return g_clock.load(std::memory_order_relaxed)->now_ms(); }

void pace_sleep(uint32_t ms) { g_clock.load(std::memory_order_relaxed)->sleep_ms(ms); }

}  // namespace kestrum::play
