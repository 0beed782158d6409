// razavori discs and the disc forms of the FILE argument, through the
// tool itself, against cd-info, vcd-info, isoinfo and ffmpeg.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

#include "tests/media/disc/disc_support.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

using namespace disc_test;

using testing_support::ToolRun;

ToolRun razavori(const std::string &args) { return testing_support::run_razavori(args); }

bool has_line(const std::string &out, const std::string &pattern) {
  return std::regex_search(out, std::regex(pattern, std::regex::multiline));
}

class RazavoriDiscs : public testing::Test {
 protected:
  void TearDown() override { unmap_all(); }
  std::string out(const std::string &name) { return testing_support::scratch_dir() + "/" + name; }
};

TEST_F(RazavoriDiscs, ListsWhatTheOraclesSee) {
  ASSERT_EQ(razavori("discs --map V=" + disc_path("entries.cue")).status, 0);
  ASSERT_EQ(razavori("discs --map w=" + disc_path("dvd3.iso")).status, 0);
  ASSERT_EQ(razavori("discs --map X:=" + disc_path("dvd_gap.iso")).status, 0);
  ASSERT_EQ(razavori("discs --map Y=" + disc_path("mixed.cue")).status, 0);
  EXPECT_NE(razavori("discs --map A=" + disc_path("mixed.cue")).status, 0);
  const ToolRun r = razavori("discs");
  ASSERT_EQ(r.status, 0) << r.out;
  // Tracks as cd-info lists them (LSN), kinds as vcd-info's.
  const std::string cd_info =
      run("cd-info --no-header --no-device-info --no-cddb --no-disc-mode --cue-file '" +
          disc_path("mixed.cue") + "' 2>/dev/null");
  ASSERT_TRUE(has_line(cd_info, R"(^\s*4: \d\d:\d\d:\d\d\s+001664 audio)"))
      << "cd-info disagrees with the fixture";
  EXPECT_TRUE(has_line(r.out, R"(^\s+4  LSN   1664  length    300  audio$)")) << r.out;
  EXPECT_TRUE(has_line(r.out, R"(^\s+2  LSN    450  length    681  XA)")) << r.out;
  EXPECT_TRUE(has_line(r.out, R"(^  Video CD: Video CD \(kind 1\), MPEG tracks: 2$)")) << r.out;
  EXPECT_TRUE(has_line(r.out, R"(^  Video CD: none \(kind 0\), MPEG tracks: 0$)")) << r.out;
  // Entry points numbered from 1 as vcd-info -E lists them from 0.
  const std::string entries = run("vcd-info -B -E --cue-file '" + disc_path("entries.cue") + "' 2>/dev/null");
  ASSERT_TRUE(has_line(entries, R"(ENTRY\[02\]: track#  1 \(SEQUENCE\[0\]\), LSN    798 \(MSF 00:12:48\))"));
  EXPECT_TRUE(has_line(r.out, R"(^\s+3  track 2  00:12:48  LSN 798$)")) << r.out;
  // Title sets: joined where isoinfo shows the parts together.
  EXPECT_TRUE(has_line(r.out, R"(VTS_01: 3 parts, joins: yes \(first sector 317, 3241 sectors\))")) << r.out;
  EXPECT_TRUE(has_line(r.out, R"(VTS_01: 3 parts, joins: no)")) << r.out;
  // A damaged image is not ready, and says why.
  const std::string bad = out("order.cue");
  FILE *f = std::fopen(bad.c_str(), "w");
  ASSERT_TRUE(f);
  std::fputs(
      "FILE \"order.bin\" BINARY\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n TRACK 01 AUDIO\n INDEX 01 00:01:00\n",
      f);
  std::fclose(f);
  ASSERT_EQ(razavori("discs --map Z=" + bad).status, 0);
  EXPECT_TRUE(has_line(razavori("discs").out, R"(^  ready: no \(tracks out of order\)$)"));
  // Doors: images have none; unmapping.
  EXPECT_NE(razavori("discs --eject V").status, 0);
  EXPECT_EQ(razavori("discs --unmap Y").status, 0);
  EXPECT_FALSE(has_line(razavori("discs").out, R"(^Y: )"));
}

TEST_F(RazavoriDiscs, FileArgumentsReadTheDiscForms) {
  map_drive('V', disc_path("vcd2.cue"));
  map_drive('W', disc_path("dvd3.iso"));
  const Bytes video = ffmpeg_video_copy(disc_path("a.mpg"), "mpeg1video");
  ASSERT_GT(video.size(), 10000u) << "ffmpeg gave no reference";
  for (const std::string form : {"V:/MPEGAV/AVSEQ01.DAT", "V: --track 2"}) {
    SCOPED_TRACE(form);
    const ToolRun r = razavori("demux " + form + " --video " + out("v.m1v"));
    ASSERT_EQ(r.status, 0) << r.out;
    const Bytes got = file_bytes(out("v.m1v"));
    ASSERT_GE(got.size(), video.size());
    EXPECT_LT(got.size() - video.size(), 4u);  // the last read is rounded up to 4
    EXPECT_TRUE(std::equal(video.begin(), video.end(), got.begin()));
  }
  // The joined title set, with an angle chosen on a title without angles:
  // whole units, the video ffmpeg copies from the title's VOB.
  const Bytes title = ffmpeg_video_copy(disc_path("dvd_title.vob"), "mpeg2video");
  ASSERT_GT(title.size(), 10000u);
  const ToolRun j = razavori("demux W:/VIDEO_TS/VTS_01_X.VOB --angle 2 --video " + out("j.m2v"));
  ASSERT_EQ(j.status, 0) << j.out;
  EXPECT_TRUE(file_bytes(out("j.m2v")) == title);
  // The video engine opens the same forms (VideoOpenBuffer).
  EXPECT_TRUE(has_line(razavori("video V: --track 2 --frames 3").out, R"(352x288, 3 pictures)"));
  EXPECT_TRUE(has_line(razavori("video W:/VIDEO_TS/VTS_01_X.VOB --frames 3").out, R"(720x576, 3 pictures)"));
  // Causes are named.
  EXPECT_TRUE(has_line(razavori("demux Q: --track 2 --video " + out("q")).out, "Q: is not mapped"));
  EXPECT_TRUE(has_line(razavori("demux V: --track 9 --video " + out("q")).out, "has no track 9"));
  EXPECT_TRUE(has_line(razavori("demux V: --entry 7 --video " + out("q")).out, "entry points"));
  EXPECT_TRUE(has_line(razavori("demux V: --video " + out("q")).out, "needs --track"));
}

}  // namespace
