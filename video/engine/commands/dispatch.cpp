// VideoCommand: the settings parts first (whether or not a file is open),
// then, while a file is open, the stream parts.
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"

namespace kestrum {

namespace {

using commands::Outcome;

// Codes 141 to 144 are not accepted.
constexpr bool accepted(int32_t cmd) {
  return cmd >= VCMD_TOGGLE_COLOUR && cmd <= kLastCommand && (cmd < 141 || cmd > 144);
}

constexpr Outcome (*kSettingParts[])(int32_t, intptr_t, intptr_t &) = {
    commands::settings_setting, commands::transport_setting, commands::display_setting,
    commands::picture_setting,  commands::dvd_setting,       commands::stored_value,
};

constexpr bool (*kStreamParts[])(int32_t, intptr_t, intptr_t &) = {
    commands::settings_stream, commands::transport_stream, commands::display_stream,
    commands::picture_stream,  commands::time_stream,
};

}  // namespace

intptr_t engine_command(int32_t cmd, intptr_t arg) {
  if (!accepted(cmd)) return 0;
  EngineState &s = engine().state;
  // While a video file is open this code steps on to the next I picture;
  // otherwise it only keeps its value.
  if (cmd == VCMD_NEXT_INTRA && s.source.open &&
      s.source.open_mode == static_cast<int32_t>(OpenMode::video)) {
    return engine_next_intra();
  }
  intptr_t result = 0;
  if (cmd >= VCMD_SET_CHANNEL_MODE) {
    for (auto part : kSettingParts) {
      const Outcome outcome = part(cmd, arg, result);
      if (outcome == Outcome::done) return result;
      if (outcome == Outcome::go_on) break;
    }
  }
  if (!s.source.open || (cmd > VCMD_PLANE_RECORD && cmd < VCMD_PICTURE_TIME)) return result;
  for (auto part : kStreamParts) {
    if (part(cmd, arg, result)) return result;
  }
  return result;
}

}  // namespace kestrum
