// fennick convert when things go wrong: each case ends in time with a
// clear message, no half file under the final name and no temporaries.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_media.h"
#include "tests/tools/fennick/fennick_run.h"

namespace {

using encoder_test::probe_streams;
using encoder_test::shell_quoted;
using fennick_test::fennick;
using fennick_test::folder_files;
using fennick_test::fresh_folder;
using testing_support::media_path;
using testing_support::sample_path;

struct Scene {
  std::string dir;  // outputs
  std::string tmp;  // TMPDIR of the run: must end empty
};

Scene scene(const std::string &name) { return {fresh_folder(name + "_out"), fresh_folder(name + "_tmp")}; }

TEST(FennickFailures, UsageErrorsExitTwo) {
  for (const char *args :
       {"convert", "convert --rate 20 x.vob", "convert --bitrate 100 x.vob", "convert --range 60-20 x.vob",
        "convert --size 10x10 x.vob", "convert --bogus x.vob", "convert --layer 3 x.vob",
        "convert --size 352x288 --original x.vob"}) {
    const auto r = fennick(args);
    EXPECT_EQ(r.status, 2) << args << ": " << r.out;
  }
  EXPECT_EQ(fennick("--version").status, 0);
  EXPECT_EQ(fennick("--help").status, 0);
  const auto sub = fennick("convert --subpicture 64 x.vob");
  EXPECT_EQ(sub.status, 2) << sub.out;
}

TEST(FennickFailures, RowsThatCannotBeConverted) {
  const std::string vob = sample_path("dvd_sample.vob");
  // Output below a regular file.
  {
    const Scene s = scene("below_file");
    std::ofstream(s.dir + "/plain") << "x";
    const auto r =
        fennick("convert --out " + shell_quoted(s.dir + "/plain") + " " + shell_quoted(vob), s.tmp);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("does not exist"), std::string::npos) << r.out;
    EXPECT_TRUE(folder_files(s.tmp).empty());
  }
  // A non-MPEG file.
  {
    const Scene s = scene("not_mpeg");
    std::ofstream(s.dir + "/text.vob") << std::string(100000, 'a');
    const auto r =
        fennick("convert --out " + shell_quoted(s.dir) + " " + shell_quoted(s.dir + "/text.vob"), s.tmp);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(s.dir + "/text.MPG"));
    EXPECT_TRUE(folder_files(s.tmp).empty());
  }
  // Output = input.
  {
    const Scene s = scene("self");
    std::filesystem::copy_file(vob, s.dir + "/clip.MPG");
    const auto size = std::filesystem::file_size(s.dir + "/clip.MPG");
    const auto r = fennick(
        "convert --overwrite --out " + shell_quoted(s.dir) + " " + shell_quoted(s.dir + "/clip.MPG"), s.tmp);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("is the input itself"), std::string::npos) << r.out;
    EXPECT_EQ(std::filesystem::file_size(s.dir + "/clip.MPG"), size);
  }
  // An existing output is kept without --overwrite.
  {
    const Scene s = scene("existing");
    std::ofstream(s.dir + "/dvd_sample.MPG") << "keep me";
    const auto r = fennick("convert --out " + shell_quoted(s.dir) + " " + shell_quoted(vob), s.tmp);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(std::filesystem::file_size(s.dir + "/dvd_sample.MPG"), 7u);
  }
}

TEST(FennickFailures, ClashingNamesGetANumber) {
  const Scene s = scene("clash");
  std::filesystem::create_directories(s.dir + "/a");
  std::filesystem::create_directories(s.dir + "/b");
  std::filesystem::copy_file(media_path("fen_gradient.vob"), s.dir + "/a/clip.vob");
  std::filesystem::copy_file(media_path("fen_gradient.vob"), s.dir + "/b/CLIP.vob");
  const auto r = fennick("convert --out " + shell_quoted(s.dir) + " " + shell_quoted(s.dir + "/a/clip.vob") +
                             " " + shell_quoted(s.dir + "/b/CLIP.vob"),
                         s.tmp);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(probe_streams(s.dir + "/clip.MPG").size(), 2u);
  EXPECT_EQ(probe_streams(s.dir + "/CLIP_2.MPG").size(), 2u);
  EXPECT_TRUE(folder_files(s.tmp).empty());
}

