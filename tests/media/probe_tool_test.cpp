// razavori probe: one line per file, exit status 0 only when every file is
// playable.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/media/fixtures.h"

namespace {

using media_test::Bytes;

struct ToolRun {
  int status;
  std::string out;
};

ToolRun probe(const std::string &args) {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  std::string cmd = std::string(bin ? bin : ".") + "/bin/razavori probe " + args;
  ToolRun r{-1, {}};
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) r.out += buf;
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

TEST(ProbeTool, OneLinePerFileAndExitStatus) {
  Bytes mp2;
  for (int i = 0; i < 3; ++i) {
    media_test::append(mp2, {0xFF, 0xFD, 0x84, 0xC4});
    media_test::fill(mp2, 400, 0x11);
  }
  const std::string audio = media_test::write_file("tool.mp2", mp2);
  Bytes video = {0x00, 0x00, 0x01, 0xB3, 0x11, 0x00, 0x00, 0x01, 0xB8, 0x11, 0x00, 0x00, 0x01, 0x00, 0x11};
  const std::string m1v = media_test::write_file("tool.m1v", video);
  const std::string junk = media_test::write_file("tool.txt", Bytes(100, 'x'));

  ToolRun ok = probe(audio + " " + m1v);
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out,
            audio + ": 2 audio only, length 1212, header 0xFFFD\n" + m1v + ": 1 video only, length 15\n");

  ToolRun bad = probe(audio + " " + junk);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find(junk + ": 3 nothing playable, length 100\n"), std::string::npos);

  ToolRun missing = probe(testing_support::scratch_dir() + "/none.mpg");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find(": -1 cannot open"), std::string::npos);
}

}  // namespace
