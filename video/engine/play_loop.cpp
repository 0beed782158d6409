// One play step of the playback thread: chooses the loop of the current
// play mode (video/engine/play/) and runs it once; the thread calls again
// while the play goes on.
#include "video/engine/play_loop.h"

#include <atomic>

#include "platform/clock.h"
#include "video/engine/avi_pictures.h"
#include "video/engine/engine.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loops.h"

namespace kestrum {

namespace {

// Relayout in progress: look again after this long.
constexpr uint32_t kRelayoutPollMs = 20;

// Guards the loops against re-entry (a nested play step returns at once).
std::atomic<bool> g_in_loop{false};

}  // namespace

int32_t play_step(Engine &e) {
  EngineState &s = e.state;
  while (s.presentation.relayout) {
    if (s.playback.abort) return 0;
    platform::sleep_ms(kRelayoutPollMs);
  }
  const bool scanning = s.playback.scan != 0;
  if (!scanning && s.playback.stopped) return 0;
  if (!s.source.open || s.source.closing) return 0;
  if (g_in_loop.exchange(true)) return 0;
  if (s.source.open_mode == static_cast<int32_t>(OpenMode::audio_only)) {
    play::audio_only_loop(e);
  } else {
    play::LoopContext &c = play::loop_context(e);
    if (scanning) {
      play::scan_loop(e, c);
    } else if (s.playback.play_mode == static_cast<int32_t>(PlayMode::fast)) {
      play::fast_loop(e, c);
    } else if (s.playback.play_mode == static_cast<int32_t>(PlayMode::slow)) {
      play::slow_loop(e, c);
    } else if (avi_pictures_active()) {
      play::avi_loop(e, c);
    } else if (c.mpeg2 && s.playback.mpeg2_play_loop) {
      play::mpeg2_loop(e, c);
    } else {
      play::normal_loop(e, c);
    }
  }
  g_in_loop = false;
  return 1;
}

}  // namespace kestrum
