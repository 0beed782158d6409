#include "platform/drive.h"

#include <sys/stat.h>

#include "platform/ini.h"

namespace platform {

namespace {

constexpr const char *kSettingsFile = "RAZAVORI.INI";
constexpr const char *kDriveSection = "DRIVES";

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

}  // namespace

std::string drive_device(char letter) {
  letter = upper(letter);
  if (letter < 'A' || letter > 'Z') return "";
  const char key[2] = {letter, 0};
  return profile_get_string(kDriveSection, key, "", kSettingsFile);
}

char drive_letter(const char *path) {
  if (!path) return 0;
  char l = upper(path[0]);
  if (l < 'A' || l > 'Z' || path[1] != ':') return 0;
  return l;
}

DriveType drive_type(const char *root) {
  if (!root || !*root) return DriveType::no_root_dir;
  if (char l = drive_letter(root)) return drive_device(l).empty() ? DriveType::no_root_dir : DriveType::cdrom;
  struct stat st;
  if (root[0] == '/' && ::stat(root, &st) == 0 && S_ISDIR(st.st_mode)) return DriveType::fixed;
  return DriveType::no_root_dir;
}

std::string mapped_drives() {
  std::string letters;
  for (char l = 'A'; l <= 'Z'; ++l)
    if (!drive_device(l).empty()) letters += l;
  return letters;
}

}  // namespace platform
