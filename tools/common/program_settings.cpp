#include "tools/common/program_settings.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/ini.h"

namespace tools_common {

ProgramSettings::ProgramSettings(std::string section, std::string file)
    : section_(std::move(section)), file_(std::move(file)) {}

int32_t ProgramSettings::get_int(const char *key, int32_t def, int32_t min, int32_t max) const {
  const int32_t v = platform::profile_get_int(section_.c_str(), key, def, file_.c_str());
  return std::clamp(v, min, max);
}

bool ProgramSettings::get_flag(const char *key, bool def) const {
  return platform::profile_get_int(section_.c_str(), key, def ? 1 : 0, file_.c_str()) != 0;
}

std::string ProgramSettings::get_path(const char *key, const std::string &def) const {
  // A key present but empty reads as "", told apart from a missing one by a
  // default no path can hold.
  static const char kMissing[] = "\x01missing\x01";
  std::string v = platform::profile_get_string(section_.c_str(), key, kMissing, file_.c_str());
  return v == kMissing ? def : v;
}

bool ProgramSettings::set_int(const char *key, int32_t value) const {
  return platform::profile_write_string(section_.c_str(), key, std::to_string(value).c_str(), file_.c_str());
}

bool ProgramSettings::set_path(const char *key, const std::string &value) const {
  return platform::profile_write_string(section_.c_str(), key, value.c_str(), file_.c_str());
}

bool ProgramSettings::remove() const {
  return platform::profile_write_string(section_.c_str(), nullptr, nullptr, file_.c_str());
}

namespace {
bool known_page(int32_t p) {
  return p == kCodePageEnglish || p == kCodePageSimplified || p == kCodePageTraditional;
}
}  // namespace

int32_t read_code_page(int32_t default_page, const std::string &file) {
  if (!known_page(default_page)) default_page = kCodePageEnglish;
  const int32_t p = platform::profile_get_int(kSettingSection, kCodePageKey, default_page, file.c_str());
  return known_page(p) ? p : default_page;
}

bool write_code_page(int32_t page, const std::string &file) {
  return platform::profile_write_string(kSettingSection, kCodePageKey, std::to_string(page).c_str(),
                                        file.c_str());
}

}  // namespace tools_common
