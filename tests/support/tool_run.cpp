#include "tests/support/tool_run.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace testing_support {

ToolRun run_tool(const std::string &command) {
  ToolRun r;
  FILE *p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string command_output(const std::string &command) { return run_tool(command).out; }

std::string razavori_path() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/bin/razavori";
}

ToolRun run_razavori(const std::string &args, bool with_errors) {
  return run_tool(razavori_path() + " " + args + (with_errors ? " 2>&1" : ""));
}

std::vector<uint8_t> file_bytes(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

bool tool_available(const char *tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace testing_support
