#include "media/state.h"

#include <atomic>

#include "media/hooks/dvb_link.h"
#include "media/source/source.h"

namespace dravik {

State::State() = default;

State::~State() {
  if (source.type != SourceType::none) close_source(*this);
}

State &global_state() {
  // Built on first use and kept for the life of the process: the engines
  // keep the addresses of its counters.
  static State *state = new State();
  return *state;
}

int32_t store_video_avail(State &s) {
  // AVI and plug-in sources keep the fixed levels set at their open.
  if (s.source.type == SourceType::avi || s.source.type == SourceType::plugin)
    return s.rings.video_avail_stored;
  auto v = static_cast<int32_t>(s.rings.video.available());
  std::atomic_ref<int32_t>(s.rings.video_avail_stored).store(v, std::memory_order_release);
  return v;
}

int32_t store_audio_avail(State &s) {
  if (s.source.type == SourceType::avi || s.source.type == SourceType::plugin)
    return s.rings.audio_avail_stored;
  auto v = static_cast<int32_t>(s.rings.audio.available());
  std::atomic_ref<int32_t>(s.rings.audio_avail_stored).store(v, std::memory_order_release);
  return v;
}

}  // namespace dravik
