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

/// A picture whose display time is not known.
inline constexpr int64_t kNoPictureTime = -1;
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
/// the audio clock reaches that picture. `picture_time` is the picture's
/// own display time in field periods (-1 when unknown): with it, pictures
/// the loop passed over still count, so a play that skips to catch up is
/// not mistaken for one that runs late. Playback thread, while pacing.
void follow_audio_clock(const EngineState &s, LoopContext &c, int64_t picture_time);

/// One more picture shown, on screen for `fields` field periods (2 for a
/// plain frame). Playback thread.
void count_shown_picture(int32_t fields);

/// Where the next picture lies against the sound: positive when it would be
/// shown before its sound plays (ms). `heard_ms` is the audio clock now,
/// `target_in_ms` how far away the picture's due time is, `shown_fields`
/// the display time of the pictures shown since the start in field periods
/// (half frame periods) and `offset_ms` the start's offset.
int32_t picture_lead_ms(int32_t heard_ms, int32_t target_in_ms, int64_t shown_fields, int32_t period_us,
                        int32_t offset_ms);

/// What the sound's clock did to the pictures since the sound last
/// started: for tests and diagnostics.
struct SyncRecord {
  int32_t pictures = 0;        // pictures whose lead was measured
  int32_t corrected = 0;       // of them, the ones whose due time moved
  int32_t worst_lead_ms = 0;   // largest lead or lag seen (absolute)
  int64_t total_moved_ms = 0;  // sum of the corrections' sizes
  int64_t net_moved_ms = 0;    // their sum with signs (later is positive)
};
/// A copy of the record (any thread; exact once the playback has stopped).
SyncRecord sync_record();

/// One picture measured against the sound, as the loop saw it.
struct SyncSample {
  int32_t heard_ms = 0;       // the audio clock read
  uint32_t read_at_ms = 0;    // the pacing clock when it was read
  uint32_t due_at_ms = 0;     // the pacing clock time the picture is due, corrected
  int32_t lead_ms = 0;        // how far before its sound it was due, uncorrected
  int32_t moved_ms = 0;       // the correction (later is positive)
  int64_t sound_due_ms = 0;   // the audio clock reading its sound starts at
  int64_t fields_before = 0;  // display time before it since the sound started
  int32_t offset_ms = 0;      // where the count started against the sound
};
using SyncObserver = void (*)(void *user, const SyncSample &sample);
/// Called on the playback thread for every picture measured (tests and
/// diagnostics; null removes it). Install while nothing plays.
void set_sync_observer(SyncObserver observer, void *user);

/// The correction applied to the due time for a lead: nothing within the
/// tolerance, else half the lead, at most half a frame period either way.
int32_t sync_correction_ms(int32_t lead_ms, int32_t period_us);

}  // namespace kestrum::play
