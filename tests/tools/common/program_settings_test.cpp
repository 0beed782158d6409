#include "tools/common/program_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/ini.h"

namespace tools_common {
namespace {

std::string read_all(const std::string &path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(ProgramSettings, BoundedReadsAndRoundTripKeepOtherLines) {
  const std::string file = "settings_test.ini";
  const std::string path = platform::profile_path(file.c_str());
  {
    std::ofstream f(path);
    f << "; kept comment\n[SETTING]\nCODEPAGE=1234\n[fennick]\nVDOPROCESS=9\nWIDTHINDEX=-500\n"
         "Output=/home/u/out, old/\n[OTHER]\nX=1\n";
  }
  ProgramSettings s("FENNICK", file);
  EXPECT_EQ(s.get_int("VDOPROCESS", 2, 0, 2), 2);
  EXPECT_EQ(s.get_int("WIDTHINDEX", 44, 0, 63), 0);
  EXPECT_EQ(s.get_int("MISSING", 29, 0, 63), 29);
  EXPECT_EQ(s.get_path("OUTPUT", "/tmp"), "/home/u/out, old/");
  EXPECT_EQ(s.get_path("OPENPATH", "none"), "none");
  EXPECT_EQ(read_code_page(936, file), 936);  // 1234 is no interface language
  EXPECT_EQ(read_code_page(1252, file), 0);

  EXPECT_TRUE(s.set_int("SMOOTHZOOM", 0));
  EXPECT_TRUE(s.set_path("OPENPATH", "/media/d\xE9j\xE0/"));
  EXPECT_TRUE(write_code_page(950, file));
  EXPECT_FALSE(s.get_flag("SMOOTHZOOM", true));
  EXPECT_EQ(s.get_path("OPENPATH", ""), "/media/d\xE9j\xE0/");
  EXPECT_EQ(read_code_page(0, file), 950);
  const std::string text = read_all(path);
  EXPECT_NE(text.find("; kept comment"), std::string::npos);
  EXPECT_NE(text.find("[OTHER]"), std::string::npos);
  EXPECT_EQ(text.find("[FENNICK]"), std::string::npos);  // the existing section took the keys
  EXPECT_EQ(platform::profile_get_sections(file.c_str()).size(), 3u);
}

}  // namespace
}  // namespace tools_common
