// A virtual pacing clock for playback tests: install it with
// kestrum::play::set_pace_clock(&playback_test::kVirtualClock) before
// playing and set_pace_clock(nullptr) after. The engine's waits move it on
// at once, waking on a whole millisecond as a timer tick would, so each
// picture comes exactly at its due time however loaded the machine is.
// Only the pacing runs on it: the sound's clock stays real, so plays with
// sound keep the real clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "video/engine/play/pace_clock.h"

namespace playback_test {

inline std::atomic<int64_t> g_virtual_us{0};

// Each look costs 50 microseconds: a wait that polls for a due time a
// millisecond away gets there in a few dozen looks.
inline uint32_t virtual_now() { return static_cast<uint32_t>((g_virtual_us += 50) / 1000); }

// A zero sleep does nothing: it neither moves the clock (a picture presented
// on time keeps its millisecond) nor gives up the processor (on a loaded
// machine a thousand yields would take seconds).
inline void virtual_sleep(uint32_t ms) {
  if (ms == 0) return;
  g_virtual_us = (g_virtual_us / 1000 + ms) * 1000;
  std::this_thread::yield();
}

inline const kestrum::play::PaceClock kVirtualClock = {virtual_now, virtual_sleep};

}  // namespace playback_test
