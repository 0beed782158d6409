// The window face of the fennick program.
#pragma once

namespace fennick_gui {

/// True when a display (or an explicit Qt platform) is available.
bool display_available();
/// Opens the window listing the files of argv[1..]; returns the exit code.
/// Without a display prints a hint and returns 2.
int run_window(int argc, char **argv);

}  // namespace fennick_gui
