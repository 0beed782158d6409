// The play loop of AVI sources. There are no ring levels to read: each
// picture is due when the one before it has been on screen for its own
// time from the AVI's index (frame n at n x scale / rate), and with sound
// the due times follow the audio clock. A picture that comes too late
// behind its sound is decoded (the next ones need it) but not presented.
#include <algorithm>

#include "video/engine/avi_pictures.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loops.h"
#include "video/engine/play/picture_steps.h"

namespace kestrum::play {

namespace {

// With sound, a picture due this many frame periods ago is not shown.
constexpr int32_t kDropAfterPeriods = 2;
// Waits are spent in slices of at most this long, so that a halt, a seek or
// a close is seen between them even when a picture stays for seconds.
constexpr int32_t kWaitSliceMs = 50;
// A due time further away than this is not waited for (a broken index).
constexpr int32_t kLongestWaitMs = 10000;

int32_t picture_gap_ms(Engine &e) {
  platform::Lock lock(e.engine_lock);
  return avi_picture_gap_ms();
}

// Waits until the picture's due time; false when the loop must return.
bool wait_until_due(const EngineState &s, const LoopContext &c) {
  for (;;) {
    if (must_return(s)) return false;
    const int32_t d = until(c.target, clock_ms());
    if (d <= 0 || d > kLongestWaitMs) return true;
    spend(s, std::min(d, kWaitSliceMs));
  }
}

}  // namespace

void avi_loop(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  if (finish_at_end(e, c)) return;
  c.period_us = avi_frame_period_us();
  c.period = std::max(1, (c.period_us + 500) / 1000);
  // Each picture keeps its own time across the loop's calls.
  c.exact_durations = true;
  c.target = first_due(c);
  for (int i = 0; i < kPicturesPerCall; ++i) {
    if (decode_next(e) != Got::picture) return;
    bool show = true;
    if (paces(s)) {
      follow_audio_clock(s, c, kNoPictureTime);
      if (audio_runs(s) && until(c.target, clock_ms()) < -kDropAfterPeriods * c.period) show = false;
      if (show && !wait_until_due(s, c)) return;
    } else {
      c.target = clock_ms();
    }
    if (show) {
      present(e);
    } else {
      count_shown_picture(2);
    }
    c.last_gap_ms = picture_gap_ms(e);
    c.target += static_cast<uint32_t>(c.last_gap_ms);
    if (must_return(s)) return;
  }
}

}  // namespace kestrum::play
