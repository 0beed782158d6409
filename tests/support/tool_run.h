// Running commands and reading files whole, for tests that check a program
// or compare against an oracle tool's output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct ToolRun {
  int status = -1;  // exit status; -1 when it did not start or exit normally
  std::string out;
};

/// Runs a shell command; -> its status and what it printed (add "2>&1" to
/// the command for its errors too). A missing program gives status 127.
ToolRun run_tool(const std::string &command);
/// Runs a shell command; -> only what it printed.
std::string command_output(const std::string &command);
/// Whether `tool` is on the PATH.
bool tool_available(const char *tool);
/// The suite's own razavori: RAZAVORI_BINARY_DIR/bin/razavori.
std::string razavori_path();
/// The suite's own razavori with `args`; its
/// errors join the output unless `with_errors` is false.
ToolRun run_razavori(const std::string &args, bool with_errors = true);
/// The whole file; empty when it cannot be read.
std::vector<uint8_t> file_bytes(const std::string &path);

}  // namespace testing_support
