#include "tests/media/disc/disc_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "platform/drive.h"
#include "platform/ini.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace disc_test {

std::string disc_path(const std::string &name) { return testing_support::media_path("disc/" + name); }

void map_drive(char letter, const std::string &path) {
  const char key[2] = {letter, 0};
  ASSERT_TRUE(
      platform::profile_write_string("DRIVES", key, path.empty() ? nullptr : path.c_str(), "RAZAVORI.INI"));
}

void unmap_all() {
  for (char l : platform::mapped_drives()) map_drive(l, "");
}

Bytes file_bytes(const std::string &path) { return testing_support::file_bytes(path); }

std::string run(const std::string &command) { return testing_support::command_output(command); }

Bytes ffmpeg_video_copy(const std::string &path, const char *format) {
  const std::string out = testing_support::scratch_dir() + "/video_copy." + format;
  run("ffmpeg -hide_banner -nostdin -loglevel error -y -i '" + path + "' -map 0:v:0 -c copy -f " + format +
      " '" + out + "'");
  return file_bytes(out);
}

int vcd_info_file_sectors(const std::string &cue, const std::string &name) {
  std::istringstream lines(run("vcd-info -B -F --cue-file '" + cue + "' 2>/dev/null"));
  std::string line;
  std::regex row(R"(\(\s*(\d+)\)\s+(\S+);1)");
  std::smatch m;
  while (std::getline(lines, line))
    if (std::regex_search(line, m, row) && m[2] == name) return std::stoi(m[1]) / 2048;
  return -1;
}

}  // namespace disc_test
