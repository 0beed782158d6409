#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(Clock, CounterIsMonotonicWithAFixedFrequency) {
  const int64_t freq = platform::perf_frequency();
  EXPECT_EQ(freq, 10'000'000);
  EXPECT_EQ(platform::perf_frequency(), freq);
  int64_t last = platform::perf_counter();
  for (int i = 0; i < 100000; ++i) {
    int64_t now = platform::perf_counter();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST(Clock, BothClocksFollowTheSteadyClock) {
  // Each clock's elapsed time must lie between two readings of the steady
  // clock taken around it, give or take one unit of its resolution.
  using namespace std::chrono;
  auto outer_start = steady_clock::now();
  uint32_t tick_start = platform::tick_ms();
  int64_t perf_start = platform::perf_counter();
  auto inner_start = steady_clock::now();
  platform::sleep_ms(30);
  auto inner_end = steady_clock::now();
  int64_t perf_end = platform::perf_counter();
  uint32_t tick_end = platform::tick_ms();
  auto outer_end = steady_clock::now();

  const double inner_ms = duration<double, std::milli>(inner_end - inner_start).count();
  const double outer_ms = duration<double, std::milli>(outer_end - outer_start).count();
  EXPECT_GE(inner_ms, 30.0) << "sleep_ms returned early";
  const double perf_ms = double(perf_end - perf_start) * 1000.0 / double(platform::perf_frequency());
  EXPECT_GE(perf_ms, inner_ms - 0.001);
  EXPECT_LE(perf_ms, outer_ms + 0.001);
  const uint32_t tick_elapsed = tick_end - tick_start;  // wrap-safe
  EXPECT_GE(double(tick_elapsed), inner_ms - 1.0);
  EXPECT_LE(double(tick_elapsed), outer_ms + 1.0);
}

TEST(Clock, TickAgreesWithTheCounter) {
  // Both come from the same monotonic source: the millisecond tick is the
  // counter in milliseconds, modulo 2^32.
  uint32_t tick = platform::tick_ms();
  int64_t counter_ms = platform::perf_counter() / (platform::perf_frequency() / 1000);
  EXPECT_LE(uint32_t(uint64_t(counter_ms)) - tick, 1000u);
}

}  // namespace
