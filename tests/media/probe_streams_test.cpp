// Every generated test stream is classified as ffprobe describes it: a
// system stream when it carries video and audio, video only, audio only.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "media/media_api.h"
#include "tests/support/test_media.h"

namespace {

namespace fs = std::filesystem;

// Stream kinds ffprobe finds in path: -1 when it cannot tell.
SourceKind ffprobe_kind(const std::string &path) {
  std::string cmd = "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + path + "' 2>/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return SOURCE_KIND_CANNOT_OPEN;
  bool video = false, audio = false;
  char line[256];
  while (std::fgets(line, sizeof line, p)) {
    std::string l(line);
    if (l.rfind("video", 0) == 0) video = true;
    if (l.rfind("audio", 0) == 0) audio = true;
  }
  if (pclose(p) != 0) return SOURCE_KIND_CANNOT_OPEN;
  if (video && audio) return SOURCE_KIND_SYSTEM;
  if (video) return SOURCE_KIND_VIDEO;
  if (audio) return SOURCE_KIND_AUDIO;
  return SOURCE_KIND_NOTHING;
}

TEST(ProbeStreams, ClassifiesEveryGeneratedStreamAsFfprobeDoes) {
  const fs::path dir = testing_support::media_dir();
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no generated streams in " << dir;
  const std::set<std::string> kinds = {".mpg", ".vob", ".ts", ".m1v", ".m2v", ".mp2", ".mp3", ".ac3", ".wav", ".es"};
  int checked = 0;
  for (const auto &entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file() || !kinds.count(entry.path().extension().string())) continue;
    const std::string path = entry.path().string();
    const SourceKind expected = ffprobe_kind(path);
    if (expected == SOURCE_KIND_CANNOT_OPEN) continue;  // ffprobe itself cannot read it
    int32_t length = -1;
    SysReset();
    EXPECT_EQ(SysProbe(path.c_str(), &length), expected) << path;
    EXPECT_EQ(length, int32_t(fs::file_size(entry.path()))) << path;
    if (expected == SOURCE_KIND_AUDIO) {
      const intptr_t word = SysControl(CTL_AUDIO_HEADER, 0);
      EXPECT_TRUE(word == 0x0B77 || (word & 0xFFF0) == 0xFFF0) << path << " header " << word;
    }
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no generated streams in " << dir;
}

}  // namespace
