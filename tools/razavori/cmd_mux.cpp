// razavori mux: joins a video and an audio elementary stream into one MPEG
// system stream through Weavix, with a progress line; Ctrl-C cancels.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "components/weavix/weavix.h"
#include "tools/razavori/command.h"
#include "tools/razavori/component_library.h"

namespace razavori_cli {

namespace {

volatile sig_atomic_t g_interrupted = 0;
void on_interrupt(int) { g_interrupted = 1; }

void usage() {
  std::fprintf(stderr,
               "usage: razavori mux VIDEO AUDIO OUT\n"
               "  VIDEO, AUDIO  elementary streams, recognised by their content; \"-\" or \"\" for none\n"
               "  OUT           the MPEG system stream (Video CD form for Video CD streams)\n");
}

// The multiplexer's exports, taken from its library when the command runs.
struct Weavix {
  ComponentLibrary lib;
  decltype(&WeavixMultiplex) multiplex = nullptr;
  decltype(&WeavixCancel) cancel = nullptr;
  decltype(&WeavixProgress) progress = nullptr;

  bool load() {
    return lib.open("mux", "libweavix.so") && lib.take("WeavixMultiplex", multiplex) &&
           lib.take("WeavixCancel", cancel) && lib.take("WeavixProgress", progress);
  }
};

const char *input_or_null(const char *path) { return (!*path || !std::strcmp(path, "-")) ? nullptr : path; }

}  // namespace

int run_mux(int argc, char **argv) {
  if (argc != 4) {
    usage();
    return 2;
  }
  const char *video = input_or_null(argv[1]), *audio = input_or_null(argv[2]), *out = argv[3];
  if (!video && !audio) {
    std::fprintf(stderr, "razavori mux: no input stream given\n");
    return 2;
  }
  Weavix weavix;
  if (!weavix.load()) return 1;
  struct sigaction sa = {};
  sa.sa_handler = on_interrupt;
  sigaction(SIGINT, &sa, nullptr);

  std::mutex lock;
  std::condition_variable changed;
  bool done = false;
  int32_t result = 0;
  std::thread worker([&] {
    const int32_t r = weavix.multiplex(video, audio, out);
    std::lock_guard<std::mutex> hold(lock);
    result = r;
    done = true;
    changed.notify_all();
  });
  const bool terminal = isatty(STDERR_FILENO);
  int shown = -1;
  bool cancelled = false;
  {
    std::unique_lock<std::mutex> hold(lock);
    while (!done) {
      // The progress line follows the multiplex at a reader's pace.
      changed.wait_for(hold, std::chrono::milliseconds(200));
      if (g_interrupted && !cancelled) {
        weavix.cancel();
        cancelled = true;
      }
      const int pct = weavix.progress();
      if (!done && pct != shown && (terminal || pct / 10 != shown / 10)) {
        std::fprintf(stderr, terminal ? "\rmultiplexing %s: %3d%%" : "multiplexing %s: %d%%\n", out, pct);
        shown = pct;
      }
    }
  }
  worker.join();
  if (result) {
    std::fprintf(stderr, terminal ? "\rmultiplexing %s: 100%%\n" : "multiplexing %s: 100%%\n", out);
    return 0;
  }
  if (terminal && shown >= 0) std::fputc('\n', stderr);
  if (g_interrupted) {
    std::fprintf(stderr, "razavori mux: stopped; %s not written\n", out);
    return 130;
  }
  std::fprintf(stderr,
               "razavori mux: failed: the inputs are not MPEG video and audio, or %s could not be written\n",
               out);
  return 1;
}

}  // namespace razavori_cli
