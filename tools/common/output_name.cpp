#include "tools/common/output_name.h"

#include <strings.h>

namespace tools_common {

namespace {

size_t name_start(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

}  // namespace

std::string output_path(std::string_view input, std::string_view folder, std::string_view extension) {
  const size_t start = name_start(input);
  std::string_view name = input.substr(start);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  std::string out;
  if (folder.empty()) {
    out = start ? std::string(input.substr(0, start)) : std::string("./");
  } else {
    out = std::string(folder);
    if (out.back() != '/') out += '/';
  }
  out += name;
  out += '.';
  out += extension;
  return out;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string unique_output_path(const std::string &path, const std::vector<std::string> &taken) {
  auto clashes = [&](const std::string &p) {
    for (const auto &t : taken)
      if (same_name(p, t)) return true;
    return false;
  };
  if (!clashes(path)) return path;
  const size_t start = name_start(path);
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) dot = path.size();
  for (int n = 2;; ++n) {
    std::string candidate = path.substr(0, dot) + "_" + std::to_string(n) + path.substr(dot);
    if (!clashes(candidate)) return candidate;
  }
}

}  // namespace tools_common