TEST(FennickFailures, FullDiskLeavesNothing) {
  const Scene s = scene("full_disk");
  const std::string cmd =
      "bash -c " + shell_quoted("trap '' XFSZ; ulimit -f 1000; exec env TMPDIR=" + s.tmp + " " +
                                fennick_test::fennick_binary() + " convert --vcd --out " + s.dir + " " +
                                sample_path("dvd_sample.vob"));
  const auto r = encoder_test::run_tool("timeout -s KILL 300 " + cmd, true);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("Failure to output!"), std::string::npos) << r.out;
  EXPECT_TRUE(folder_files(s.dir).empty()) << r.out;
  EXPECT_TRUE(folder_files(s.tmp).empty());
}

// A source without sound is converted with a silent track; one whose only
// sound is AC-3 keeps it, decoded.
TEST(FennickFailures, NoDecodableSoundGivesASilentTrack) {
  struct Case {
    const char *name;
    bool silent;
  };
  for (const Case &c : {Case{"fen_video_only.VOB", true}, Case{"fen_ac3_only.vob", false}}) {
    const char *name = c.name;
    SCOPED_TRACE(name);
    const Scene s = scene("silent");
    const auto r =
        fennick("convert --vcd --out " + shell_quoted(s.dir) + " " + shell_quoted(media_path(name)), s.tmp);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("silent track") != std::string::npos, c.silent) << r.out;
    const std::string out = s.dir + "/" + std::string(name).substr(0, std::string(name).size() - 4) + ".MPG";
    const auto streams = probe_streams(out);
    ASSERT_EQ(streams.size(), 2u) << r.out;
    EXPECT_NEAR(fennick_test::video_seconds(out, 25), 3.0, 0.05);
    EXPECT_TRUE(folder_files(s.tmp).empty());
  }
}

// Ctrl-C: the file being converted is finished shorter, later rows are not
// started, and the exit status says "stopped".
TEST(FennickFailures, InterruptStopsTheRun) {
  const Scene s = scene("interrupt");
  int out_pipe[2];
  ASSERT_EQ(pipe(out_pipe), 0);
  const std::string first = media_path("fen_flash25.vob");
  const std::string second = media_path("fen_gradient.vob");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out_pipe[1], 2);
    close(out_pipe[0]);
    setenv("TMPDIR", s.tmp.c_str(), 1);
    const std::string bin = fennick_test::fennick_binary();
    execl(bin.c_str(), bin.c_str(), "convert", "--vcd", "--out", s.dir.c_str(), first.c_str(), second.c_str(),
          static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out_pipe[1]);
  FILE *err = fdopen(out_pipe[0], "r");
  std::string seen;
  char line[1024];
  // The row's header comes before its first picture.
  while (std::fgets(line, sizeof line, err)) {
    seen += line;
    if (seen.find("Output From") != std::string::npos) break;
  }
  kill(pid, SIGINT);
  while (std::fgets(line, sizeof line, err)) seen += line;
  fclose(err);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << seen;
  EXPECT_EQ(WEXITSTATUS(status), 130) << seen;
  EXPECT_NE(seen.find("not started"), std::string::npos) << seen;
  EXPECT_FALSE(std::filesystem::exists(s.dir + "/fen_gradient.MPG"));
  if (std::filesystem::exists(s.dir + "/fen_flash25.MPG")) {
    EXPECT_NE(seen.find("Succeded ,but NOT finished to output!"), std::string::npos) << seen;
    EXPECT_EQ(probe_streams(s.dir + "/fen_flash25.MPG").size(), 2u);
  }
  EXPECT_TRUE(folder_files(s.tmp).empty());
}

}  // namespace
