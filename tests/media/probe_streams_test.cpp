// Every generated test stream is classified as ffprobe describes it: a
// system stream when it carries video and audio, video only, audio only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/support/test_media.h"

namespace {

namespace fs = std::filesystem;

// ffprobe on a file, started now and read later, so that several run at once.
class Ffprobe {
 public:
  explicit Ffprobe(const std::string &path) {
    std::string cmd =
        "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + path + "' 2>/dev/null";
    pipe_ = popen(cmd.c_str(), "r");
  }
  Ffprobe(const Ffprobe &) = delete;
  Ffprobe &operator=(const Ffprobe &) = delete;
  ~Ffprobe() {
    if (pipe_) pclose(pipe_);
  }
  // Stream kinds found: -1 when ffprobe cannot read the file.
  SourceKind kind() {
    if (!pipe_) return SOURCE_KIND_CANNOT_OPEN;
    bool video = false, audio = false;
    char line[256];
    while (std::fgets(line, sizeof line, pipe_)) {
      std::string l(line);
      if (l.rfind("video", 0) == 0) video = true;
      if (l.rfind("audio", 0) == 0) audio = true;
    }
    const int status = pclose(pipe_);
    pipe_ = nullptr;
    if (status != 0) return SOURCE_KIND_CANNOT_OPEN;
    if (video && audio) return SOURCE_KIND_SYSTEM;
    if (video) return SOURCE_KIND_VIDEO;
    if (audio) return SOURCE_KIND_AUDIO;
    return SOURCE_KIND_NOTHING;
  }

 private:
  FILE *pipe_ = nullptr;
};

void check(const std::string &path, SourceKind expected) {
  int32_t length = -1;
  SysReset();
  EXPECT_EQ(SysProbe(path.c_str(), &length), expected) << path;
  EXPECT_EQ(length, int32_t(fs::file_size(path))) << path;
  if (expected == SOURCE_KIND_AUDIO) {
    const intptr_t word = SysControl(CTL_AUDIO_HEADER, 0);
    const bool ac3 = fs::path(path).extension() == ".ac3";
    if (ac3) {
      EXPECT_EQ(word, 0x0B77) << path;
    } else {
      EXPECT_EQ(word & 0xFFF0, 0xFFF0) << path << " header " << word;
    }
  }
}

TEST(ProbeStreams, ClassifiesEveryGeneratedStreamAsFfprobeDoes) {
  // Without the oracle or the streams nothing would be checked.
  ASSERT_EQ(std::system("ffprobe -version >/dev/null 2>&1"), 0) << "ffprobe is missing";
  const fs::path dir = testing_support::media_dir();
  ASSERT_TRUE(fs::is_directory(dir)) << "no generated streams in " << dir;
  const std::set<std::string> kinds = {".mpg", ".vob", ".ts",  ".m1v", ".m2v",
                                       ".mp2", ".mp3", ".ac3", ".wav", ".es"};
  std::vector<std::string> paths;
  for (const auto &entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && kinds.count(entry.path().extension().string()))
      paths.push_back(entry.path().string());
  }
  ASSERT_FALSE(paths.empty()) << "no generated streams in " << dir;
  std::sort(paths.begin(), paths.end());
  constexpr size_t kAtOnce = 8;
  for (size_t first = 0; first < paths.size(); first += kAtOnce) {
    std::vector<std::unique_ptr<Ffprobe>> running;
    const size_t last = std::min(paths.size(), first + kAtOnce);
    for (size_t i = first; i < last; ++i) running.push_back(std::make_unique<Ffprobe>(paths[i]));
    for (size_t i = first; i < last; ++i) {
      // Every generated stream is one ffprobe reads.
      const SourceKind expected = running[i - first]->kind();
      EXPECT_NE(expected, SOURCE_KIND_CANNOT_OPEN) << "ffprobe cannot read " << paths[i];
      if (expected != SOURCE_KIND_CANNOT_OPEN) check(paths[i], expected);
    }
  }
}

}  // namespace
