// fennick: converts MPEG and DVD material to MPEG-1 system streams. One
// executable with two faces: "fennick convert ..." (and --help/--version)
// runs headless; anything else opens the window.
#include <cstdio>
#include <cstring>

#include "tools/fennick/cli/convert_command.h"
#include "tools/fennick/cli/options.h"
#include "video/video_api.h"
#ifdef FENNICK_WINDOW
#include "tools/fennick/gui/window_main.h"
#endif

namespace {

const char kWindowUsage[] =
    "usage: fennick [FILE...]\n"
    "  opens the converter's window listing FILEs (needs a display)\n\n";

int run_window(int argc, char **argv) {
#ifdef FENNICK_WINDOW
  return fennick_gui::run_window(argc, argv);
#else
  (void)argc;
  (void)argv;
  std::fputs(fennick_cli::convert_usage(), stderr);
  return 2;
#endif
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "--version")) {
    std::printf("fennick %s\n", FENNICK_VERSION);
    return 0;
  }
  if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(kWindowUsage, stdout);
    std::fputs(fennick_cli::convert_usage(), stdout);
    return 0;
  }
  if (argc >= 2 && !std::strcmp(argv[1], "convert")) {
    const int code = fennick_cli::run_convert(argc - 2, argv + 2);
    VideoShutdown();
    return code;
  }
  return run_window(argc, argv);
}
