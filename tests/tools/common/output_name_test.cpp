#include "tools/common/output_name.h"

#include <gtest/gtest.h>

namespace {

using tools_common::output_path;
using tools_common::unique_output_path;

TEST(OutputName, ExtensionBecomesMpgInTheFolder) {
  EXPECT_EQ(output_path("/d/VIDEO_TS/VTS_01_1.VOB", "/out", "MPG"), "/out/VTS_01_1.MPG");
  EXPECT_EQ(output_path("/d/VIDEO_TS/VTS_01_1.VOB", "/out/", "MPG"), "/out/VTS_01_1.MPG");
  EXPECT_EQ(output_path("clip.tar.vob", "o", "MPG"), "o/clip.tar.MPG");
  EXPECT_EQ(output_path("/a.b/noext", "/o", "MPG"), "/o/noext.MPG");
  EXPECT_EQ(output_path("/a/.hidden", "/o", "MPG"), "/o/.hidden.MPG");
  EXPECT_EQ(output_path("/a/x.vob", "", "MPG"), "/a/x.MPG");
  EXPECT_EQ(output_path("x.vob", "", "MPG"), "./x.MPG");
}

TEST(OutputName, ClashGetsANumber) {
  std::vector<std::string> taken = {"/o/A.MPG"};
  EXPECT_EQ(unique_output_path("/o/B.MPG", taken), "/o/B.MPG");
  EXPECT_EQ(unique_output_path("/o/a.mpg", taken), "/o/a_2.mpg");
  taken.push_back("/o/a_2.mpg");
  EXPECT_EQ(unique_output_path("/o/A.MPG", taken), "/o/A_3.MPG");
  EXPECT_EQ(unique_output_path("/o.d/noext", {"/o.d/noext"}), "/o.d/noext_2");
}

}  // namespace
