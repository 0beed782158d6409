#include "tools/fennick/engine/temp_folder.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fennick {

TempFolder::TempFolder(const std::string &parent) {
  std::string base = parent;
  if (base.empty()) {
    const char *env = std::getenv("TMPDIR");
    base = env && *env ? env : "/tmp";
  }
  std::string pattern = base + "/fennick.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data())) {
    path_ = buf.data();
  } else {
    error_ = "cannot make a temporary folder in " + base + ": " + std::strerror(errno);
  }
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  empty();
  rmdir(path_.c_str());
}

void TempFolder::empty() const {
  if (path_.empty()) return;
  DIR *dir = opendir(path_.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent *entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, ".."))
      names.emplace_back(entry->d_name);
  }
  closedir(dir);
  for (const auto &n : names) unlink((path_ + "/" + n).c_str());
}

}  // namespace fennick
