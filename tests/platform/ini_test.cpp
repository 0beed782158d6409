#include "platform/ini.h"

#include <filesystem>
#include <thread>

#include "platform/drive.h"
#include "tests/platform/platform_fixture.h"

namespace {

using platform_test::FolderTest;
using platform_test::ScopedHome;

// A settings file as a Windows program leaves it: CR LF line ends, a
// comment, blanks around names and values, quotes, odd integers.
constexpr const char *kSample =
    "; written by hand\r\n"
    "[Setting]\r\n"
    "CodePage = 936   \r\n"
    "Name = \"Quoted Value \"  \r\n"
    "Single='x'\r\n"
    "Int12abc=12abc\r\n"
    "IntEmpty=\r\n"
    "IntNeg=-5\r\n"
    "IntWord=abc\r\n"
    "IntPlus=  +7\r\n"
    "IntHex=0x10\r\n"
    "IntSpaced=4 2\r\n"
    "IntBig=4294967297\r\n"
    "this line means nothing\r\n"
    "Dup=first\r\n"
    "Dup=second\r\n"
    "\r\n"
    "[Other]\r\n"
    "Key=other\r\n"
    "Half\"=\"quote\r\n";

class IniTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    file_ = path("sample.ini");
    write_text(file_, kSample);
  }
  std::string get(const char *section, const char *key, const char *def = "DEF") {
    return platform::profile_get_string(section, key, def, file_.c_str());
  }
  int32_t get_int(const char *section, const char *key, int32_t def = 99) {
    return platform::profile_get_int(section, key, def, file_.c_str());
  }
  std::string file_;
};

TEST_F(IniTest, StringReads) {
  struct Case {
    const char *section, *key, *def, *expected;
  } cases[] = {
      {"Setting", "CodePage", "x", "936"},  // blanks around the value go
      {"SETTING", "codepage", "x", "936"},  // names match in any case
      {"setting", "CODEPAGE", "x", "936"},
      {"Setting", "Name", "x", "Quoted Value "},  // one pair of quotes goes, inside kept
      {"Setting", "Single", "x", "x"},
      {"Setting", "IntEmpty", "x", ""},  // an empty value is a value
      {"Setting", "Dup", "x", "first"},  // the first of two wins
      {"Other", "Key", "x", "other"},
      {"Other", "Half\"", "x", "\"quote"},  // unmatched quotes stay
      {"Setting", "Missing", "fallback", "fallback"},
      {"Setting", "Missing", "trailing  \t", "trailing"},  // default loses trailing blanks
      {"Setting", "Missing", nullptr, ""},
      {"Nowhere", "CodePage", "d", "d"},
      {"Setting", "this line means nothing", "d", "d"},
      {"Other", "CodePage", "d", "d"},  // keys belong to their own section
  };
  for (const auto &c : cases)
    EXPECT_EQ(platform::profile_get_string(c.section, c.key, c.def, file_.c_str()), c.expected)
        << c.section << " / " << c.key;
}

TEST_F(IniTest, IntegerReads) {
  struct Case {
    const char *key;
    int32_t expected;
  } cases[] = {
      {"CodePage", 936}, {"Int12abc", 12}, {"IntEmpty", 99}, {"IntNeg", -5},  {"IntWord", 0}, {"IntPlus", 7},
      {"IntHex", 0},     {"IntSpaced", 4}, {"IntBig", 1},    {"Missing", 99}, {"Name", 0},
  };
  for (const auto &c : cases) EXPECT_EQ(get_int("setting", c.key), c.expected) << c.key;
  EXPECT_EQ(get_int("NoSection", "CodePage", -3), -3);
}

TEST_F(IniTest, MissingFileGivesDefaultsAndDeletesCreateNothing) {
  std::string missing = path("none.ini");
  EXPECT_EQ(platform::profile_get_string("A", "B", "dflt", missing.c_str()), "dflt");
  EXPECT_EQ(platform::profile_get_int("A", "B", 17, missing.c_str()), 17);
  EXPECT_TRUE(platform::profile_write_string("A", "B", nullptr, missing.c_str()));
  EXPECT_TRUE(platform::profile_write_string("A", nullptr, nullptr, missing.c_str()));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_TRUE(platform::profile_get_sections(missing.c_str()).empty());
  EXPECT_TRUE(platform::profile_get_keys("A", missing.c_str()).empty());
}

