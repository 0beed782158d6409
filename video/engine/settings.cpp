// The engine's settings file: "KESTRUM.INI", section "SETTING".
#include "platform/ini.h"
#include "video/engine/engine.h"

namespace kestrum {

namespace {
constexpr char kSettingsFile[] = "KESTRUM.INI";
constexpr char kSection[] = "SETTING";
constexpr char kOnTopKey[] = "VideoWinOnTop";
}  // namespace

int32_t read_on_top_setting() {
  return platform::profile_get_int(kSection, kOnTopKey, 0, kSettingsFile) ? 1 : 0;
}

void write_on_top_setting(int32_t on) {
  platform::profile_write_string(kSection, kOnTopKey, on ? "1" : "0", kSettingsFile);
}

}  // namespace kestrum
