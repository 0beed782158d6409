// fennick convert's arguments: the rows and the settings snapshot they
// describe.
#pragma once

#include <string>
#include <vector>

#include "tools/fennick/engine/job_types.h"

namespace fennick_cli {

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string out_dir;  ///< empty = the current folder
  fennick::JobSettings settings;
  fennick::StreamChoice streams;
  bool help = false;
};

/// Parses argv after "convert". Empty result = fine; otherwise the usage
/// error to print. Settings not given come from `defaults`.
std::string parse_convert(int argc, char **argv, const fennick::JobSettings &defaults, ConvertOptions *out);

/// The usage text.
const char *convert_usage();

}  // namespace fennick_cli
