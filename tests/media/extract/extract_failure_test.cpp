// Outputs that cannot be written are reported, never silently lost: a full
// disk (the name hook pointing an output at /dev/full), two streams sent to
// one path, an output named like the source itself, a folder in the way.
// The other outputs are complete, and nothing outside the outputs changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "media/media_api.h"
#include "tests/media/extract/extract_files.h"
#include "tests/media/extract/extract_run.h"

namespace extract_test {
namespace {

namespace fs = std::filesystem;

std::string g_redirect_from;  // file name whose path the hook replaces
std::string g_redirect_to;

const char *redirect(const char *path) {
  const std::string p(path);
  if (p.size() >= g_redirect_from.size() &&
      p.compare(p.size() - g_redirect_from.size(), std::string::npos, g_redirect_from) == 0)
    return g_redirect_to.c_str();
  return nullptr;
}

// Extracts ext.vob into dir with the hook sending from to to.
intptr_t extract_redirected(const std::string &dir, const std::string &from, const std::string &to) {
  g_redirect_from = from;
  g_redirect_to = to;
  SysControl(CTL_SET_NAME_HOOK, reinterpret_cast<intptr_t>(&redirect));
  const intptr_t closed = extract(media("ext.vob"), dir);
  SysControl(CTL_SET_NAME_HOOK, 0);
  return closed;
}

TEST(ExtractFailure, FullDiskIsReportedAndTheOtherOutputsAreWhole) {
  const std::string dir = fresh_dir("full");
  EXPECT_EQ(extract_redirected(dir, "Audio_0.AC3", "/dev/full"), -1);
  EXPECT_EQ(SysControl(CTL_EXTRACT_FAILURES, 0), 1);
  EXPECT_FALSE(fs::exists(dir + "/Audio_0.AC3"));
  EXPECT_TRUE(read_all(dir + "/Video_00.VBS") == read_all(media("ext.vob.video.es")));
  EXPECT_TRUE(read_all(dir + "/Audio_1.AC3") == read_all(media("ext.vob.a81.ac3")));
}

TEST(ExtractFailure, TwoStreamsNeverShareAFile) {
  const std::string dir = fresh_dir("shared");
  // Audio_1.AC3 is sent to where Audio_0.AC3 already goes.
  EXPECT_EQ(extract_redirected(dir, "Audio_1.AC3", dir + "/Audio_0.AC3"), -1);
  EXPECT_EQ(SysControl(CTL_EXTRACT_FAILURES, 0), 1);
  EXPECT_TRUE(read_all(dir + "/Audio_0.AC3") == read_all(media("ext.vob.a80.ac3")));
  // The same with another spelling of the path.
  const std::string dir2 = fresh_dir("shared2");
  EXPECT_EQ(extract_redirected(dir2, "Audio_1.AC3", dir2 + "/./Audio_0.AC3"), -1);
  EXPECT_TRUE(read_all(dir2 + "/Audio_0.AC3") == read_all(media("ext.vob.a80.ac3")));
}

TEST(ExtractFailure, TheSourceIsNeverAnOutput) {
  // The source lies in the output folder under an output's name.
  const std::string dir = fresh_dir("self");
  const Bytes original = read_all(media("ext.vob"));
  ASSERT_FALSE(original.empty());
  const std::string source = dir + "/Audio_0.ABS";
  write_all(source, original);
  EXPECT_EQ(extract(source, dir), -1);
  EXPECT_EQ(SysControl(CTL_EXTRACT_FAILURES, 0), 1);
  EXPECT_TRUE(read_all(source) == original);
  EXPECT_TRUE(read_all(dir + "/Video_00.VBS") == read_all(media("ext.vob.video.es")));
}

TEST(ExtractFailure, AFolderInTheWayIsReported) {
  const std::string dir = fresh_dir("folder");
  fs::create_directory(dir + "/SubPic01.SPU");
  EXPECT_EQ(extract(media("ext.vob"), dir), -1);
  EXPECT_EQ(SysControl(CTL_EXTRACT_FAILURES, 0), 1);
  EXPECT_TRUE(fs::is_directory(dir + "/SubPic01.SPU"));
  EXPECT_TRUE(fs::is_empty(dir + "/SubPic01.SPU"));
  // A later extraction without the obstacle succeeds and reports nothing.
  fs::remove(dir + "/SubPic01.SPU");
  EXPECT_EQ(extract(media("ext.vob"), dir), 0);
  EXPECT_EQ(SysControl(CTL_EXTRACT_FAILURES, 0), 0);
}

}  // namespace
}  // namespace extract_test
