// razavori extract and cut: the files equal the library's extraction and
// segments, existing files are not overwritten without --force, and a
// failed job leaves neither .part files nor files under the final names.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/media/extract/extract_files.h"
#include "tests/support/tool_run.h"

namespace extract_test {
namespace {

namespace fs = std::filesystem;

using testing_support::ToolRun;

ToolRun razavori(const std::string &args) { return testing_support::run_razavori(args); }

bool any_part_file(const std::string &dir) {
  for (const auto &e : fs::recursive_directory_iterator(dir))
    if (e.path().extension() == ".part") return true;
  return false;
}

TEST(ExtractTool, WritesEveryStreamAndListsTheFiles) {
  const std::string vob = media("ext.vob");
  ASSERT_FALSE(vob.empty());
  const std::string dir = fresh_dir("tool");
  const ToolRun r = razavori("extract '" + vob + "' --out '" + dir + "'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Video_00.VBS: 2976111 bytes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("100%"), std::string::npos) << r.out;
  EXPECT_EQ(files_in(dir).size(), 7u);
  EXPECT_FALSE(any_part_file(dir));
  EXPECT_TRUE(read_all(dir + "/Audio_1.AC3") == read_all(media("ext.vob.a81.ac3")));

  // A second run refuses to overwrite and writes nothing.
  fs::remove(dir + "/Audio_1.AC3");
  const ToolRun again = razavori("extract '" + vob + "' --out '" + dir + "'");
  EXPECT_EQ(again.status, 2) << again.out;
  EXPECT_FALSE(fs::exists(dir + "/Audio_1.AC3"));
  EXPECT_FALSE(any_part_file(dir));
  const ToolRun forced = razavori("extract '" + vob + "' --out '" + dir + "' --force");
  EXPECT_EQ(forced.status, 0) << forced.out;
  EXPECT_TRUE(read_all(dir + "/Audio_1.AC3") == read_all(media("ext.vob.a81.ac3")));
}

TEST(ExtractTool, AFailedJobLeavesNoFile) {
  const std::string vob = media("ext.vob");
  ASSERT_FALSE(vob.empty());
  // A folder in the way of one .part file.
  const std::string dir = fresh_dir("tool_fail");
  fs::create_directory(dir + "/Audio_0.PCM.part");
  const ToolRun r = razavori("extract '" + vob + "' --out '" + dir + "'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(files_in(dir), std::vector<std::string>{"Audio_0.PCM.part"});
  EXPECT_TRUE(fs::is_directory(dir + "/Audio_0.PCM.part"));

  // The source in the output folder under an output's name, even forced.
  const std::string self = fresh_dir("tool_self");
  const Bytes original = read_all(vob);
  write_all(self + "/Video_00.VBS", original);
  const ToolRun s = razavori("extract '" + self + "/Video_00.VBS' --out '" + self + "' --force");
  EXPECT_EQ(s.status, 1) << s.out;
  EXPECT_EQ(files_in(self), std::vector<std::string>{"Video_00.VBS"});
  EXPECT_TRUE(read_all(self + "/Video_00.VBS") == original);

  // Not a system stream, and bad use.
  EXPECT_EQ(razavori("extract '" + media("video_mpeg1.m1v") + "' --out '" + dir + "'").status, 1);
  EXPECT_EQ(razavori("extract").status, 2);
  EXPECT_EQ(razavori("extract '" + vob + "' --out '" + dir + "/missing'").status, 2);
}

TEST(CutTool, WritesThePieceAndRefusesToOverwrite) {
  const std::string dat = media("avseq01.dat");
  ASSERT_FALSE(dat.empty());
  const std::string dir = fresh_dir("cut");
  const std::string out = dir + "/piece.mpg";
  const ToolRun r = razavori("cut '" + dat + "' '" + out + "' --bytes 100000-400000");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("range used: bytes 100000-400000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("piece.mpg: "), std::string::npos) << r.out;
  const Bytes piece = read_all(out);
  EXPECT_FALSE(piece.empty());
  EXPECT_EQ(piece.size() % 2324, 0u);
  EXPECT_FALSE(any_part_file(dir));

  const ToolRun again = razavori("cut '" + dat + "' '" + out + "' --time 1-");
  EXPECT_EQ(again.status, 2) << again.out;
  EXPECT_TRUE(read_all(out) == piece);
  const ToolRun forced = razavori("cut '" + dat + "' '" + out + "' --time 1- --force");
  EXPECT_EQ(forced.status, 0) << forced.out;
  EXPECT_NE(forced.out.find("range used: bytes "), std::string::npos) << forced.out;
  EXPECT_FALSE(read_all(out) == piece);
}

TEST(CutTool, AFailedCutLeavesNoFile) {
  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const std::string dir = fresh_dir("cut_fail");
  EXPECT_EQ(razavori("cut '" + ps + "' '" + dir + "/a.mpg' --bytes 500000-100000").status, 1);
  // A start past the end of the source finds no sequence header.
  EXPECT_EQ(razavori("cut '" + ps + "' '" + dir + "/b.mpg' --bytes 90000000-90000001").status, 1);
  fs::create_directory(dir + "/c.mpg.part");
  EXPECT_EQ(razavori("cut '" + ps + "' '" + dir + "/c.mpg' --bytes 0-100000").status, 1);
  EXPECT_EQ(files_in(dir), std::vector<std::string>{"c.mpg.part"});
  EXPECT_EQ(razavori("cut '" + ps + "' '" + dir + "/d.mpg'").status, 2);
  EXPECT_EQ(razavori("cut '" + ps + "' '" + dir + "/d.mpg' --bytes x-1").status, 2);
}

TEST(ExtractTool, MappedDiscsAreExtractedAndCut) {
  const std::string cue = media("disc/vcd2.cue"), iso = media("disc/dvd3.iso");
  ASSERT_FALSE(cue.empty());
  ASSERT_FALSE(iso.empty());
  ASSERT_EQ(razavori("discs --map V='" + cue + "' --map W='" + iso + "'").status, 0);
  const std::string dir = fresh_dir("mapped");
  // ffmpeg's copies of what the discs were made from.
  ASSERT_EQ(razavori("extract V:/MPEGAV/AVSEQ01.DAT --out '" + dir + "'").status, 0);
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i '" + media("disc/a.mpg") +
                         "' -map 0:v:0 -c copy -f mpeg1video '" + dir + "/a.m1v'")
                            .c_str()),
            0);
  EXPECT_TRUE(read_all(dir + "/Video_00.VBS") == read_all(dir + "/a.m1v"));
  const std::string track = fresh_dir("mapped_track");
  ASSERT_EQ(razavori("extract V: --track 2 --out '" + track + "'").status, 0);
  EXPECT_TRUE(read_all(track + "/Video_00.VBS") == read_all(dir + "/a.m1v"));
  const std::string dvd = fresh_dir("mapped_dvd");
  ASSERT_EQ(razavori("extract W:/VIDEO_TS/VTS_01_X.VOB --out '" + dvd + "'").status, 0);
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i '" + media("disc/dvd_title.vob") +
                         "' -map 0:v:0 -c copy -f mpeg2video '" + dvd + "/title.m2v'")
                            .c_str()),
            0);
  EXPECT_TRUE(read_all(dvd + "/Video_00.VBS") == read_all(dvd + "/title.m2v"));

  const ToolRun cut = razavori("cut V: --track 2 '" + track + "/cut.mpg' --bytes 200000-");
  ASSERT_EQ(cut.status, 0) << cut.out;
  const Bytes piece = read_all(track + "/cut.mpg");
  EXPECT_FALSE(piece.empty());
  EXPECT_EQ(piece.size() % 2324, 0u);
  EXPECT_EQ(razavori("cut W:/VIDEO_TS/VTS_01_X.VOB '" + dvd + "/cut.mpg' --bytes 500000-1500000").status, 0);
  EXPECT_EQ(razavori("extract Q:/MPEGAV/AVSEQ01.DAT --out '" + dir + "' --force").status, 1)
      << "an unmapped drive";
}

}  // namespace
}  // namespace extract_test