TEST_F(IniTest, WriteIntoExistingSectionKeepsEverythingElse) {
  ASSERT_TRUE(platform::profile_write_string("OTHER", "New", "value  ", file_.c_str()));
  ASSERT_TRUE(platform::profile_write_string("setting", "CODEPAGE", "950", file_.c_str()));
  EXPECT_EQ(get("Other", "new"), "value");  // trailing blanks are not read back
  EXPECT_EQ(get_int("Setting", "CodePage"), 950);
  std::string text = read_text(file_);
  // The key keeps the file's spelling; line ends stay CR LF; the comment and
  // the unknown line survive; the new key follows the section's last key.
  EXPECT_NE(text.find("CodePage=950\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("CODEPAGE"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("; written by hand\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("this line means nothing\r\n"), std::string::npos);
  EXPECT_NE(text.find("Half\"=\"quote\r\nNew=value  \r\n"), std::string::npos) << text;
  // The untouched keys read as before.
  EXPECT_EQ(get("Setting", "Name"), "Quoted Value ");
  EXPECT_EQ(get("Setting", "Dup"), "first");
}

TEST_F(IniTest, WriteIntoNewSectionAndNewFile) {
  ASSERT_TRUE(platform::profile_write_string("Fresh", "A", "1", file_.c_str()));
  EXPECT_EQ(get_int("fresh", "a"), 1);
  EXPECT_EQ(get("Other", "Key"), "other");
  std::string text = read_text(file_);
  EXPECT_NE(text.find("[Fresh]\r\nA=1\r\n"), std::string::npos) << text;

  std::string created = path("sub.ini");
  ASSERT_TRUE(platform::profile_write_string("S", "K", "v", created.c_str()));
  ASSERT_TRUE(platform::profile_write_string("S", "K2", "v2", created.c_str()));
  ASSERT_TRUE(platform::profile_write_string("T", "K", "w", created.c_str()));
  EXPECT_EQ(read_text(created), "[S]\nK=v\nK2=v2\n\n[T]\nK=w\n");
}

TEST_F(IniTest, DeleteKeyAndSection) {
  ASSERT_TRUE(platform::profile_write_string("setting", "codepage", nullptr, file_.c_str()));
  EXPECT_EQ(get("Setting", "CodePage"), "DEF");
  EXPECT_EQ(get("Setting", "Name"), "Quoted Value ");
  // Deleting the first of two equal keys uncovers the second.
  ASSERT_TRUE(platform::profile_write_string("Setting", "Dup", nullptr, file_.c_str()));
  EXPECT_EQ(get("Setting", "Dup"), "second");

  ASSERT_TRUE(platform::profile_write_string("SETTING", nullptr, nullptr, file_.c_str()));
  EXPECT_EQ(get("Setting", "Name"), "DEF");
  EXPECT_EQ(get("Other", "Key"), "other");
  EXPECT_EQ(platform::profile_get_sections(file_.c_str()), std::vector<std::string>{"Other"});
  std::string text = read_text(file_);
  EXPECT_EQ(text.find("this line means nothing"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("; written by hand\r\n", 0), 0u) << text;
}

TEST_F(IniTest, DeletesEverySectionOfTheSameName) {
  write_text(file_, "[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n");
  ASSERT_TRUE(platform::profile_write_string("A", nullptr, nullptr, file_.c_str()));
  EXPECT_EQ(read_text(file_), "[B]\ny=2\n");
}

TEST_F(IniTest, ListsSectionsAndKeys) {
  EXPECT_EQ(platform::profile_get_sections(file_.c_str()), (std::vector<std::string>{"Setting", "Other"}));
  EXPECT_EQ(platform::profile_get_keys("other", file_.c_str()), (std::vector<std::string>{"Key", "Half\""}));
  auto keys = platform::profile_get_keys("Setting", file_.c_str());
  ASSERT_EQ(keys.size(), 12u);
  EXPECT_EQ(keys.front(), "CodePage");
  EXPECT_EQ(keys.back(), "Dup");
}

TEST_F(IniTest, RefusesWritesThatWouldChangeTheStructure) {
  std::string before = read_text(file_);
  EXPECT_FALSE(platform::profile_write_string("Setting", "K", "two\nlines", file_.c_str()));
  EXPECT_FALSE(platform::profile_write_string("Setting", "K=V", "x", file_.c_str()));
  EXPECT_FALSE(platform::profile_write_string("Bad]Name", "K", "x", file_.c_str()));
  EXPECT_FALSE(platform::profile_write_string(nullptr, "K", "x", file_.c_str()));
  EXPECT_EQ(read_text(file_), before);
}

TEST_F(IniTest, WritesLeaveNoTemporaryFilesAndKeepPermissions) {
  std::filesystem::permissions(file_, std::filesystem::perms(0600));
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(platform::profile_write_string("S", "K", std::to_string(i).c_str(), file_.c_str()));
  auto entries =
      std::distance(std::filesystem::directory_iterator(dir()), std::filesystem::directory_iterator{});
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(std::filesystem::status(file_).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0600));
}

TEST_F(IniTest, ConcurrentWritersLoseNothing) {
  auto writer = [&](const char *prefix) {
    for (int i = 0; i < 40; ++i)
      platform::profile_write_string("Race", (prefix + std::to_string(i)).c_str(), "1", file_.c_str());
  };
  std::thread a(writer, "a"), b(writer, "b");
  a.join();
  b.join();
  EXPECT_EQ(platform::profile_get_keys("Race", file_.c_str()).size(), 80u);
}

TEST_F(IniTest, BareNamesLiveInTheSettingsFolderWhateverTheirCase) {
  ScopedHome home(dir());
  EXPECT_EQ(platform::settings_folder(), dir());
  write_text(path("razavori.ini"), "[INSTALL]\nINSTALLPATH=/opt/x\n");
  EXPECT_EQ(platform::profile_path("RAZAVORI.INI"), path("razavori.ini"));
  EXPECT_EQ(platform::profile_get_string("install", "installpath", "", "RAZAVORI.INI"), "/opt/x");
  ASSERT_TRUE(platform::profile_write_string("FENNICK", "OUTPUT", "/out", "Razavori.Ini"));
  EXPECT_FALSE(std::filesystem::exists(path("Razavori.Ini")));
  EXPECT_EQ(platform::profile_get_string("fennick", "output", "", "razavori.ini"), "/out");
  // A new file is made under the name asked for.
  ASSERT_TRUE(platform::profile_write_string("SETTING", "X", "1", "KESTRUM.INI"));
  EXPECT_TRUE(std::filesystem::exists(path("KESTRUM.INI")));
}

TEST_F(IniTest, SettingsFolderFallsBackToTheConfigFolder) {
  const char *old_home = std::getenv("RAZAVORI_HOME");
  std::string saved = old_home ? old_home : "";
  unsetenv("RAZAVORI_HOME");
  setenv("XDG_CONFIG_HOME", path("cfg").c_str(), 1);
  EXPECT_EQ(platform::settings_folder(), path("cfg") + "/razavori");
  EXPECT_TRUE(std::filesystem::is_directory(path("cfg/razavori")));
  unsetenv("XDG_CONFIG_HOME");
  if (old_home) setenv("RAZAVORI_HOME", saved.c_str(), 1);
}

TEST_F(IniTest, DriveMapComesFromTheSettingsFile) {
  ScopedHome home(dir());
  write_text(path("RAZAVORI.INI"), "[DRIVES]\nd=/dev/sr0\nF = /discs/vcd.cue\n");
  EXPECT_EQ(platform::drive_device('D'), "/dev/sr0");
  EXPECT_EQ(platform::drive_device('f'), "/discs/vcd.cue");
  EXPECT_EQ(platform::drive_device('E'), "");
  EXPECT_EQ(platform::mapped_drives(), "DF");
  EXPECT_EQ(platform::drive_letter("d:\\VIDEO_TS"), 'D');
  EXPECT_EQ(platform::drive_letter("/d:"), 0);
  EXPECT_EQ(platform::drive_type("D:\\"), platform::DriveType::cdrom);
  EXPECT_EQ(platform::drive_type("f:"), platform::DriveType::cdrom);
  EXPECT_EQ(platform::drive_type("E:\\"), platform::DriveType::no_root_dir);
  EXPECT_EQ(platform::drive_type(dir().c_str()), platform::DriveType::fixed);
  EXPECT_EQ(platform::drive_type(""), platform::DriveType::no_root_dir);
  EXPECT_EQ(platform::drive_type(nullptr), platform::DriveType::no_root_dir);
}

}  // namespace
