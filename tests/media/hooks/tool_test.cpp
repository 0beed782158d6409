// `razavori probe|video|play --plugin LIB` and `probe|demux|play --dvb
// CAPTURE`: the tool loads the y4m plug-in and the DVB library and reads
// through them what ffmpeg reads from the same files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/media/demux/reference_streams.h"
#include "tests/media/hooks/plugin_clip.h"
#include "tests/media/hooks/pull_run.h"
#include "tests/support/test_media.h"

namespace hooks_test {
namespace {

std::string razavori() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/bin/razavori";
}

// Runs the tool; -> its exit status, with stdout in *out.
int run(const std::string &args, std::string *out) {
  FILE *p = popen((razavori() + " " + args + " < /dev/null 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  out->clear();
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kPlugin = std::string("--plugin ") + RAZAVORI_Y4M_PLUGIN;

TEST(PluginTool, ProbeVideoAndPlayAY4mFile) {
  const std::string clip = y4m_clip();
  ASSERT_FALSE(clip.empty()) << "ffmpeg is needed to make the clip";
  std::string out;
  EXPECT_EQ(run("probe " + kPlugin + " '" + clip + "'", &out), 0) << out;
  EXPECT_NE(out.find(": 1 video only, length 4000"), std::string::npos) << out;
  EXPECT_NE(run("probe '" + clip + "'", &out), 0) << "without the plug-in: " << out;

  const std::string yuv = testing_support::scratch_dir() + "/clip.yuv";
  EXPECT_EQ(run("video " + kPlugin + " '" + clip + "' --yuv '" + yuv + "'", &out), 0) << out;
  EXPECT_NE(out.find("352x288, 100 pictures"), std::string::npos) << out;
  EXPECT_TRUE(demux_test::read_file(yuv) == demux_test::read_file(y4m_clip_reference()));

  EXPECT_EQ(run("play " + kPlugin + " '" + clip + "'", &out), 0) << out;
  EXPECT_EQ(run("play --plugin /no/such/plugin.so '" + clip + "'", &out), 2);
  EXPECT_NE(out.find("cannot load plug-in"), std::string::npos) << out;
}

TEST(DvbTool, ProbeDemuxAndPlayACapture) {
  const std::string ts = demux_test::reference("ts_mpeg2.ts");
  ASSERT_FALSE(ts.empty()) << "ffmpeg is needed";
  std::string out;
  EXPECT_EQ(run("probe --dvb '" + ts + "'", &out), 0) << out;
  EXPECT_NE(out.find("DVBStream.DVB: 0 system stream"), std::string::npos) << out;
  const std::string dir = testing_support::scratch_dir();
  EXPECT_EQ(run("demux --dvb '" + ts + "' --video " + dir + "/v.es --audio " + dir + "/a.es", &out), 0)
      << out;
  EXPECT_TRUE(same_stream(demux_test::read_file(dir + "/v.es"),
                          demux_test::read_file(demux_test::reference("ts_mpeg2.ts.video.es"))));
  EXPECT_TRUE(same_stream(demux_test::read_file(dir + "/a.es"),
                          demux_test::read_file(demux_test::reference("ts_mpeg2.ts.audio.es"))));
  EXPECT_EQ(run("play --dvb '" + ts + "'", &out), 0) << out;
}

}  // namespace
}  // namespace hooks_test
