// razavori dvd on the test disc: the same listing from the folder, its
// lower-case copy, the ISO image and a mapped drive, the ids the VOB carries,
// one title with --title, and a clear failure for a path without a disc.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

using testing_support::ToolRun;

ToolRun razavori(const std::string &args) { return testing_support::run_razavori(args); }

TEST(RazavoriDvd, ListsTitlesChaptersAndStreams) {
  using testing_support::media_path;
  const ToolRun folder = razavori("dvd '" + media_path("dvdt_disc") + "'");
  ASSERT_EQ(folder.status, 0) << folder.out;
  EXPECT_EQ(razavori("dvd '" + media_path("dvdt_lower") + "'").out, folder.out);
  EXPECT_EQ(razavori("dvd '" + media_path("dvdt_disc.iso") + "'").out, folder.out);
  for (const char *line :
       {"title 1: set 1 title 1, length 00:00:07.000, aspect 16:9, 720x576, 3 chapters",
        "  audio 1: id 0x80, ac3, 2 channels, language en",
        "  audio 2: id 0xC0, mpeg1, 2 channels, language fr", "  subpicture 3: id 0x22, language fr",
        "title 2: set 2 title 1, length 00:00:04.000, aspect 4:3, 720x576, 2 chapters",
        "title 3: set 2 title 2"})
    EXPECT_NE(folder.out.find(line), std::string::npos) << line;
  // A drive of the drive map holding the ISO image.
  ASSERT_EQ(razavori("discs --map V='" + media_path("dvdt_disc.iso") + "'").status, 0);
  EXPECT_EQ(razavori("dvd V:").out, folder.out);
  razavori("discs --unmap V");
  const ToolRun one = razavori("dvd '" + media_path("dvdt_disc") + "' --title 2");
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.out.find("title 1:"), std::string::npos);
  EXPECT_NE(one.out.find("title 2:"), std::string::npos);
  const ToolRun none = razavori("dvd '" + media_path("dvdt_logo.bmp") + "'");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("no DVD title information"), std::string::npos);
}

}  // namespace
