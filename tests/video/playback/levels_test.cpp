// The ring levels the play loops steer by, worked out by hand from the
// stream values that select them.
#include "video/engine/play/levels.h"

#include <gtest/gtest.h>

#include "video/decode/decoder.h"
#include "video/engine/play/audio_sync.h"
#include "video/engine/play/loop_context.h"

namespace kp = kestrum::play;

TEST(PlaybackLevels, Mpeg1LevelsAreFixed) {
  const kp::VideoLevels v = kp::mpeg1_video_levels();
  EXPECT_EQ(v.low, 0);
  const int32_t want[] = {40960, 61440, 81920, 102400, 143360};
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(v.level[i], want[i - 1]) << i;
  EXPECT_EQ(v.pace_base, 10);
  const kp::AudioLevels a = kp::audio_levels(false, 224000);
  const int32_t audio[] = {3840, 5376, 6912, 8448};
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(a.level[i], audio[i - 1]) << i;
}

TEST(PlaybackLevels, Mpeg2LevelsFollowTheVbvSize) {
  struct Case {
    int32_t vbv;
    int32_t low, l1, l2, l3, l4, l5, pace_base;
  };
  const Case cases[] = {
      // Small VBV: taken as 40960 with steps of 20480.
      {20480, 0, 40960, 61440, 81920, 102400, 122880, 10},
      {38912, 0, 40960, 61440, 81920, 102400, 122880, 10},
      // Just above the small limit: steps of K/4.
      {40960, 0, 40960, 51200, 61440, 71680, 81920, 10},
      {112 * 1024, 49152, 114688, 143360, 172032, 200704, 229376, 28},
      // The DVD range uses the fixed levels.
      {229376, 163840, 245760, 360448, 466944, 589824, 720896, 56},
      {131073, 65537, 245760, 360448, 466944, 589824, 720896, 32},
      // Above it: K/4 steps again.
      {282624, 217088, 282624, 353280, 423936, 494592, 565248, 69},
  };
  for (const Case &c : cases) {
    const kp::VideoLevels v = kp::mpeg2_video_levels(c.vbv);
    EXPECT_EQ(v.low, c.low) << c.vbv;
    EXPECT_EQ(v.level[1], c.l1) << c.vbv;
    EXPECT_EQ(v.level[2], c.l2) << c.vbv;
    EXPECT_EQ(v.level[3], c.l3) << c.vbv;
    EXPECT_EQ(v.level[4], c.l4) << c.vbv;
    EXPECT_EQ(v.level[5], c.l5) << c.vbv;
    EXPECT_EQ(v.pace_base, c.pace_base) << c.vbv;
    EXPECT_EQ(v.level[6], 917504);
    EXPECT_EQ(v.level[7], 1245184);
    EXPECT_EQ(v.level[8], 1572864);
  }
}

TEST(PlaybackLevels, VbvBytesJoinValueAndExtension) {
  EXPECT_EQ(kp::vbv_bytes(112, 0), 112 * 2048);
  EXPECT_EQ(kp::vbv_bytes(20, 0), 40960);
  EXPECT_EQ(kp::vbv_bytes(0, 1), 1 << 21);
  EXPECT_EQ(kp::vbv_bytes(1023, 255), (255 << 21) | (1023 << 11));
}

TEST(PlaybackLevels, Mpeg2AudioLevelsScaleWithTheBitRate) {
  // 192 kbit/s: 3000 bytes per 125 ms is below the floor of 3840.
  kp::AudioLevels a = kp::audio_levels(true, 192000);
  EXPECT_EQ(a.level[1], 3840);
  EXPECT_EQ(a.level[2], 3840 + 1536);
  EXPECT_EQ(a.level[4], 3840 + 3 * 1536);
  // 448 kbit/s: 7000 bytes per 125 ms, steps of 2/5 of it.
  a = kp::audio_levels(true, 448000);
  EXPECT_EQ(a.level[1], 7000);
  EXPECT_EQ(a.level[2], 9800);
  EXPECT_EQ(a.level[3], 12600);
  EXPECT_EQ(a.level[4], 15400);
  // A failing bit-rate query gives the floor, never negative levels.
  a = kp::audio_levels(true, -1);
  EXPECT_EQ(a.level[1], 3840);
}

