#include "tools/razavori/job_progress.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace razavori_cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void on_interrupt(int) { g_interrupted.store(true); }

}  // namespace

void catch_interrupt() {
  struct sigaction sa = {};
  sa.sa_handler = on_interrupt;
  // Reads and writes in flight go on; the job looks at the flag between steps.
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool interrupted() { return g_interrupted.load(); }

ProgressLine::ProgressLine() : tty_(isatty(STDERR_FILENO) != 0) {}

void ProgressLine::show(double seconds, int percent) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (tty_) {
    if (percent == last_) return;
    std::fprintf(stderr, "\r%8.1f s %3d%%", seconds, percent);
  } else {
    if (percent / 10 == last_ / 10 && last_ >= 0) return;
    std::fprintf(stderr, "%8.1f s %3d%%\n", seconds, percent);
  }
  last_ = percent;
  std::fflush(stderr);
}

void ProgressLine::finish() {
  if (tty_ && last_ >= 0) std::fputc('\n', stderr);
  last_ = -1;
}

}  // namespace razavori_cli
