// fennick_gui_bench [RUNS]: converts the sample to Video CD with
// `fennick convert --vcd` and with the offscreen window (the same run, the
// preview on), alternating whole processes, and prints the medians of wall
// and CPU time and the window / command-line ratios (target <= 1.05).
// fennick_gui_bench --window IN OUTDIR: the window's side of one run.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "tools/common/gui/language_loader.h"
#include "tools/common/gui/prompts.h"
#include "tools/fennick/gui/fennick_window.h"
#include "video/video_api.h"

namespace {

class NoPrompts : public tools_gui::DesktopPrompts {
 public:
  bool power_off() override { return false; }
};

int window_run(int argc, char **argv, const char *input, const char *out_dir) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::profile_write_string("FENNICK", "OUTPUT", out_dir, "RAZAVORI.INI");
  QApplication app(argc, argv);
  tools_gui::LanguageLoader languages(QStringLiteral("Tovik"));
  NoPrompts prompts;
  int code = 1;
  {
    fennick_gui::FennickWindow window(&prompts, &languages);
    window.show();
    if (window.add_files({QString::fromLocal8Bit(input)}) != 1) return 2;
    window.vcd_box()->setChecked(true);
    QEventLoop loop;
    QObject::connect(&window, &fennick_gui::FennickWindow::run_finished, &loop, &QEventLoop::quit);
    if (!window.start_output()) return 2;
    loop.exec();
    code = 0;
  }
  VideoShutdown();
  return code;
}

struct Sample {
  double wall = 0, cpu = 0;
};

Sample time_process(const std::vector<std::string> &args) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char *> argv;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage use{};
  wait4(pid, &status, 0, &use);
  Sample s;
  s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  s.cpu = use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "fennick_gui_bench: %s failed\n", args[0].c_str());
    std::exit(1);
  }
  return s;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && std::string(argv[1]) == "--window") return window_run(argc, argv, argv[2], argv[3]);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const auto dir = std::filesystem::temp_directory_path() / ("fennick-gui-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "cli");
  std::filesystem::create_directories(dir / "gui");
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();
  const std::string fennick = std::string(BENCH_BIN_DIR) + "/fennick";
  std::vector<double> cli_wall, cli_cpu, gui_wall, gui_cpu;
  for (int i = 0; i < runs; ++i) {
    const Sample c = time_process(
        {fennick, "convert", BENCH_SAMPLE, "--vcd", "--out", (dir / "cli").string(), "--overwrite"});
    const Sample g = time_process({self, "--window", BENCH_SAMPLE, (dir / "gui").string() + "/"});
    cli_wall.push_back(c.wall), cli_cpu.push_back(c.cpu), gui_wall.push_back(g.wall),
        gui_cpu.push_back(g.cpu);
  }
  std::filesystem::remove_all(dir);
  const double cw = median(cli_wall), cc = median(cli_cpu), gw = median(gui_wall), gc = median(gui_cpu);
  std::printf("dvd_sample.vob to Video CD, %d runs each, medians\n", runs);
  std::printf("  fennick convert --vcd   wall %.3f s  cpu %.3f s\n", cw, cc);
  std::printf("  offscreen window        wall %.3f s  cpu %.3f s\n", gw, gc);
  std::printf("  window / command line   wall %.3f  cpu %.3f  (target <= 1.05)\n", cw > 0 ? gw / cw : 0,
              cc > 0 ? gc / cc : 0);
  return 0;
}
