// Every subcommand that reads a file, on inputs that are not media files:
// it ends with status 1 and names the cause (the system's reason where
// there is one) instead of waiting on a pipe or reading a device or a huge
// file of zeros to its end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

using testing_support::ToolRun;

ToolRun razavori(const std::string &args) { return testing_support::run_razavori(args); }

class ToolInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::scratch_dir() + "/tool_inputs";
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ + "/folder");
    ASSERT_EQ(::mkfifo((dir_ + "/pipe").c_str(), 0600), 0);
    // A gigabyte of zeros that takes no room: the probe must give up on it
    // after its prefix instead of reading to the end.
    FILE *f = std::fopen((dir_ + "/zeros.mpg").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::filesystem::resize_file(dir_ + "/zeros.mpg", std::uintmax_t{1} << 30);
    f = std::fopen((dir_ + "/notes.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("nothing to see here\n", f);
    std::fclose(f);
    f = std::fopen((dir_ + "/empty.mpg").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string at(const char *name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(ToolInputs, EachSubcommandNamesTheCause) {
  const struct {
    std::string path;
    const char *reason;
  } inputs[] = {
      {at("missing.mp3"), "No such file or directory"},
      {at("folder"), "Is a directory"},
      {at("pipe"), "not a file or a disc device"},
      {"/dev/zero", "not a file or a disc device"},
  };
  for (const char *command : {"demux", "audio", "info", "video"}) {
    for (const auto &in : inputs) {
      SCOPED_TRACE(std::string(command) + " " + in.path);
      const ToolRun r = razavori(std::string(command) + " " + in.path);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.out.find(in.path + ": " + in.reason), std::string::npos) << r.out;
    }
  }
  for (const auto &in : inputs) {
    const ToolRun r = razavori("probe " + in.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, in.path + ": -1 cannot open, length 0 (" + in.reason + ")\n");
  }
}

TEST_F(ToolInputs, ZerosAndTextAreNothingPlayable) {
  const ToolRun probe = razavori("probe " + at("zeros.mpg") + " " + at("notes.txt"));
  EXPECT_EQ(probe.status, 1);
  EXPECT_EQ(probe.out, at("zeros.mpg") + ": 3 nothing playable, length 1073741824\n" + at("notes.txt") +
                           ": 3 nothing playable, length 20\n");
  const struct {
    const char *command;
    const char *message;
  } commands[] = {
      {"demux --list", "no MPEG stream found"},
      {"audio", "not an audio file"},
      {"info", "no video stream"},
      {"video", "cannot open"},
  };
  for (const auto &c : commands) {
    for (const char *name : {"zeros.mpg", "notes.txt"}) {
      SCOPED_TRACE(std::string(c.command) + " " + name);
      const ToolRun r = razavori(std::string(c.command) + " " + at(name));
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.out.find(at(name) + ": " + c.message), std::string::npos) << r.out;
    }
  }
}

TEST_F(ToolInputs, DemuxListOfAnEmptyFileSaysNoStream) {
  const ToolRun r = razavori("demux --list " + at("empty.mpg"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "razavori demux: " + at("empty.mpg") + ": no MPEG stream found\n");
}

}  // namespace
