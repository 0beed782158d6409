#include "tools/fennick/engine/row_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tools/common/output_name.h"

namespace fennick {

namespace {

bool same_file(const std::string &a, const std::string &b) {
  if (tools_common::same_name(a, b)) return true;
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string folder_of(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string refuse_reason(const std::vector<JobRow> &rows, size_t index, bool overwrite) {
  const JobRow &row = rows[index];
  if (row.input.empty() || row.output.empty()) return "the row has no input or no output path";
  if (same_file(row.output, row.input)) return "the output " + row.output + " is the input itself";
  for (size_t i = 0; i < index; ++i) {
    if (same_file(row.output, rows[i].output))
      return "the output " + row.output + " is also row " + std::to_string(i + 1) + "'s output";
    if (same_file(row.output, rows[i].input))
      return "the output " + row.output + " is row " + std::to_string(i + 1) + "'s input";
  }
  const std::string folder = folder_of(row.output);
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return "the output folder " + folder + " does not exist";
  if (access(folder.c_str(), W_OK | X_OK) != 0) return "the output folder " + folder + " is not writable";
  if (stat(row.output.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return "the output " + row.output + " is a folder";
    if (!overwrite) return "the output " + row.output + " exists (kept; --overwrite replaces it)";
  }
  return {};
}

}  // namespace fennick
