// Engine settings: the state record, the audio rate, channel and volume,
// the decoder's processor variants, and what the open file is.
#include <algorithm>
#include <cstring>

#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"

namespace kestrum::commands {

namespace {

// Volume step of VCMD_VOLUME_UP / VCMD_VOLUME_DOWN per channel word.
constexpr int32_t kVolumeStep = 512;

constexpr bool valid_channel_mode(int32_t mode) { return mode >= 0 && mode <= 3; }

void fill_state_record(KestrumStateRecord *r) {
  Engine &e = engine();
  const EngineState &s = e.state;
  std::memset(r, 0, sizeof *r);
  r->open = static_cast<uint8_t>(s.source.open.load());
  r->playing = static_cast<uint8_t>(s.source.open && !s.playback.stopped);
  r->closing = static_cast<uint8_t>(s.source.closing.load());
  r->audio_present = static_cast<uint8_t>(s.source.audio_present);
  r->video_window = e.display.window();
  r->window_proc = nullptr;
  r->audio_rate_mode = s.audio_link.audio_rate_mode;
  r->channel_mode = s.audio_link.channel_mode;
  r->real_time = static_cast<uint8_t>(s.playback.real_time);
  r->audio_open = static_cast<uint8_t>(s.audio_link.audio_open);
  r->audio_paused = static_cast<uint8_t>(s.audio_link.audio_paused);
  r->monochrome = static_cast<uint8_t>(!s.picture.colour_mode);
  r->mono_tint_cb = static_cast<uint8_t>(s.picture.mono_tint_cb);
  r->mono_tint_cr = static_cast<uint8_t>(s.picture.mono_tint_cr);
  r->coefficient_limit = static_cast<uint8_t>(s.picture.coefficient_limit);
  r->overlay_in_use = s.source.source_tag == KESTRUM_AVI_SOURCE_TAG ? 1 : 0;
  r->direct_presentation = 0;
  r->full_screen = static_cast<uint8_t>(s.presentation.full_screen);
  r->zero = 0;
  r->open_mode = static_cast<uint8_t>(s.source.open_mode);
}

// Restores the settings a state record carries. The play flags follow the
// record only as far as they are safe: a record that says "closed" or
// "stopped" stops playback; it never opens a file or starts a play.
void restore_state_record(const KestrumStateRecord *r) {
  EngineState &s = engine().state;
  s.audio_link.audio_rate_mode = r->audio_rate_mode;
  if (valid_channel_mode(r->channel_mode)) s.audio_link.channel_mode = r->channel_mode;
  s.playback.real_time = r->real_time;
  s.audio_link.audio_paused = r->audio_paused;
  s.picture.colour_mode = r->monochrome ? 0 : 1;
  s.picture.mono_tint_cb = r->mono_tint_cb;
  s.picture.mono_tint_cr = r->mono_tint_cr;
  s.picture.coefficient_limit = r->coefficient_limit & 0x3F;
  decoder().set_coefficient_limit(s.picture.coefficient_limit);
  if (s.source.open && !s.playback.stopped && !r->playing) engine_halt();
}

uint32_t stepped_volume(uint32_t volume, int32_t step) {
  const int32_t left = std::clamp(static_cast<int32_t>(volume & 0xFFFF) + step, 0, 0xFFFF);
  const int32_t right = std::clamp(static_cast<int32_t>(volume >> 16) + step, 0, 0xFFFF);
  return static_cast<uint32_t>(left) | (static_cast<uint32_t>(right) << 16);
}

}  // namespace

Outcome settings_setting(int32_t cmd, intptr_t arg, intptr_t &result) {
  EngineState &s = engine().state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_SET_CHANNEL_MODE:
      // Out-of-range modes change nothing, not even the audio engine's.
      if (!valid_channel_mode(value)) return Outcome::done;
      s.audio_link.channel_mode = value;
      result = 1;
      return Outcome::go_on;
    case VCMD_GET_STATE:
      if (arg) fill_state_record(as_ptr<KestrumStateRecord>(arg));
      result = 0;
      return Outcome::done;
    case VCMD_SET_STATE:
      if (arg) restore_state_record(as_ptr<const KestrumStateRecord>(arg));
      result = 0;
      return Outcome::done;
    case VCMD_VARIANT_83:
    case VCMD_VARIANT_85:
      // Switching one variant on switches the other off.
      result = s.picture.variant == cmd ? 1 : 0;
      if (value) {
        s.picture.variant = cmd;
      } else if (s.picture.variant == cmd) {
        s.picture.variant = 0;
      }
      decoder().set_variant(s.picture.variant);
      return Outcome::done;
    case VCMD_SOURCE_TAG:
      result = s.source.source_tag;
      return Outcome::done;
    case VCMD_OPEN_PATH:
      result = reinterpret_cast<intptr_t>(s.source.path.c_str());
      return Outcome::done;
    default:
      return Outcome::not_mine;
  }
}

bool settings_stream(int32_t cmd, intptr_t arg, intptr_t &result) {
  EngineState &s = engine().state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_RATE_MODE_ONE:
      s.audio_link.audio_rate_mode = 1;
      audio().set_rate_mode(1);
      result = 0;
      return true;
    case VCMD_SET_RATE_MODE:
      s.audio_link.audio_rate_mode = value;
      audio().set_rate_mode(value);
      result = 0;
      return true;
    case VCMD_SET_CHANNEL_MODE:
      audio().set_channel_mode(value);
      result = 1;
      return true;
    case VCMD_VOLUME_UP:
    case VCMD_VOLUME_DOWN:
      audio().set_volume(
          stepped_volume(audio().get_volume(), cmd == VCMD_VOLUME_UP ? kVolumeStep : -kVolumeStep));
      result = 1;
      return true;
    default:
      return false;
  }
}

}  // namespace kestrum::commands
