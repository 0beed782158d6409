// One subcommand of the razavori tool.
#pragma once

namespace razavori_cli {

struct Command {
  const char *name;                   // as typed after "razavori"
  const char *usage;                  // arguments, for --help
  const char *summary;                // one line, for --help
  int (*run)(int argc, char **argv);  // argv[0] is the subcommand name
};

}  // namespace razavori_cli
