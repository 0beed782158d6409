#include "tests/tools/fennick/fennick_run.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>

#include "tests/support/test_media.h"

namespace fennick_test {

namespace {

// Conversions and their decoded references add up: a run that passed
// leaves no scratch behind.
class DropScratchWhenPassed : public ::testing::Environment {
 public:
  void TearDown() override {
    if (::testing::UnitTest::GetInstance()->Passed())
      std::filesystem::remove_all(testing_support::scratch_dir());
  }
};

[[maybe_unused]] ::testing::Environment *const kDropScratch =
    ::testing::AddGlobalTestEnvironment(new DropScratchWhenPassed);

}  // namespace

using encoder_test::run_tool;
using encoder_test::shell_quoted;

std::string fennick_binary() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/bin/fennick";
}

encoder_test::ToolRun fennick(const std::string &args, const std::string &tmpdir) {
  std::string cmd = "timeout -s KILL 300 env";
  if (!tmpdir.empty()) cmd += " TMPDIR=" + shell_quoted(tmpdir);
  return run_tool(cmd + " " + shell_quoted(fennick_binary()) + " " + args, true);
}

std::vector<std::string> folder_files(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (const dirent *e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
    closedir(d);
  }
  return names;
}

std::string fresh_folder(const std::string &name) {
  const std::string dir = testing_support::scratch_dir() + "/" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

Onsets onsets(const std::string &path) {
  const auto r = run_tool("ffmpeg -hide_banner -nostdin -i " + shell_quoted(path) +
                              " -vf signalstats,metadata=print:key=lavfi.signalstats.YAVG"
                              " -af silencedetect=n=-30dB:d=0.02 -f null -",
                          true);
  Onsets o;
  std::istringstream lines(r.out);
  std::string line;
  double t = 0;
  bool bright = false;
  const std::regex pts(R"(pts_time:([0-9.]+))"), yavg(R"(YAVG=([0-9.]+))"), end(R"(silence_end: ([0-9.]+))");
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_search(line, m, pts)) t = std::stod(m[1]);
    if (std::regex_search(line, m, yavg)) {
      const bool now = std::stod(m[1]) > 128;
      if (now && !bright) o.flashes.push_back(t);
      bright = now;
    }
    if (std::regex_search(line, m, end)) o.beeps.push_back(std::stod(m[1]));
  }
  return o;
}

namespace {
double frames_of(const std::string &path, const char *type) {
  for (const auto &f : encoder_test::probe_streams(path))
    if (f.count("codec_type") && f.at("codec_type") == type) return std::atof(f.at("nb_read_frames").c_str());
  return -1;
}
}  // namespace

double video_seconds(const std::string &path, double fps) {
  const double n = frames_of(path, "video");
  return n < 0 ? -1 : n / fps;
}

double audio_seconds(const std::string &path) {
  const double n = frames_of(path, "audio");
  return n < 0 ? -1 : n * 1152 / 44100;
}

}  // namespace fennick_test
