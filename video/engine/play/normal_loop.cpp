// The normal play loop: per picture, skip when the video ring says the
// decoder is behind, else decode; then pace against the frame period, bent
// by how full the two rings are; then present.
#include "platform/clock.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loops.h"
#include "video/engine/play/picture_steps.h"

namespace kestrum::play {

namespace {

// Step b: the skipping rules (only while the sound is open).
Got skip_step(Engine &e, LoopContext &c) {
  const VideoLevels &v = c.video;
  Got got = Got::nothing;
  bool skipped = false;
  if (video_fill() > v.level[5]) {
    got = pass_to(e, kIntraOnly, v.level[2]);
    skipped = true;
  } else if (video_fill() > v.level[4]) {
    got = pass_to(e, kAnchors, v.level[2]);
    skipped = true;
  }
  refill(e.state, kRefillSliceMs);
  pace_sleep(0);
  if (!skipped && video_fill() > v.level[3]) {
    got = decode_unless_b(e);
    c.target = clock_ms();
  }
  return got;
}

// Step d: how long until this picture is due, and the wait itself.
void pace_step(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  const VideoLevels &v = c.video;
  const AudioLevels &a = c.audio;
  if (video_fill() > v.level[2] && audio_fill() < a.level[3]) {
    // Plenty of pictures, the sound starving: show at once.
    refill(s, kRefillSliceMs);
    c.target = clock_ms();
  } else {
    int32_t wait = until(c.target, clock_ms());
    if (wait < kMinWaitMs) wait = kMinWaitMs;
    refill(s, wait);
    const int32_t vf = video_fill();
    if (vf > v.level[1]) c.target += static_cast<uint32_t>(v.pace_base - (vf >> 12));
    if (audio_runs(s) && audio().command(AUDIO_CMD_DEVICE_HANDLE, 0)) {
      const int32_t af = audio_fill();
      if (af > a.level[4]) {
        c.target += static_cast<uint32_t>(af / kAudioFullDivisor);
      } else if (af > a.level[3] || af > a.level[2]) {
        c.target += static_cast<uint32_t>(af / kAudioHighDivisor);
      } else if (af > a.level[1]) {
        c.target += static_cast<uint32_t>(af / kAudioSomeDivisor);
      }
      refill(s, kRefillSliceMs);
    }
    // The ring levels have had their say; the sound has the last word.
    follow_audio_clock(s, c, picture_time());
    for (;;) {
      if (must_return(s)) break;
      if (video_fill() > v.level[2] && audio_fill() < a.level[3]) break;
      const int32_t d = until(c.target, clock_ms());
      if (d > kMinSleepableMs && d < kMaxSleepableMs) spend(s, d * 7 / 8);
      if (until(c.target, clock_ms()) <= 0) break;
      if (d <= kMinSleepableMs || d >= kMaxSleepableMs) {
        if (audio_runs(s)) {
          refill(s, kRefillSliceMs);
        } else if (d >= kMaxSleepableMs) {
          break;  // a wild difference is not waited out
        }
      }
    }
  }
  // The next picture is due when this one has been on screen its time.
  c.target += static_cast<uint32_t>(display_ms(c, picture_fields()));
}

}  // namespace

void normal_loop(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  if (finish_at_end(e, c)) return;
  open_late_audio(e);
  c.target = first_due(c);
  for (int i = 0; i < kPicturesPerCall; ++i) {
    if (c.ring_fed && video_fill() < c.video.low) c.target += kLowVideoSlackMs;
    Got got = s.audio_link.audio_open ? skip_step(e, c) : Got::nothing;
    if (got != Got::picture) {
      got = decode_next(e);
      if (got != Got::picture) return;
    }
    if (paces(s)) {
      pace_step(e, c);
      if (s.source.closing) return;
    } else {
      c.target = clock_ms();
    }
    present(e);
    if (must_return(s)) return;
  }
}

}  // namespace kestrum::play
