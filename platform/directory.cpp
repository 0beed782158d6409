#include "platform/directory.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace platform {

namespace {

char fold(char c, bool case_insensitive) {
  return case_insensitive && c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool is_folder(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string join(const std::string &folder, const std::string &name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Calls f(name) for every entry of folder except "." and "..".
template <typename F>
void for_each_entry(const std::string &folder, F f) {
  DIR *d = opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return;
  while (dirent *e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    f(name);
  }
  closedir(d);
}

}  // namespace

bool wildcard_match(const std::string &pattern, const std::string &name, bool case_insensitive) {
  // Iterative match with one back-track point: the last '*' seen. Linear in
  // practice and never recursive, so hostile patterns cannot blow the stack.
  size_t p = 0, n = 0;
  size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || fold(pattern[p], case_insensitive) == fold(name[n], case_insensitive))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<DirEntry> find_files(const std::string &folder, const std::string &pattern,
                                 bool case_insensitive) {
  // Windows programs ask for "*.*" meaning "everything", names without a
  // dot included.
  const std::string pat = pattern == "*.*" ? std::string("*") : pattern;
  std::vector<DirEntry> out;
  for_each_entry(folder, [&](const std::string &name) {
    if (!wildcard_match(pat, name, case_insensitive)) return;
    DirEntry e;
    e.name = name;
    struct stat st;
    if (::stat(join(folder, name).c_str(), &st) == 0) {
      e.is_directory = S_ISDIR(st.st_mode);
      e.size = e.is_directory ? 0 : int64_t(st.st_size);
    }
    out.push_back(std::move(e));
  });
  std::sort(out.begin(), out.end(), [](const DirEntry &a, const DirEntry &b) { return a.name < b.name; });
  return out;
}

std::string find_file_nocase(const std::string &folder, const std::string &name) {
  if (name.empty()) return "";
  std::string path = folder;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t slash = name.find('/', pos);
    if (slash == std::string::npos) slash = name.size();
    std::string part = name.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty() || part == ".") continue;
    std::string exact = join(path, part);
    struct stat st;
    if (part == ".." || ::lstat(exact.c_str(), &st) == 0) {
      path = exact;
      continue;
    }
    // Several spellings may exist on a case-sensitive file system; take the
    // first in name order so the answer does not depend on directory order.
    std::string best;
    for_each_entry(path, [&](const std::string &entry) {
      if (strcasecmp(entry.c_str(), part.c_str()) == 0 && (best.empty() || entry < best)) best = entry;
    });
    if (best.empty()) return "";
    path = join(path, best);
  }
  return path == folder ? std::string() : path;
}

int64_t free_space(const std::string &path) {
  struct statvfs s;
  if (statvfs(path.empty() ? "." : path.c_str(), &s) != 0) return -1;
  return int64_t(s.f_bavail) * int64_t(s.f_frsize);
}

std::string temp_folder() {
  const char *env = std::getenv("TMPDIR");
  std::string folder = env && *env && is_folder(env) ? env : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string executable_folder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, size_t(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace platform
