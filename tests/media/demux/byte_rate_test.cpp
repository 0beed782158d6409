// The byte rate the media layer estimates at open, against the stream's
// real rate (its size over ffprobe's duration). A mux rate field far above
// what the clock references show (a muxer's placeholder) must not become
// the rate; a plausible declared rate is kept as it is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "media/media_api.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

double real_rate(const std::string &path) {
  const std::string out = testing_support::command_output(
      "ffprobe -v error -show_entries format=duration,size -of csv=p=0 '" + path + "'");
  const double duration = std::atof(out.c_str());
  const double size = std::atof(out.substr(out.find(',') + 1).c_str());
  return duration > 0 ? size / duration : 0;
}

int32_t opened_rate(const std::string &path) {
  if (SysOpen(path.c_str(), DRAVIK_START_BEGIN) == DRAVIK_HANDLE_NONE) return -1;
  const auto rate = static_cast<int32_t>(SysControl(CTL_BYTE_RATE, 0));
  SysClose();
  return rate;
}

TEST(ByteRate, PlaceholderMuxRatesGiveWayToTheClock) {
  ASSERT_TRUE(testing_support::tool_available("ffprobe")) << "ffprobe is the oracle";
  // The flash fixtures declare about 440 Mbit/s and run at about 0.5.
  for (const char *name : {"fen_flash23.vob", "fen_flash25.vob", "fen_flash29.vob", "fen_gradient.vob"}) {
    SCOPED_TRACE(name);
    const std::string path = testing_support::media_path(name);
    const double want = real_rate(path);
    ASSERT_GT(want, 0);
    EXPECT_NEAR(opened_rate(path), want, want * 0.1);
  }
}

TEST(ByteRate, PlausibleDeclaredRateIsKept) {
  // The DVD sample declares 363,000 bytes/s and averages about 258,000: a
  // ceiling within reach of its real rate stays the rate.
  EXPECT_EQ(opened_rate(testing_support::sample_path("dvd_sample.vob")), 363000);
}

}  // namespace
