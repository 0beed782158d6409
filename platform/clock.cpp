#include "platform/clock.h"

#include <sched.h>
#include <time.h>

namespace platform {

static int64_t monotonic_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

uint32_t tick_ms() { return uint32_t(monotonic_ns() / 1000000); }

int64_t perf_counter() { return monotonic_ns(); }

int64_t perf_frequency() { return 1000000000; }

void sleep_ms(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace platform
