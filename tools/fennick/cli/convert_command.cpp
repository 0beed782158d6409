#include "tools/fennick/cli/convert_command.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tools/common/output_name.h"
#include "tools/common/program_settings.h"
#include "tools/fennick/cli/options.h"
#include "tools/fennick/cli/progress_printer.h"
#include "tools/fennick/engine/job_engine.h"

namespace fennick_cli {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;
constexpr const char *kSection = "FENNICK";

// The window's picture settings, read through the same bounded reader.
fennick::JobSettings settings_from_file() {
  const tools_common::ProgramSettings ini(kSection);
  fennick::JobSettings s;
  s.processing = static_cast<fennick::VideoProcessing>(
      ini.get_int("VDOPROCESS", static_cast<int32_t>(fennick::VideoProcessing::kHigh),
                  static_cast<int32_t>(fennick::VideoProcessing::kFast),
                  static_cast<int32_t>(fennick::VideoProcessing::kHigh)));
  s.smooth_zoom = ini.get_flag("SMOOTHZOOM", true);
  return s;
}

// Ctrl-C (and SIGTERM) are taken by one thread that raises the engine's stop
// counter; every other thread has them blocked.
class InterruptWatch {
 public:
  explicit InterruptWatch(fennick::JobEngine *engine) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, engine] {
      for (;;) {
        int sig = 0;
        if (sigwait(&set_, &sig) != 0 || sig == SIGUSR1) return;
        interrupted_ = true;
        engine->StopJobs();
      }
    });
  }
  ~InterruptWatch() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }
  bool interrupted() const { return interrupted_; }

 private:
  sigset_t set_{};
  std::thread thread_;
  std::atomic<bool> interrupted_{false};
};

}  // namespace

int run_convert(int argc, char **argv) {
  ConvertOptions options;
  const std::string error = parse_convert(argc, argv, settings_from_file(), &options);
  if (!error.empty()) {
    std::fprintf(stderr, "fennick convert: %s\n%s", error.c_str(), convert_usage());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(convert_usage(), stdout);
    return kExitDone;
  }
  // A converter needs no sound device: the engine's output goes to the
  // untimed stand-in instead of probing one.
  setenv("LUNARET_AUDIO_OUTPUT", "null-untimed", 0);
  std::vector<fennick::JobRow> rows;
  std::vector<std::string> taken;
  for (const auto &in : options.inputs) {
    fennick::JobRow row;
    row.input = in;
    row.output = tools_common::unique_output_path(
        tools_common::output_path(in, options.out_dir.empty() ? "." : options.out_dir, "MPG"), taken);
    row.streams = options.streams;
    taken.push_back(row.output);
    rows.push_back(std::move(row));
  }
  ProgressPrinter printer(stderr);
  fennick::JobEngine engine(&printer);
  fennick::RunSummary summary;
  {
    InterruptWatch watch(&engine);
    engine.RunJobs(options.settings, rows, &summary);
  }
  if (summary.stopped) return kExitStopped;
  return summary.failed > 0 ? kExitFailed : kExitDone;
}

}  // namespace fennick_cli
