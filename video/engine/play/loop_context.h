// What a play loop carries from picture to picture: the levels of the open
// stream, the due time of the next picture, and the frame period. One per
// process (there is one playback thread); the levels are recomputed when a
// new stream was opened.
#pragma once

#include <cstdint>

#include "video/engine/play/levels.h"
#include "video/engine/play/pace_clock.h"

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
  /// The stream has shown a picture that is not two fields long (3:2
  /// pull-down): due times advance by exact display times from then on.
  bool exact_durations = false;
  int32_t carry_us = 0;  // what whole milliseconds left of the exact times
  /// How long the picture presented last stays on screen (ms): a loop
  /// that starts again makes the next picture due that long from now.
  int32_t last_gap_ms = 40;
  bool mpeg2 = false;
  /// The video comes through the media layer's ring (system streams). An
  /// elementary stream is read straight from the file and its ring counter
  /// stays 0, which must not read as "starving".
  bool ring_fed = true;
  int32_t open_count = -1;  // the open the levels were computed for
};

/// The loop state, refreshed for the stream open now.
LoopContext &loop_context(Engine &e);

/// How far a picture on screen for `fields` field periods moves the next
/// picture's due time (ms). Plain two-field frames move it by the whole
/// millisecond frame period. Once a stream shows a picture of another
/// length, every picture moves it by its exact display time with the rest
/// carried, since the roundings of two- and three-field pictures would not
/// cancel out.
int32_t display_ms(LoopContext &c, int32_t fields);

/// When the first picture of a loop's call is due: a frame period from now.
/// A stream whose pictures keep their own lengths keeps the due time the
/// previous call left, unless a pause or stall put it more than a picture
/// away, so that the picture on screen keeps its time across calls.
uint32_t first_due(const LoopContext &c);

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
