#include "tools/common/language_names.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tools_common {
namespace {

TEST(LanguageNames, TableIsInCodeOrderWithTheDesignedNames) {
  const auto &t = language_table();
  EXPECT_STREQ(t.front().code, "aa");
  EXPECT_STREQ(t.front().name, "Afar");
  EXPECT_STREQ(t.back().code, "zu");
  EXPECT_STREQ(t.back().name, "Zulu");
  for (size_t i = 1; i < t.size(); ++i) EXPECT_LT(std::strcmp(t[i - 1].code, t[i].code), 0) << t[i].code;
  for (const auto &e : t) EXPECT_LE(std::strlen(e.name), static_cast<size_t>(kLanguageNameMax)) << e.code;
  LanguageNames names;
  EXPECT_STREQ(names.find('d', 'e'), "German");
  EXPECT_STREQ(names.find('b', 'n'), "Bengali;Bangla");
  EXPECT_STREQ(names.find('t', 'e'), "Tegulu");
  EXPECT_EQ(names.find('x', 'x'), nullptr);
  EXPECT_EQ(names.find(0, 0), nullptr);
}

TEST(LanguageNames, LcdLinesRenameKnownCodes) {
  LanguageNames names;
  const std::string lcd =
      "  \t\r\n"
      "de Deutsch  \t\r\n"
      "fr\tFran\xC3\xA7"
      "ais\n"
      "en\n"          // under four characters: ignored
      "xx Unknown\n"  // not in the table
      "it    Italiano con un nome molto molto lungo\n"
      "ja \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // no line end at the close
  EXPECT_EQ(names.apply_lcd(lcd), 4);
  EXPECT_STREQ(names.find('d', 'e'), "Deutsch");
  EXPECT_STREQ(names.find('f', 'r'),
               "Fran\xC3\xA7"
               "ais");
  EXPECT_STREQ(names.find('e', 'n'), "English");
  EXPECT_EQ(std::string(names.find('i', 't')), std::string("Italiano con un nome molto mo"));
  EXPECT_STREQ(names.find('j', 'a'), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
}

TEST(LanguageNames, CutsAtCharactersNeverInsideOne) {
  std::string many;
  for (int i = 0; i < 40; ++i) many += "\xE4\xB8\xAD";  // 40 CJK characters, 3 bytes each
  LanguageNames names;
  names.apply_lcd("zh " + many);
  const std::string got = names.find('z', 'h');
  EXPECT_EQ(got.size(), 29u * 3);
  EXPECT_TRUE(is_valid_utf8(got));
}

TEST(LanguageNames, DecodesLcdBytes) {
  EXPECT_EQ(decode_lcd_bytes("\xEF\xBB\xBF"
                             "de Deutsch",
                             nullptr, nullptr),
            "de Deutsch");
  // Not UTF-8, no other decoder: Windows-1252.
  EXPECT_EQ(decode_lcd_bytes("fr Fran\xE7"
                             "ais \x80",
                             nullptr, nullptr),
            "fr Fran\xC3\xA7"
            "ais \xE2\x82\xAC");
  auto upper = [](std::string_view b, void *) {
    return std::string("decoded:") + std::string(b.size(), '?');
  };
  EXPECT_EQ(decode_lcd_bytes("\xD6\xD0", +upper, nullptr), "decoded:??");
  const char *bad[] = {"\xC0\x80", "\xED\xA0\x80", "\xE4\xB8", "\xF5\x80\x80\x80", "\x80"};
  for (const char *b : bad) EXPECT_FALSE(is_valid_utf8(b)) << b;
  EXPECT_TRUE(is_valid_utf8("plain \xE4\xB8\xAD \xF0\x9F\x98\x80"));
}

}  // namespace
}  // namespace tools_common
