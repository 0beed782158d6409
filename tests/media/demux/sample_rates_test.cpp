// The byte rates the media layer gives for the bundled samples, against
// what the streams really run at: the Video CD sample's opening estimate
// (whose first block holds a start-up jump of the clock), and the clock
// span of both files (which tells a player their playing time).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "media/demux/clock_span.h"
#include "media/media_api.h"
#include "tests/media/fixtures.h"
#include "tests/support/test_media.h"

namespace {

TEST(SampleRates, VideoCdOpeningEstimateIsTheStreamRate) {
  const std::string path = testing_support::sample_path("vcd_sample.mpg");
  ASSERT_NE(SysOpen(path.c_str(), DRAVIK_START_BEGIN), DRAVIK_HANDLE_NONE) << path;
  const auto rate = static_cast<double>(SysControl(CTL_BYTE_RATE, 0));
  SysClose();
  // 2324-byte packs, 75 a second: 174,300 bytes/s (the clock runs a
  // little faster, about 176,400).
  EXPECT_NEAR(rate, 174300.0, 174300.0 * 0.02);
}

TEST(SampleRates, ClockSpanGivesThePlayingTime) {
  const struct {
    const char *name;
    double seconds;
  } samples[] = {{"dvd_sample.vob", 10.0}, {"vcd_sample.mpg", 5.0}};
  for (const auto &s : samples) {
    SCOPED_TRACE(s.name);
    const std::string path = testing_support::sample_path(s.name);
    DravikClockSpan span{};
    ASSERT_EQ(DravikGetClockSpan(path.c_str(), &span), 1);
    EXPECT_EQ(span.first_offset, 0);
    const double seconds = double(span.last_scr_half - span.first_scr_half) / 45000.0;
    EXPECT_NEAR(seconds, s.seconds, 0.5);
  }
}

TEST(SampleRates, ClockSpanOfWhatIsNoProgramStream) {
  const std::string text = media_test::write_file("span.txt", media_test::Bytes(100000, 'x'));
  const std::string empty = media_test::write_file("span_empty.mpg", {});
  DravikClockSpan span{};
  EXPECT_EQ(DravikGetClockSpan(text.c_str(), &span), 0);
  EXPECT_EQ(DravikGetClockSpan(empty.c_str(), &span), 0);
  EXPECT_EQ(DravikGetClockSpan((testing_support::scratch_dir() + "/none.mpg").c_str(), &span), 0);
  EXPECT_EQ(DravikGetClockSpan("/dev/zero", &span), 0);
  EXPECT_EQ(DravikGetClockSpan(nullptr, &span), 0);
  EXPECT_EQ(DravikGetClockSpan(text.c_str(), nullptr), 0);
}

}  // namespace
