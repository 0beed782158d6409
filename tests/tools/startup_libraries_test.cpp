// Jobs that write files take no window, sound device, disc or FFmpeg
// library: the dynamic loader's own report of every library the whole
// process loaded (LD_DEBUG=files) names none of them. `razavori dvd`
// shows the report does see a library loaded on first use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

using testing_support::ToolRun;

// The program's output with the loader's report joined to it.
ToolRun razavori_traced(const std::string &args) {
  return testing_support::run_tool("LD_DEBUG=files " + testing_support::razavori_path() + " " + args +
                                   " 2>&1");
}

// Loaded libraries appear in the report as "file=NAME".
bool loaded(const ToolRun &run, const std::string &library) {
  return run.out.find("file=" + library) != std::string::npos;
}

constexpr const char *kNotForFileJobs[] = {"libX11",     "libxcb",  "libSDL2",    "libasound", "libpulse",
                                           "libdvdread", "libcdio", "libiso9660", "libavcodec"};

TEST(StartupLibraries, FileJobsLoadNoDisplaySoundDiscOrFfmpegLibrary) {
  using testing_support::media_path;
  const std::string out = testing::TempDir() + "startup_libraries." + std::to_string(getpid());
  const std::string jobs[] = {
      "--version",
      "probe '" + media_path("ext.vob") + "'",
      "audio '" + media_path("audio_l2_44k_joint.mp2") + "' --pcm '" + out + "'",
      "video '" + media_path("video_mpeg2_progressive.m2v") + "' --yuv '" + out + "'",
      "demux '" + media_path("ext.vob") + "' --video '" + out + "'",
  };
  for (const std::string &job : jobs) {
    const ToolRun run = razavori_traced(job);
    ASSERT_EQ(run.status, 0) << job << "\n" << run.out;
    ASSERT_TRUE(loaded(run, "libstdc++")) << "no loader report for " << job;
    for (const char *library : kNotForFileJobs)
      EXPECT_FALSE(loaded(run, library)) << job << " loaded " << library;
  }
  std::remove(out.c_str());
}

TEST(StartupLibraries, DiscLibraryComesInWhenADiscIsRead) {
  const ToolRun run = razavori_traced("dvd '" + testing_support::media_path("dvdt_disc") + "'");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(loaded(run, "libdvdread"));
  EXPECT_NE(run.out.find("title 1: set 1 title 1"), std::string::npos);
}

}  // namespace
