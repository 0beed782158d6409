#include "platform/system_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(SystemInfo, AnswersAsTheNtFamilyVersionFive) {
  platform::OsVersion v = platform::os_version();
  EXPECT_TRUE(v.nt_family);
  EXPECT_EQ(v.major, 5u);
  EXPECT_EQ(v.minor, 1u);
  EXPECT_FALSE(platform::kernel_release().empty());
}

TEST(SystemInfo, CodePageFollowsTheLocale) {
  struct Case {
    const char *lc_all, *lang;
    uint32_t expected;
  } cases[] = {
      {"zh_CN.UTF-8", nullptr, 936},
      {"zh_TW.Big5", nullptr, 950},
      {nullptr, "zh_HK.UTF-8", 950},
      {nullptr, "ja_JP.UTF-8", 932},
      {nullptr, "ko_KR", 949},
      {nullptr, "en_GB.UTF-8", 1252},
      {"", "zh_SG", 936},
      {nullptr, nullptr, 1252},
      {"C", "zh_CN", 1252},
  };
  const char *names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char *v = std::getenv(names[i]);
    had[i] = v != nullptr;
    if (v) saved[i] = v;
  }
  unsetenv("LC_CTYPE");
  for (const auto &c : cases) {
    c.lc_all ? setenv("LC_ALL", c.lc_all, 1) : unsetenv("LC_ALL");
    c.lang ? setenv("LANG", c.lang, 1) : unsetenv("LANG");
    EXPECT_EQ(platform::system_code_page(), c.expected)
        << (c.lc_all ? c.lc_all : "-") << " / " << (c.lang ? c.lang : "-");
  }
  for (int i = 0; i < 3; ++i) had[i] ? setenv(names[i], saved[i].c_str(), 1) : unsetenv(names[i]);
}

}  // namespace
