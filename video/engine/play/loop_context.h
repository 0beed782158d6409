// What a play loop carries from picture to picture: the levels of the open
// stream, the due time of the next picture, and the frame period. One per
// process (there is one playback thread); the levels are recomputed when a
// new stream was opened.
#pragma once

#include <cstdint>

#include "video/engine/play/levels.h"

namespace kestrum {
struct Engine;
struct EngineState;
}  // namespace kestrum

namespace kestrum::play {

struct LoopContext {
  VideoLevels video;
  AudioLevels audio;
  uint32_t target = 0;        // clock time the next picture is due
  int32_t period = 40;        // frame period in ms
  int32_t period_us = 40000;  // the same, exact (the sound is followed by it)
  bool mpeg2 = false;
  /// The video comes through the media layer's ring (system streams). An
  /// elementary stream is read straight from the file and its ring counter
  /// stays 0, which must not read as "starving".
  bool ring_fed = true;
  int32_t open_count = -1;  // the open the levels were computed for
};

/// The loop state, refreshed for the stream open now.
LoopContext &loop_context(Engine &e);

/// The millisecond clock the pacing runs on (high-resolution counter).
uint32_t clock_ms();
/// Signed distance from now to `t` (ms; negative when `t` has passed).
inline int32_t until(uint32_t t, uint32_t now) { return static_cast<int32_t>(t - now); }

int32_t video_fill();
int32_t audio_fill();

/// The audio output runs (open, started and not paused).
bool audio_runs(const EngineState &s);
/// The loop paces pictures: the source has sound, or real time is on.
bool paces(const EngineState &s);
/// The loop must hand back to the thread (stopped, closing, relayout, halt).
bool must_return(const EngineState &s);

/// Spends `ms` running the audio refills when the audio runs, sleeping
/// whatever they did not use.
void spend(const EngineState &s, int32_t ms);
/// Runs the audio refills for up to `ms` when the audio runs.
void refill(const EngineState &s, int32_t ms);

}  // namespace kestrum::play
