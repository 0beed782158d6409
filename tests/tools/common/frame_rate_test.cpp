#include "tools/common/frame_rate.h"

#include <gtest/gtest.h>

#include "tools/common/channel_table.h"

namespace {

using tools_common::choose_frame_rate_code;

TEST(FrameRate, TableByCode) {
  EXPECT_EQ(tools_common::frame_rate(1).numerator, 24000);
  EXPECT_EQ(tools_common::frame_rate(1).denominator, 1001);
  EXPECT_EQ(tools_common::frame_rate(3).numerator, 25);
  EXPECT_EQ(tools_common::frame_rate(7).numerator, 60000);
  for (int code : {0, 9, 15, 16, -1}) {
    EXPECT_EQ(tools_common::frame_rate(code).numerator, 1) << code;
    EXPECT_EQ(tools_common::frame_rate(code).denominator, 1) << code;
  }
}

TEST(FrameRate, ChoiceCases) {
  struct Case {
    double fps;
    int forced;
    bool vcd;
    int want;
  } cases[] = {
      {24000.0 / 1001, -1, false, 1},
      {24000.0 / 1001, -1, true, 3},  // d29 = 600, d25 = 103
      {24, -1, false, 2},
      {25, -1, false, 3},
      {30000.0 / 1001, -1, false, 4},
      {30, -1, true, 4},  // d29 = 3, d25 = 500
      {30, -1, false, 5},
      {50, -1, false, 3},
      {60000.0 / 1001, -1, false, 4},
      {25, 4, false, 4},
      {25, 4, true, 3},  // the Video CD rule chooses again
      {15, -1, false, 4},
      {12, -1, false, 3},
  };
  for (const Case &c : cases)
    EXPECT_EQ(choose_frame_rate_code(c.fps, c.forced, c.vcd), c.want) << c.fps << " forced " << c.forced;
}

TEST(ChannelTable, Modes) {
  EXPECT_EQ(tools_common::channels_for_mode(0), 2);
  EXPECT_EQ(tools_common::channels_for_mode(2), 2);
  EXPECT_EQ(tools_common::channels_for_mode(3), 1);
  EXPECT_EQ(tools_common::channels_for_mode(4), 0);
}

}  // namespace
