// The skipping rules of the normal play loop, driven through stand-in
// ports: a stream of picture types whose video ring drains by a fixed
// number of bytes per picture read. What was decoded (and what only passed
// over) shows which rule applied.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "video/engine/engine.h"
#include "video/engine/play/levels.h"
#include "video/engine/play/loop_context.h"
#include "video/engine/play/loop_ports.h"
#include "video/engine/play/loops.h"
#include "video/engine/play/picture_steps.h"
#include "video/engine/ports.h"

namespace {

namespace kp = kestrum::play;

constexpr int32_t I = 1, P = 2, B = 3;

struct FakeStream {
  std::vector<int32_t> types;
  size_t next = 0;
  size_t parsed = 0;
  int32_t start_fill = 0;
  int32_t bytes_per_picture = 0;
  std::vector<size_t> decoded;
  size_t repeat_at = SIZE_MAX;  // decoding this one brings back a shown picture
} g;

int32_t fill() { return g.start_fill - static_cast<int32_t>(g.next) * g.bytes_per_picture; }

const kp::LoopPort kLoopPort = {
    fill,
    []() -> int32_t { return 100000; },  // the audio ring is well fed
    []() -> int32_t {
      if (g.next >= g.types.size()) return 0;
      g.parsed = g.next++;
      return g.types[g.parsed];
    },
    []() { g.decoded.push_back(g.parsed); },
    []() -> int32_t { return 0; },
    []() -> int32_t { return 0; },
    []() -> int32_t { return !g.decoded.empty() && g.decoded.back() == g.repeat_at ? 1 : 0; },
};

const kestrum::DecoderPort kDecoderPort = {
    []() {},
    []() {},
    [](int32_t) -> int32_t { return 1; },
    []() -> int32_t {
      if (g.next >= g.types.size()) return 0;
      g.decoded.push_back(g.next++);
      return 1;
    },
    [](kestrum::StreamParams *p) { *p = kestrum::StreamParams{}; },
    [](KestrumPicture *) -> int32_t { return 0; },
    []() -> int32_t { return 0; },
    [](int32_t) {},
    [](int32_t) {},
};

// Two GOPs of I B B P B B P B B.
std::vector<int32_t> two_gops() {
  std::vector<int32_t> t;
  for (int gop = 0; gop < 3; ++gop) {
    for (int32_t type : {I, B, B, P, B, B, P, B, B}) t.push_back(type);
  }
  return t;
}

class PlaybackSkipping : public ::testing::Test {
 protected:
  void SetUp() override {
    kestrum::Engine &e = kestrum::engine();
    kestrum::set_decoder_port(&kDecoderPort);
    kp::set_loop_port(&kLoopPort);
    g = FakeStream{};
    kestrum::EngineState &s = e.state;
    s.source.open = 1;
    s.source.open_mode = 0;
    s.playback.stopped = 0;
    s.source.closing = 0;
    s.playback.abort = 0;
    s.audio_link.audio_open = 1;  // the skipping rules apply only with sound
    s.audio_link.audio_running = 0;
    s.source.audio_present = 1;
    s.source.is_elementary = 0;
    s.picture.picture_held = 0;
  }
  void TearDown() override {
    kestrum::EngineState &s = kestrum::engine().state;
    s.source.open = 0;
    s.playback.stopped = 1;
    s.audio_link.audio_open = 0;
    kp::set_loop_port(nullptr);
    kestrum::set_decoder_port(nullptr);
  }
  // One call of the normal (or MPEG-2) loop, with a 1 ms frame period.
  void run_loop(int32_t start_fill, int32_t per_picture, size_t first = 1, bool mpeg2 = false) {
    g.types = two_gops();
    g.next = first;
    g.start_fill = start_fill + static_cast<int32_t>(first) * per_picture;
    g.bytes_per_picture = per_picture;
    kp::LoopContext c;
    c.video = mpeg2 ? kp::mpeg2_video_levels(kDvdVbv) : kp::mpeg1_video_levels();
    c.period = 1;
    if (mpeg2) {
      kp::mpeg2_loop(kestrum::engine(), c);
    } else {
      kp::normal_loop(kestrum::engine(), c);
    }
  }
  static constexpr int32_t kDvdVbv = 112 * 2048;
};

TEST_F(PlaybackSkipping, AboveLevelFiveJumpsToTheNextIntraPicture) {
  // From the first B of GOP 1 with the ring above level 5: everything up to
  // the I of GOP 2 (index 9) is passed over, and that I is decoded first.
  run_loop(kp::kMpeg1VideoLevel5 + 20000, 4000);
  ASSERT_FALSE(g.decoded.empty());
  EXPECT_EQ(g.decoded[0], 9u);
}

TEST_F(PlaybackSkipping, BetweenLevelsFourAndFiveOnlyBPicturesGo) {
  // Between levels 4 and 5 the two B pictures go and the P (index 3) is
  // decoded.
  run_loop(kp::kMpeg1VideoLevel4 + 20000, 2000);
  ASSERT_FALSE(g.decoded.empty());
  EXPECT_EQ(g.decoded[0], 3u);
  for (size_t d : g.decoded) EXPECT_GE(d, 3u);
}

TEST_F(PlaybackSkipping, SkippingStopsAtLevelTwo) {
  // The jump to the next I gives up once the ring is down to level 2: the
  // picture after that is decoded in order.
  const int32_t per = 20000;
  run_loop(kp::kMpeg1VideoLevel5 + 1000, per);
  ASSERT_FALSE(g.decoded.empty());
  // Pictures read until the ring is at or below level 2.
  const int32_t reads = (kp::kMpeg1VideoLevel5 + 1000 - kp::kMpeg1VideoLevel2 + per - 1) / per;
  EXPECT_LT(g.decoded[0], 9u);
  EXPECT_EQ(g.decoded[0], 1u + static_cast<size_t>(reads));
}

TEST_F(PlaybackSkipping, BelowLevelThreeEveryPictureIsDecoded) {
  run_loop(kp::kMpeg1VideoLevel2 - 1000, 0);
  ASSERT_EQ(g.decoded.size(), static_cast<size_t>(kp::kPicturesPerCall));
  for (size_t i = 0; i < g.decoded.size(); ++i) EXPECT_EQ(g.decoded[i], 1 + i);
}

TEST_F(PlaybackSkipping, WithoutSoundNothingIsSkipped) {
  kestrum::engine().state.audio_link.audio_open = 0;
  kestrum::engine().state.playback.real_time = 0;
  run_loop(kp::kMpeg1VideoLevel5 + 50000, 0);
  ASSERT_EQ(g.decoded.size(), static_cast<size_t>(kp::kPicturesPerCall));
  for (size_t i = 0; i < g.decoded.size(); ++i) EXPECT_EQ(g.decoded[i], 1 + i);
  kestrum::engine().state.playback.real_time = 1;
}

TEST_F(PlaybackSkipping, FastModeShowsAnchorsOnly) {
  // Fast mode: four pictures per call, each scanStep anchors further on.
  g.types = two_gops();
  g.next = 0;
  g.start_fill = 0;
  kestrum::EngineState &s = kestrum::engine().state;
  const int32_t step = s.playback.scan_step;
  s.playback.scan_step = 2;
  kp::LoopContext c;
  kp::fast_loop(kestrum::engine(), c);
  s.playback.scan_step = step;
  // Anchors in stream order: I0 P3 P6 I9 P12 P15 I18 P21 ...; two per shown picture.
  const std::vector<size_t> want = {0, 3, 6, 9, 12, 15, 18, 21};
  EXPECT_EQ(g.decoded, want);
}

TEST_F(PlaybackSkipping, SlowModeDecodesEveryPictureOneAtATime) {
  g.types = two_gops();
  g.next = 0;
  kp::LoopContext c;
  kp::slow_loop(kestrum::engine(), c);
  kp::slow_loop(kestrum::engine(), c);
  const std::vector<size_t> want = {0, 1};
  EXPECT_EQ(g.decoded, want);
}

TEST_F(PlaybackSkipping, FastModeStopsAtTheEnd) {
  g.types = {I, B, P};
  g.next = 0;
  kp::LoopContext c;
  kp::fast_loop(kestrum::engine(), c);
  EXPECT_EQ(kestrum::engine().state.playback.stopped.load(), 1);
  EXPECT_EQ(kestrum::engine().state.playback.end_of_stream.load(), 1);
}

TEST_F(PlaybackSkipping, Mpeg2AboveLevelEightJumpsToTheNextIntraPicture) {
  run_loop(kp::kMpeg2VideoLevel8 + 40000, 4000, 1, true);
  ASSERT_FALSE(g.decoded.empty());
  EXPECT_EQ(g.decoded[0], 9u);
}

TEST_F(PlaybackSkipping, Mpeg2BetweenLevelsSevenAndEightDropsBPicturesOnly) {
  // Above the middle of levels 7 and 8: B pictures go up to the P at 3.
  const int32_t fill = (kp::kMpeg2VideoLevel7 + kp::kMpeg2VideoLevel8) / 2 + 20000;
  run_loop(fill, 2000, 1, true);
  ASSERT_FALSE(g.decoded.empty());
  EXPECT_EQ(g.decoded[0], 3u);
}

TEST_F(PlaybackSkipping, Mpeg2AboveLevelFourDecodesAnchorsOnly) {
  // Between level 4 and level 5 of a DVD-sized VBV: "decode unless B",
  // repeated; the B pictures are parsed past, never decoded.
  const kp::VideoLevels v = kp::mpeg2_video_levels(kDvdVbv);
  run_loop(v.level[4] + 1000, 0, 1, true);
  ASSERT_FALSE(g.decoded.empty());
  for (size_t d : g.decoded) EXPECT_NE(g.types[d], B) << d;
}

TEST_F(PlaybackSkipping, Mpeg2BelowTheSkippingLevelsEveryPictureIsDecoded) {
  const kp::VideoLevels v = kp::mpeg2_video_levels(kDvdVbv);
  run_loop(v.level[1] - 1000, 0, 1, true);
  ASSERT_EQ(g.decoded.size(), static_cast<size_t>(kp::kPicturesPerCall));
  for (size_t i = 0; i < g.decoded.size(); ++i) EXPECT_EQ(g.decoded[i], 1 + i);
}

}  // namespace

TEST_F(PlaybackSkipping, AnAnchorThatBringsBackTheSeekPictureIsFollowedAtOnce) {
  // After a seek showed the I picture (index 0) early, the next anchor's
  // rotation would show that I again: the skipping steps decode on to the
  // picture after the anchor, which is the next one in display order.
  struct Case {
    const char *step;
    size_t first;
    std::vector<size_t> want;
  };
  const Case cases[] = {
      {"pass to an anchor", 1, {3, 4}},  // the two B go, P then the B after it
      {"decode unless B", 3, {3, 4}},    // P is decoded, then the B after it
      {"no repeat", 3, {3}},             // an ordinary anchor stays alone
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.step);
    g = FakeStream{};
    g.types = two_gops();
    g.next = c.first;
    g.start_fill = 1 << 30;
    g.repeat_at = c.want.size() > 1 ? 3 : SIZE_MAX;
    kestrum::Engine &e = kestrum::engine();
    const kp::Got got = c.first == 1 ? kp::pass_to(e, kp::kAnchors, 0) : kp::decode_unless_b(e);
    EXPECT_EQ(got, kp::Got::picture);
    EXPECT_EQ(g.decoded, c.want);
  }
}
