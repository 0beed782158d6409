#include "tools/razavori/audio_switches.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "media/media_api.h"

namespace razavori_cli {

namespace {

constexpr int32_t kParseChunk = 16384;
constexpr int kParseChunksMax = 256;
constexpr int32_t kPresetLast = 16;

bool parse(const std::string &s, long lo, long hi, int32_t *out) {
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 0);
  if (errno || !end || *end || v < lo || v > hi) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool seen(int32_t id) {
  const auto count = static_cast<int32_t>(SysControl(CTL_AUDIO_COUNT, 0));
  const auto *ids = reinterpret_cast<const int32_t *>(SysControl(CTL_AUDIO_LIST, 0));
  for (int32_t i = 0; i < count; ++i)
    if (ids[i] == id) return true;
  return false;
}

}  // namespace

bool take_audio_switches(std::vector<std::string> &args, AudioSwitches *out, std::string *error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--stream" && has_value) {
      if (!parse(args[++i], 0, 0xFF, &out->stream)) return *error = "bad stream id " + args[i], false;
    } else if (a == "--multichannel" && has_value) {
      if (!parse(args[++i], 0, kPresetLast, &out->preset))
        return *error = "bad speaker preset " + args[i], false;
    } else if (a == "--alt") {
      out->alternate = true;
    } else if (a == "--passthrough") {
      out->passthrough = true;
    } else {
      rest.push_back(a);
    }
  }
  args.swap(rest);
  return true;
}

void apply_audio_switches(const AudioSwitches &s) {
  AudioCommand(AUDIO_CMD_SET_PASSTHROUGH, s.passthrough ? 1 : 0);
  AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, s.preset >= 0 ? 1 : 0);
  if (s.preset < 0) return;
  AudioCommand(AUDIO_CMD_SET_ALT_TABLE, s.alternate ? 1 : 0);
  AudioCommand(AUDIO_CMD_SET_PRESET, s.preset);
  AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
}

bool select_audio_stream(int32_t id) {
  std::vector<char> buf(kParseChunk);
  for (int i = 0; i < kParseChunksMax && !seen(id); ++i) {
    if (SysReadVideo(buf.data(), kParseChunk) < kParseChunk) break;
  }
  SysSeek(0, 0);
  if (!seen(id)) return false;
  SysControl(CTL_AUDIO_SELECT, id);
  const auto current = static_cast<int32_t>(SysControl(CTL_AUDIO_CURRENT, 0));
  return current == id || current == -1;
}

}  // namespace razavori_cli
