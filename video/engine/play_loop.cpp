// The paced play loop: decode, call the end callback, present, then wait out
// the rest of the frame period while running the audio engine's queued
// refills. Pacing against the audio clock and the ring levels builds on this
// shape (one named step each).
#include "video/engine/play_loop.h"

#include <algorithm>
#include <array>

#include "platform/clock.h"
#include "video/engine/engine.h"

namespace kestrum {

namespace {

// Milliseconds per picture by frame_rate_code; codes 9 to 15 are not
// defined by the standards and pace like 30 Hz.
constexpr std::array<int32_t, 16> kFramePeriodMs = {33, 42, 42, 40, 33, 33, 20, 17,
                                                    17, 33, 33, 33, 33, 33, 33, 33};
// Longest single sleep while waiting for the next picture, so that a halt
// is seen well within the 300 ms the halt waits.
constexpr uint32_t kWaitSliceMs = 10;
// Relayout in progress: look again after this long.
constexpr uint32_t kRelayoutPollMs = 20;

bool keep_playing(const EngineState &s, bool scanning) {
  if (s.abort || s.closing || !s.open) return false;
  return scanning ? s.scan.load() != 0 : s.stopped.load() == 0;
}

// Waits until `deadline` (tick_ms), running the queued audio refills.
void wait_until(const EngineState &s, uint32_t deadline, bool scanning) {
  for (;;) {
    if (!keep_playing(s, scanning)) return;
    const int32_t left = static_cast<int32_t>(deadline - platform::tick_ms());
    if (left <= 0) return;
    if (s.audio_open) media().run_callbacks(left);
    const int32_t after = static_cast<int32_t>(deadline - platform::tick_ms());
    if (after <= 0) return;
    platform::sleep_ms(std::min<uint32_t>(kWaitSliceMs, static_cast<uint32_t>(after)));
  }
}

// Guards the loop against re-entry (a nested play step returns at once).
std::atomic<bool> g_in_loop{false};

}  // namespace

int32_t frame_period_ms(int32_t frame_rate_code) {
  return kFramePeriodMs[static_cast<size_t>(frame_rate_code) & 15];
}

int32_t play_step(Engine &e) {
  EngineState &s = e.state;
  while (s.relayout) {
    if (s.abort) return 0;
    platform::sleep_ms(kRelayoutPollMs);
  }
  const bool scanning = s.scan != 0;
  if (!scanning && s.stopped) return 0;
  if (s.open_mode == static_cast<int32_t>(OpenMode::audio_only)) {
    // Audio-only opens decode no pictures; the thread only keeps the
    // audio refills running.
    while (keep_playing(s, scanning)) {
      media().run_callbacks(kWaitSliceMs);
      platform::sleep_ms(kWaitSliceMs);
    }
    return 1;
  }
  if (g_in_loop.exchange(true)) return 0;
  StreamParams params;
  decoder().params(&params);
  const uint32_t period = static_cast<uint32_t>(frame_period_ms(params.frame_rate_code)) *
                          (s.play_mode == static_cast<int32_t>(PlayMode::slow)
                               ? static_cast<uint32_t>(std::max(1, s.slow_factor))
                               : 1u);
  uint32_t next = platform::tick_ms();
  while (keep_playing(s, scanning)) {
    {
      platform::Lock lock(e.engine_lock);
      if (!keep_playing(s, scanning)) break;
      if (!decode_next_picture()) {
        s.end_of_stream = 1;
        s.stopped = 1;
        s.scan = 0;
        break;
      }
      if (s.end_callback) s.end_callback();
      present_current();
    }
    next += period;
    if (s.real_time) {
      wait_until(s, next, scanning);
    } else {
      next = platform::tick_ms();
    }
  }
  g_in_loop = false;
  return 1;
}

}  // namespace kestrum
