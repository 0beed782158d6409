// Keeps the pictures on the sound's clock.
//
// The ring levels steer the pace only once the audio ring has filled past
// its first level. A stream whose sound is multiplexed close to its pictures
// never gets there, while a video ring a little above its first level takes
// a millisecond off every picture, and the whole-millisecond frame periods
// of the 23.976, 29.97 and 59.94 Hz rates are up to 1 % off: left alone the
// pictures drift from the sound by tens of milliseconds a second. The audio
// clock is what the viewer hears, so each picture's due time is held within
// a small tolerance of the moment its sound plays.
#pragma once

#include <cstdint>

namespace kestrum {
struct EngineState;
}

namespace kestrum::play {

struct LoopContext;

/// Pictures within this much of their sound are left where the ring levels
/// put them.
inline constexpr int32_t kSyncToleranceMs = 15;
/// A difference beyond this is a new start (the sound was restarted,
/// stalled or ran out), not a drift: counting starts again from there.
inline constexpr int32_t kSyncRestartMs = 1000;

/// The sound (re)starts from rest or from a new place: the next picture
/// shown is the first one after the start. Any thread.
void restart_audio_sync();

/// Moves `c.target` (clock time the next picture is due) toward the moment
/// the audio clock reaches that picture. Playback thread, while pacing.
void follow_audio_clock(const EngineState &s, LoopContext &c);

/// One more picture shown. Playback thread.
void count_shown_picture();

/// Where the next picture lies against the sound: positive when it would be
/// shown before its sound plays (ms). `heard_ms` is the audio clock now,
/// `target_in_ms` how far away the picture's due time is, `shown` the
/// pictures shown since the start and `offset_ms` the start's offset.
int32_t picture_lead_ms(int32_t heard_ms, int32_t target_in_ms, int32_t shown, int32_t period_us,
                        int32_t offset_ms);

/// The correction applied to the due time for a lead: nothing within the
/// tolerance, else half the lead, at most half a frame period either way.
int32_t sync_correction_ms(int32_t lead_ms, int32_t period_us);

}  // namespace kestrum::play
