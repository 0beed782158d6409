#include "tools/common/text_format.h"

#include <gtest/gtest.h>

namespace tools_common {
namespace {

struct FormatCase {
  const char *fmt;
  std::vector<TextArg> args;
  const char *want;
};

TEST(TextFormat, FillsOnlyFromArgumentsOfItsOwnType) {
  const FormatCase cases[] = {
      {"Output From %s to %s", {"a.vob", "/out/a.MPG"}, "Output From a.vob to /out/a.MPG"},
      {"Audio Stream [%x]", {int32_t{0xC0}}, "Audio Stream [c0]"},
      {"Audio Stream %0X", {int32_t{0xBD}}, "Audio Stream BD"},
      {"Video_%02d.VBS", {int32_t{3}}, "Video_03.VBS"},
      {"Language [%d]", {int32_t{-5}}, "Language [-5]"},
      {"100%% [%d]", {int32_t{7}}, "100% [7]"},
      // Wrong kinds and missing arguments show as typed; later ones stay in place.
      {"%d then %s", {"text", "word"}, "%d then word"},
      {"%s and %s", {"one"}, "one and %s"},
      {"%n %p %f %", {int32_t{1}}, "%n %p %f %"},
      // Widths are capped, never an allocation the text asks for.
      {"%999999999d", {int32_t{1}}, nullptr},
  };
  for (const auto &c : cases) {
    const std::string got = format_text(c.fmt, c.args);
    if (c.want)
      EXPECT_EQ(got, c.want) << c.fmt;
    else
      EXPECT_EQ(got.size(), static_cast<size_t>(kMaxFieldWidth)) << c.fmt;
  }
}

TEST(TextFormat, ConversionsAndAtSigns) {
  EXPECT_EQ(format_conversions("Output From %s to %s (%d%%) %0X"), "ssdX");
  EXPECT_EQ(format_conversions("no conversions %% here"), "");
  const auto parts = split_at_signs("Input Files@Output Files@");
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0], "Input Files");
  EXPECT_EQ(parts[1], "Output Files");
  EXPECT_EQ(split_at_signs("one").size(), 1u);
  EXPECT_TRUE(split_at_signs("").empty());
}

}  // namespace
}  // namespace tools_common
