// Directory search (find-first-file) and free space.
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

/// Entries of folder whose names match pattern ('*' and '?' wildcards),
/// compared case-insensitively when asked (a disc's VIDEO_TS names may be
/// upper or lower case). Sorted by name; "." and ".." left out.
std::vector<DirEntry> find_files(const std::string &folder, const std::string &pattern,
                                 bool case_insensitive = true);
/// Case-insensitive lookup of one name in folder: the real path, or "".
std::string find_file_nocase(const std::string &folder, const std::string &name);
/// Free bytes for an unprivileged user on the file system holding path, or -1.
int64_t free_space(const std::string &path);

}  // namespace platform
