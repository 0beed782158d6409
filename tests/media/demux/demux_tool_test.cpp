// razavori demux: the files it writes equal ffmpeg's stream copies, and
// --list tells the streams, the rate and the pack kind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/media/demux/reference_streams.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace demux_test {
namespace {

using testing_support::ToolRun;

ToolRun razavori(const std::string &args) { return testing_support::run_razavori(args, false); }

bool same_but_padding(const Bytes &got, const Bytes &want) {
  if (want.empty() || got.size() < want.size() || got.size() - want.size() >= 4) return false;
  for (size_t i = want.size(); i < got.size(); ++i)
    if (got[i] != 0) return false;
  return std::equal(want.begin(), want.end(), got.begin());
}

TEST(DemuxTool, WritesTheElementaryStreamsAndListsTheSource) {
  const std::string stream = reference("mpeg2_ps.mpg");
  if (stream.empty()) GTEST_SKIP() << "no test media";
  const std::string dir = testing_support::scratch_dir();
  const ToolRun r =
      razavori("demux '" + stream + "' --list --video '" + dir + "/tool.v' --audio '" + dir + "/tool.a'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("video: 0xE0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("audio: 0xC0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("mpeg-2: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("rate valid: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("stream mix: 0\n"), std::string::npos) << r.out;
  EXPECT_TRUE(same_but_padding(read_file(dir + "/tool.v"), read_file(reference("mpeg2_ps.mpg.video.es"))));
  EXPECT_TRUE(same_but_padding(read_file(dir + "/tool.a"), read_file(reference("mpeg2_ps.mpg.audio.es"))));
}

TEST(DemuxTool, StreamOptionTakesAc3AndBadUseIsRefused) {
  const std::string stream = reference("vob_ac3_lpcm.vob");
  if (stream.empty()) GTEST_SKIP() << "no test media";
  const std::string dir = testing_support::scratch_dir();
  const ToolRun r = razavori("demux '" + stream + "' --stream 0x80 '" + dir + "/tool.ac3'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(same_but_padding(read_file(dir + "/tool.ac3"), read_file(reference("vob_ac3_lpcm.vob.ac3"))));
  EXPECT_EQ(razavori("demux 2>/dev/null").status, 2);
  EXPECT_EQ(razavori("demux /nonexistent/file.mpg 2>/dev/null").status, 1);
}

}  // namespace
}  // namespace demux_test
