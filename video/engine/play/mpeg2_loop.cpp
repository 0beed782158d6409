// The MPEG-2 play loop: the same shape as the normal loop with graded
// skipping for the larger rings of MPEG-2 sources, and a pacing that pulls
// the pictures in more strongly as the video ring fills.
#include <algorithm>

#include "platform/clock.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loops.h"
#include "video/engine/play/picture_steps.h"

namespace kestrum::play {

namespace {

// Each graded rule repeats up to this many times.
constexpr int kGradedRepeats = 4;

int32_t mid(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} + b) / 2); }

// "Decode unless B" repeated while the ring stays above `floor`.
Got decode_anchors_while(Engine &e, int32_t floor) {
  Got got = decode_unless_b(e);
  for (int i = 0; i < kGradedRepeats && video_fill() > floor && got != Got::end; ++i) {
    const Got more = decode_unless_b(e);
    if (more != Got::nothing) got = more;
  }
  return got;
}

// Step b: graded skipping. Returns what was decoded; any rule that applied
// makes the picture due now.
Got skip_step(Engine &e, LoopContext &c) {
  const int32_t *l = c.video.level;
  const int32_t vf = video_fill();
  Got got;
  if (vf > l[8]) {
    got = pass_to(e, kIntraOnly, l[5]);
    for (int i = 0; i < kGradedRepeats && video_fill() > l[5]; ++i) {
      if (video_fill() > l[6]) got = pass_to(e, kIntraOnly, l[4]);
    }
  } else if (vf > mid(l[7], l[8])) {
    got = pass_to(e, kAnchors, l[4]);
    for (int i = 0; i < kGradedRepeats && video_fill() > l[5]; ++i) {
      if (video_fill() > l[6]) got = pass_to(e, kAnchors, l[3]);
    }
  } else if (vf > l[7]) {
    got = decode_anchors_while(e, l[5]);
  } else if (vf > l[6]) {
    got = decode_anchors_while(e, mid(l[4], l[5]));
  } else if (vf > l[5]) {
    got = decode_anchors_while(e, l[4]);
  } else if (vf > l[4]) {
    got = decode_anchors_while(e, mid(l[2], l[3]));
  } else if (vf > mid(l[3], l[4])) {
    got = decode_anchors_while(e, l[2]);
  } else {
    return Got::nothing;
  }
  c.target = clock_ms();
  return got;
}

// Step d.
void pace_step(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  const int32_t *l = c.video.level;
  const AudioLevels &a = c.audio;
  const int32_t vf = video_fill();
  // The fuller the video ring, the sooner the next picture.
  const int32_t sooner_above[5] = {l[3], mid(l[2], l[3]), l[2], mid(l[1], l[2]), l[1]};
  if (vf > mid(l[3], l[4])) {
    refill(s, kRefillSliceMs);
    c.target = clock_ms();
  } else {
    bool pulled = false;
    for (int i = 0; i < 5 && !pulled; ++i) {
      if (vf > sooner_above[i]) {
        refill(s, kRefillSliceMs);
        c.target -= static_cast<uint32_t>(kMpeg2Sooner[i]);
        pulled = true;
      }
    }
    if (!pulled) {
      int32_t wait = until(c.target, clock_ms());
      if (wait < kMinWaitMs) wait = kMinWaitMs;
      refill(s, wait);
      const int32_t over = (video_fill() >> 12) - c.video.pace_base;
      if (video_fill() > l[1] && over > 0) c.target -= static_cast<uint32_t>(over);
      if (audio_runs(s) && audio().command(AUDIO_CMD_DEVICE_HANDLE, 0)) {
        const int32_t af = audio_fill();
        if (af > a.level[4]) {
          c.target += static_cast<uint32_t>(af / kAudioFullDivisor);
        } else if (af > a.level[3] || af > a.level[2]) {
          c.target += static_cast<uint32_t>(af / kAudioHighDivisor);
          refill(s, kRefillSliceMs);
        } else if (af > a.level[1]) {
          c.target += static_cast<uint32_t>(af / kAudioSomeDivisor);
        } else {
          c.target += af > a.level[1] / 2 ? kMpeg2AudioLowNudgeMs : kMpeg2AudioEmptyNudgeMs;
        }
      }
    }
    // A fuller video ring asks for sooner pictures, a fuller audio ring for
    // later ones; the sound itself has the last word.
    follow_audio_clock(s, c, picture_time());
    for (;;) {
      refill(s, kRefillSliceMs);
      if (must_return(s)) break;
      if (video_fill() > l[2] && audio_fill() < a.level[3]) break;
      const int32_t d = video_fill() > l[1] ? 0 : until(c.target, clock_ms());
      if (d < kMpeg2MinSleepableMs || d >= kMaxSleepableMs) {
        pace_sleep(0);
        if (d >= kMaxSleepableMs && !audio_runs(s)) break;
      } else {
        const uint32_t start = clock_ms();
        refill(s, std::max(d * 5 / 8, kRefillSliceMs));
        const int32_t left = until(c.target, clock_ms());
        const int32_t used = static_cast<int32_t>(clock_ms() - start);
        if (left > 0 && used < d) pace_sleep(static_cast<uint32_t>(left));
      }
      if (until(c.target, clock_ms()) <= 0) break;
    }
  }
  // The next picture is due when this one has been on screen its time.
  c.target += static_cast<uint32_t>(display_ms(c, picture_fields()));
}

}  // namespace

void mpeg2_loop(Engine &e, LoopContext &c) {
  EngineState &s = e.state;
  if (finish_at_end(e, c)) return;
  open_late_audio(e);
  c.target = first_due(c);
  const int32_t *l = c.video.level;
  for (int i = 0; i < kPicturesPerCall; ++i) {
    if (c.ring_fed && video_fill() < mid(l[1], l[2]) && video_fill() < c.video.low) {
      c.target += kLowVideoSlackMs;
    }
    Got got = s.audio_link.audio_open ? skip_step(e, c) : Got::nothing;
    if (got == Got::picture) {
      // A picture the skipping decoded is due at once.
      present(e);
      if (must_return(s)) return;
      continue;
    }
    got = decode_next(e);
    if (got != Got::picture) return;
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
