// The engine's settings file: "VerIVA.INI", section "SETTING".
#ifdef KESTRUM_HAVE_INI
#include "platform/ini.h"
#endif
#include "video/engine/engine.h"

namespace kestrum {

namespace {
constexpr char kSettingsFile[] = "VerIVA.INI";
constexpr char kSection[] = "SETTING";
constexpr char kOnTopKey[] = "VideoWinOnTop";
}  // namespace

int32_t read_on_top_setting() {
#ifndef KESTRUM_HAVE_INI
  return 0;
#else
  return platform::profile_get_int(kSection, kOnTopKey, 0, kSettingsFile) ? 1 : 0;
#endif
}

void write_on_top_setting(int32_t on) {
#ifdef KESTRUM_HAVE_INI
  platform::profile_write_string(kSection, kOnTopKey, on ? "1" : "0", kSettingsFile);
#else
  (void)on;
#endif
}

}  // namespace kestrum
