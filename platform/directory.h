// Directory search (find-first-file), case-insensitive name look-up, free
// space, and the folders the design asks the system for (temporary folder,
// the running program's folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::string name;  // file name without folder
  bool is_directory = false;
  int64_t size = 0;
};

/// Entries of folder whose names match pattern ('*' and '?' wildcards; "*.*"
/// matches every name, dotted or not, as it does on Windows), compared
/// case-insensitively when asked (a disc's VIDEO_TS names may be upper or
/// lower case). Sorted by name; "." and ".." left out. A missing folder
/// gives an empty list. Symbolic links are followed for type and size.
std::vector<DirEntry> find_files(const std::string &folder, const std::string &pattern,
                                 bool case_insensitive = true);
/// Case-insensitive lookup of name in folder: the real path, or "". name may
/// hold several components ("VIDEO_TS/VTS_01_1.VOB"); each one is matched
/// case-insensitively. An exact match is preferred over other spellings.
std::string find_file_nocase(const std::string &folder, const std::string &name);
/// Whole-string wildcard match ('*' any run, '?' one character).
bool wildcard_match(const std::string &pattern, const std::string &name, bool case_insensitive = true);
/// Free bytes for an unprivileged user on the file system holding path, or -1.
int64_t free_space(const std::string &path);
/// The temporary folder with a trailing '/': $TMPDIR when it names a folder,
/// else "/tmp/".
std::string temp_folder();
/// Folder of the running program with a trailing '/', or "" if unknown.
std::string executable_folder();

}  // namespace platform
