// One program's section of the suite's settings file ("RAZAVORI.INI" by
// default) with bounded reads: a number outside its range is clamped, so an
// edited or damaged file can never index past a list. Paths are kept as the
// file system's bytes. Writes keep comments and other sections (platform/ini).
#pragma once

#include <cstdint>
#include <string>

namespace tools_common {

/// The suite's settings file, opened by bare name in the settings folder.
inline constexpr const char *kSuiteSettingsFile = "RAZAVORI.INI";
/// The section and key of the interface language, shared by every program.
inline constexpr const char *kSettingSection = "SETTING";
inline constexpr const char *kCodePageKey = "CODEPAGE";

class ProgramSettings {
 public:
  explicit ProgramSettings(std::string section, std::string file = kSuiteSettingsFile);

  /// The key's number clamped to min..max; def when it is missing.
  int32_t get_int(const char *key, int32_t def, int32_t min, int32_t max) const;
  /// A 0/1 flag: any non-zero number counts as on.
  bool get_flag(const char *key, bool def) const;
  /// The key's text as stored (a path's bytes), def when missing.
  std::string get_path(const char *key, const std::string &def) const;

  bool set_int(const char *key, int32_t value) const;
  bool set_flag(const char *key, bool on) const { return set_int(key, on ? 1 : 0); }
  bool set_path(const char *key, const std::string &value) const;
  /// Deletes the whole section.
  bool remove() const;

  const std::string &section() const { return section_; }
  const std::string &file() const { return file_; }

 private:
  std::string section_;
  std::string file_;
};

/// Interface code pages the programs know.
inline constexpr int32_t kCodePageEnglish = 0;
inline constexpr int32_t kCodePageSimplified = 936;
inline constexpr int32_t kCodePageTraditional = 950;

/// "SETTING" "CODEPAGE": 0, 936 or 950; default_page when missing or any
/// other value (default_page itself falls back to 0 when unknown).
int32_t read_code_page(int32_t default_page, const std::string &file = kSuiteSettingsFile);
bool write_code_page(int32_t page, const std::string &file = kSuiteSettingsFile);

}  // namespace tools_common