TEST(PlaybackAudioSync, DueTimesUseTheExactFramePeriod) {
  // 29.97 Hz: a whole-millisecond period of 33 ms would be 11 ms a second
  // ahead of the sound; the exact one is not.
  const int32_t ntsc = kestrum::frame_period_us(4);
  EXPECT_EQ(ntsc, 33367);
  EXPECT_EQ(kestrum::frame_period_us(3), 40000);
  EXPECT_EQ(kestrum::frame_period_us(1), 41708);
  EXPECT_EQ(kestrum::frame_period_us(0), 33333);  // undefined codes pace like 30 Hz
  // 900 pictures in (30 s of sound), due exactly when heard: 899 shown, two
  // fields each.
  EXPECT_EQ(kp::picture_lead_ms(30030, 0, 2 * 899, ntsc, 0), 0);
  // Heard 30 s and the picture due in 20 ms: it comes 20 ms after its sound.
  EXPECT_EQ(kp::picture_lead_ms(30000, 20, 2 * 899, ntsc, 0), 10);
  // The start's offset moves every due time.
  EXPECT_EQ(kp::picture_lead_ms(1000, 0, 2 * 24, 40000, 100), 100);
}

TEST(PlaybackAudioSync, DueTimesCountDisplayTimeNotPictures) {
  // 3:2 pull-down: 720 film pictures of 2 and 3 fields alternately make
  // 1800 fields, 30 s at 29.97 Hz; counted as pictures they would be 24 s.
  const int32_t ntsc = kestrum::frame_period_us(4);
  EXPECT_EQ(kp::picture_lead_ms(30030, 0, 1800 - 2, ntsc, 0), 0);
  // A picture repeating a field keeps the next one back by half a period.
  EXPECT_EQ(kp::picture_lead_ms(0, 0, 3, ntsc, 0) - kp::picture_lead_ms(0, 0, 2, ntsc, 0), 17);
}

TEST(PlaybackPacing, PlainFramesKeepTheWholeMillisecondPeriodPullDownRunsExact) {
  kp::LoopContext c;
  c.period = kestrum::frame_period_ms(4);
  c.period_us = kestrum::frame_period_us(4);
  // Ordinary pictures: the period as it always was.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(kp::display_ms(c, 2), 33);
  EXPECT_EQ(kp::display_ms(c, 0), 33);  // unknown length: a plain frame
  // The first picture repeating a field: exact times from then on, the rest
  // carried, so that 4 film pictures take 5 frame periods.
  int64_t sum = 0;
  for (int i = 0; i < 240; ++i) sum += kp::display_ms(c, i % 2 ? 2 : 3);
  EXPECT_EQ(sum, 240 * 5 * 33367 / 4 / 1000);
  // Progressive sequences repeat whole frames.
  kp::LoopContext p;
  p.period = kestrum::frame_period_ms(4);
  p.period_us = kestrum::frame_period_us(4);
  EXPECT_EQ(kp::display_ms(p, 6), 100);
  EXPECT_EQ(kp::display_ms(p, 4), 66);
}

TEST(PlaybackAudioSync, CorrectionsAreHalfTheLeadWithinAHalfPeriod) {
  struct Case {
    int32_t lead, period_us, want;
  };
  const Case cases[] = {
      {0, 40000, 0},   {15, 40000, 0},     {-15, 40000, 0},  // within tolerance
      {16, 40000, 8},  {-30, 40000, -15},                    // half the lead
      {64, 40000, 20}, {-500, 40000, -20},                   // at most half a period
      {64, 16683, 8},                                        // 59.94 Hz
  };
  for (const Case &c : cases) {
    EXPECT_EQ(kp::sync_correction_ms(c.lead, c.period_us), c.want) << c.lead << " " << c.period_us;
  }
}
