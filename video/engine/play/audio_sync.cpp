#include "video/engine/play/audio_sync.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "video/engine/engine.h"
#include "video/engine/play/loop_context.h"

namespace kestrum::play {

namespace {

// Set by whoever restarts the sound; taken by the playback thread, which
// alone owns the count and the offset.
std::atomic<bool> g_restart{true};
int64_t g_shown = 0;        // field periods shown since the sound started
int64_t g_time_base = -1;   // display time (fields) the count started at
int32_t g_offset = 0;       // ms the count's start lies behind the sound's
int32_t g_last_heard = -1;  // the audio clock at the previous picture
std::atomic<int32_t> g_pictures{0};
std::atomic<int32_t> g_corrected{0};
std::atomic<int32_t> g_worst{0};
std::atomic<int64_t> g_moved{0};
std::atomic<int64_t> g_net{0};
std::atomic<SyncObserver> g_observer{nullptr};
std::atomic<void *> g_observer_user{nullptr};

void take_restart() {
  if (g_restart.exchange(false)) {
    g_shown = 0;
    g_time_base = -1;
    g_offset = 0;
    g_last_heard = -1;
    g_pictures = 0;
    g_corrected = 0;
    g_worst = 0;
    g_moved = 0;
    g_net = 0;
  }
}

}  // namespace

void restart_audio_sync() { g_restart = true; }

void count_shown_picture(int32_t fields) {
  take_restart();
  g_shown += fields > 0 ? fields : 2;
}

SyncRecord sync_record() {
  SyncRecord r;
  r.pictures = g_pictures;
  r.corrected = g_corrected;
  r.worst_lead_ms = g_worst;
  r.total_moved_ms = g_moved;
  r.net_moved_ms = g_net;
  return r;
}

int32_t picture_lead_ms(int32_t heard_ms, int32_t target_in_ms, int64_t shown_fields, int32_t period_us,
                        int32_t offset_ms) {
  // The next picture is due when the sound reaches the end of those shown
  // (plus one frame period: the first picture is due one period in).
  const int64_t due = (shown_fields + 2) * period_us / 2000 + offset_ms;
  const int64_t heard_then = int64_t{heard_ms} + target_in_ms;
  return static_cast<int32_t>(std::clamp<int64_t>(due - heard_then, INT32_MIN, INT32_MAX));
}

int32_t sync_correction_ms(int32_t lead_ms, int32_t period_us) {
  if (std::abs(lead_ms) <= kSyncToleranceMs) return 0;
  // Half the lead, so the pictures close in without a jolt; never more
  // than half a period a picture, so a stalled clock only slows them.
  const int32_t most = period_us / 2000;
  return std::clamp(lead_ms / 2, -most, most);
}

void set_sync_observer(SyncObserver observer, void *user) {
  g_observer_user = user;
  g_observer = observer;
}

namespace {

// Field periods shown before the picture about to come. Its own display
// time, where known, also covers the pictures the loop passed over; the
// count alone would fall behind by each of them and read the pictures as
// late for the rest of the play.
int64_t fields_before(int64_t picture_time) {
  if (picture_time < 0) return g_shown;
  if (g_time_base < 0 || picture_time < g_time_base) g_time_base = picture_time - g_shown;
  g_shown = picture_time - g_time_base;
  return g_shown;
}

}  // namespace

void follow_audio_clock(const EngineState &s, LoopContext &c, int64_t picture_time) {
  take_restart();
  const int64_t before = fields_before(picture_time);
  if (!audio_runs(s) || !audio().command(AUDIO_CMD_DEVICE_HANDLE, 0)) return;
  const auto heard = static_cast<int32_t>(audio().command(AUDIO_CMD_PLAY_TIME, 0));
  const int32_t last = g_last_heard;
  g_last_heard = heard;
  // A clock that stands still (the sound has played out, or the device
  // starves) is nothing to follow.
  if (heard < 0 || (heard == last && g_shown > 0)) return;
  const uint32_t now = clock_ms();
  const int32_t lead = picture_lead_ms(heard, until(c.target, now), before, c.period_us, g_offset);
  if (lead > kSyncRestartMs || lead < -kSyncRestartMs) {
    // Not a drift: count from here.
    g_offset -= lead;
    return;
  }
  const int32_t moved = sync_correction_ms(lead, c.period_us);
  c.target += static_cast<uint32_t>(moved);
  g_pictures = g_pictures + 1;
  if (moved != 0) g_corrected = g_corrected + 1;
  g_worst = std::max<int32_t>(g_worst, std::abs(lead));
  g_moved = g_moved + std::abs(moved);
  g_net = g_net + moved;
  if (const SyncObserver observer = g_observer.load()) {
    SyncSample sample;
    sample.heard_ms = heard;
    sample.read_at_ms = now;
    sample.due_at_ms = c.target;
    sample.lead_ms = lead;
    sample.moved_ms = moved;
    sample.sound_due_ms = (before + 2) * c.period_us / 2000 + g_offset;
    sample.fields_before = before;
    sample.offset_ms = g_offset;
    observer(g_observer_user, sample);
  }
}

}  // namespace kestrum::play
