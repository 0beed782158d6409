// The audio switches that `audio` and `play` share: which stream, a speaker
// layout, AC-3 pass-through; and the choice of an audio stream that the
// opening analysis of a system stream may not have met yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace razavori_cli {

struct AudioSwitches {
  int32_t stream = -1;  // stream or sub-stream id, -1 the engine's choice
  int32_t preset = -1;  // speaker preset for multichannel output, -1 off
  bool alternate = false;
  bool passthrough = false;
};

/// Takes --stream ID, --multichannel PRESET, --alt and --passthrough out of
/// args. false with *error set for a bad value.
bool take_audio_switches(std::vector<std::string> &args, AudioSwitches *out, std::string *error);
/// Sets the engine's multichannel and pass-through switches (before a
/// source is opened).
void apply_audio_switches(const AudioSwitches &s);
/// Selects audio stream id of the open source; parses a first stretch (by
/// pulling video) until the id turns up, then rewinds. false when it never
/// does.
bool select_audio_stream(int32_t id);

}  // namespace razavori_cli
