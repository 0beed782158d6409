#include "platform/ini.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/directory.h"
#include "platform/file.h"

namespace platform {

namespace {

// One lock for every profile call: a read never sees a half-applied write
// from another thread, and two writers do not lose each other's change.
std::mutex &profile_mutex() {
  static std::mutex m;
  return m;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b])) ++b;
  while (e > b && is_blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string trim_right(const char *s) {
  std::string r = s ? s : "";
  while (!r.empty() && is_blank(r.back())) r.pop_back();
  return r;
}

bool same_name(const std::string &a, const char *b) { return strcasecmp(a.c_str(), b) == 0; }

// A file as lines (without their ends). What a line means is worked out
// when it is looked at, so every line, understood or not, is written back
// as it was read.
struct IniText {
  std::vector<std::string> lines;
  std::string eol = "\n";  // kept from the file: Windows-made files use CR LF
  bool exists = false;
};

enum class LineKind { other, section, key };

struct Line {
  LineKind kind = LineKind::other;
  std::string name;   // section or key name, trimmed
  std::string value;  // key value, trimmed
};

Line classify(const std::string &raw, bool first_line) {
  std::string s = raw;
  if (first_line && s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);  // UTF-8 mark
  s = trim(s);
  Line l;
  if (s.empty() || s[0] == ';' || s[0] == '#') return l;
  if (s[0] == '[') {
    size_t close = s.find(']');
    l.kind = LineKind::section;
    l.name = trim(s.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return l;
  }
  size_t eq = s.find('=');
  if (eq == std::string::npos) return l;
  l.kind = LineKind::key;
  l.name = trim(s.substr(0, eq));
  l.value = trim(s.substr(eq + 1));
  return l;
}

IniText load(const std::string &path) {
  IniText t;
  int fd = file_open(path.c_str());
  if (fd < 0) return t;
  t.exists = true;
  std::string data;
  char buf[16384];
  for (;;) {
    int32_t n = file_read(fd, buf, sizeof buf);
    if (n <= 0) break;
    data.append(buf, size_t(n));
  }
  file_close(fd);
  size_t first_nl = data.find('\n');
  if (first_nl != std::string::npos && first_nl > 0 && data[first_nl - 1] == '\r') t.eol = "\r\n";
  size_t pos = 0;
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    size_t end = nl == std::string::npos ? data.size() : nl;
    std::string line = data.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    t.lines.push_back(std::move(line));
    pos = end + 1;
  }
  return t;
}

// Writes next to the target and renames over it: readers see the old file
// or the new one, never a mix.
bool save(const std::string &path, const IniText &t) {
  std::string data;
  for (const auto &l : t.lines) data += l + t.eol;
  std::string tmp = path + ".tmp" + std::to_string(getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  bool ok = file_write(fd, data.data(), int32_t(data.size())) == int32_t(data.size());
  ok = fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

// Line range [begin, end) of the first section named name, begin being its
// header; begin == npos when there is none.
struct Range {
  size_t begin = std::string::npos;
  size_t end = 0;
};

Range find_section(const IniText &t, const char *name, size_t from = 0) {
  Range r;
  for (size_t i = from; i < t.lines.size(); ++i) {
    Line l = classify(t.lines[i], i == 0);
    if (l.kind != LineKind::section) continue;
    if (r.begin != std::string::npos) {
      r.end = i;
      return r;
    }
    if (same_name(l.name, name)) r.begin = i;
  }
  if (r.begin != std::string::npos) r.end = t.lines.size();
  return r;
}

// Index of the first line holding key inside r, or npos.
size_t find_key(const IniText &t, Range r, const char *key) {
  for (size_t i = r.begin + 1; i < r.end; ++i) {
    Line l = classify(t.lines[i], false);
    if (l.kind == LineKind::key && same_name(l.name, key)) return i;
  }
  return std::string::npos;
}

bool lookup(const std::string &path, const char *section, const char *key, std::string &value) {
  if (!section || !key) return false;
  IniText t = load(path);
  Range r = find_section(t, section);
  if (r.begin == std::string::npos) return false;
  size_t i = find_key(t, r, key);
  if (i == std::string::npos) return false;
  value = classify(t.lines[i], false).value;
  // One pair of matching quotes around the whole value is removed.
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return true;
}

// Parses the leading decimal integer as Windows does: blanks, an optional
// sign, then digits up to the first non-digit; 32-bit arithmetic wraps.
int32_t leading_int(const std::string &s) {
  size_t i = 0;
  while (i < s.size() && is_blank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  uint32_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') v = v * 10u + uint32_t(s[i++] - '0');
  return int32_t(negative ? 0u - v : v);
}

}  // namespace

std::string settings_folder() {
  std::string folder;
  const char *home = std::getenv("RAZAVORI_HOME");
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  const char *user_home = std::getenv("HOME");
  if (home && *home) {
    folder = home;
  } else if (xdg && *xdg) {
    folder = std::string(xdg) + "/razavori";
  } else {
    folder = std::string(user_home && *user_home ? user_home : "/tmp") + "/.config/razavori";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Create each missing level; a failure shows later as a failed write.
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string level = folder.substr(0, slash);
    if (::mkdir(level.c_str(), 0755) != 0 && errno != EEXIST) break;
    if (slash == std::string::npos) break;
  }
  return folder;
}

std::string profile_path(const char *file) {
  if (!file || !*file) return "";
  if (std::strchr(file, '/')) return file;
  std::string folder = settings_folder();
  std::string existing = find_file_nocase(folder, file);
  return existing.empty() ? folder + "/" + file : existing;
}

std::string profile_get_string(const char *section, const char *key, const char *def, const char *file) {
  std::lock_guard<std::mutex> g(profile_mutex());
  std::string value;
  std::string path = profile_path(file);
  if (!path.empty() && lookup(path, section, key, value)) return value;
  return trim_right(def);
}

int32_t profile_get_int(const char *section, const char *key, int32_t def, const char *file) {
  std::lock_guard<std::mutex> g(profile_mutex());
  std::string value;
  std::string path = profile_path(file);
  if (path.empty() || !lookup(path, section, key, value) || value.empty()) return def;
  return leading_int(value);
}

// A name or value that would change the file's structure when written
// (a line break, a key holding '=', a section name holding ']') is refused
// rather than written as something the reader would take differently.
static bool writable(const char *s, const char *forbidden) {
  return !s || std::strpbrk(s, forbidden) == nullptr;
}

bool profile_write_string(const char *section, const char *key, const char *value, const char *file) {
  if (!section) return false;
  if (!writable(section, "]\r\n") || !writable(key, "=\r\n") || !writable(value, "\r\n")) return false;
  std::lock_guard<std::mutex> g(profile_mutex());
  std::string path = profile_path(file);
  if (path.empty()) return false;
  IniText t = load(path);
  Range r = find_section(t, section);

  if (!key) {
    // Every section of that name goes, with its header and all its lines.
    if (r.begin == std::string::npos) return true;
    while (r.begin != std::string::npos) {
      t.lines.erase(t.lines.begin() + long(r.begin), t.lines.begin() + long(r.end));
      r = find_section(t, section, r.begin);
    }
    return save(path, t);
  }

  size_t at = r.begin == std::string::npos ? std::string::npos : find_key(t, r, key);
  if (!value) {
    if (at == std::string::npos) return true;
    t.lines.erase(t.lines.begin() + long(at));
    return save(path, t);
  }

  if (at != std::string::npos) {
    // Keep the key as the file spells it; only the value changes.
    std::string name = classify(t.lines[at], at == 0).name;
    t.lines[at] = name + "=" + value;
  } else if (r.begin != std::string::npos) {
    // After the section's last non-blank line, so a blank line that
    // separates it from the next section stays where it is.
    size_t insert = r.end;
    while (insert > r.begin + 1 && trim(t.lines[insert - 1]).empty()) --insert;
    t.lines.insert(t.lines.begin() + long(insert), std::string(key) + "=" + value);
  } else {
    if (!t.lines.empty() && !trim(t.lines.back()).empty()) t.lines.emplace_back();
    t.lines.push_back("[" + std::string(section) + "]");
    t.lines.push_back(std::string(key) + "=" + value);
  }
  return save(path, t);
}

std::vector<std::string> profile_get_keys(const char *section, const char *file) {
  std::vector<std::string> keys;
  if (!section) return keys;
  std::lock_guard<std::mutex> g(profile_mutex());
  std::string path = profile_path(file);
  if (path.empty()) return keys;
  IniText t = load(path);
  Range r = find_section(t, section);
  if (r.begin == std::string::npos) return keys;
  for (size_t i = r.begin + 1; i < r.end; ++i) {
    Line l = classify(t.lines[i], false);
    if (l.kind != LineKind::key) continue;
    bool seen = false;
    for (const auto &k : keys) seen = seen || same_name(k, l.name.c_str());
    if (!seen) keys.push_back(l.name);
  }
  return keys;
}

std::vector<std::string> profile_get_sections(const char *file) {
  std::vector<std::string> sections;
  std::lock_guard<std::mutex> g(profile_mutex());
  std::string path = profile_path(file);
  if (path.empty()) return sections;
  IniText t = load(path);
  for (size_t i = 0; i < t.lines.size(); ++i) {
    Line l = classify(t.lines[i], i == 0);
    if (l.kind != LineKind::section) continue;
    bool seen = false;
    for (const auto &s : sections) seen = seen || same_name(s, l.name.c_str());
    if (!seen) sections.push_back(l.name);
  }
  return sections;
}

}  // namespace platform
