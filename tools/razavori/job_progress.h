// What the subcommands that write files share: Ctrl-C ends the job at the
// next step instead of killing the process, and a progress line on stderr
// (rewritten in place on a terminal, a line per tenth otherwise).
#pragma once

#include <string>

namespace razavori_cli {

/// Installs the Ctrl-C handler for the rest of the process.
void catch_interrupt();
/// True once Ctrl-C was pressed.
bool interrupted();

class ProgressLine {
 public:
  ProgressLine();
  /// seconds of material passed and percent of the source read.
  void show(double seconds, int percent);
  /// Ends the line (on a terminal).
  void finish();

 private:
  bool tty_;
  int last_ = -1;
};

/// The name a file is written under until the job has succeeded.
inline std::string part_name(const std::string &path) { return path + ".part"; }

}  // namespace razavori_cli
