// Running the oracle tools (and our own programs) from tests.
#pragma once

#include <string>

namespace testing_support {

/// Everything `command` (run by the shell) writes to its standard output.
std::string command_output(const std::string &command);
/// Whether `tool` is on the PATH.
bool tool_available(const char *tool);

}  // namespace testing_support
