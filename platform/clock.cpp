#include "platform/clock.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace platform {

namespace {

// 100 ns counts, the resolution callers of a performance counter usually
// meet on Windows. Finer units buy nothing for pacing and would make the
// common "counter * 1000 / frequency" overflow 64 bits after about 106
// days of uptime; with 10 MHz that takes millennia.
constexpr int64_t kPerfFrequency = 10'000'000;

int64_t monotonic_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace

uint32_t tick_ms() { return uint32_t(monotonic_ns() / 1'000'000); }

int64_t perf_counter() { return monotonic_ns() / (1'000'000'000 / kPerfFrequency); }

int64_t perf_frequency() { return kPerfFrequency; }

void sleep_ms(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{time_t(ms / 1000), long(ms % 1000) * 1'000'000L};
  // A signal interrupts the sleep with the rest left in ts; sleep that rest.
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
