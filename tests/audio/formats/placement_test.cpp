// Speaker placement: every preset of both tables against the formulas on
// synthetic frames, the layouts command 48 writes, and hostile layouts.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "audio/output/speaker_placement.h"

namespace {

using namespace lunaret;

int32_t sat(int64_t v) { return v > 32767 ? 32767 : v < -32768 ? -32768 : static_cast<int32_t>(v); }
int32_t q(int32_t v) { return v * 3 / 4; }

struct Six {
  int32_t l, c, r, ls, rs, lfe;
};

// The output a preset gives for one complete intermediate frame, role by
// role (-1: the preset does not write the role).
std::array<int64_t, kRoleCount> expected(int preset, bool alt, const Six &f) {
  std::array<int64_t, kRoleCount> o;
  o.fill(-1000000);
  const int64_t lfe = alt ? 0 : f.lfe;
  switch (preset) {
    case 0:
      if (alt) {
        o[0] = q(f.l + f.r) + f.c * 23 / 16;
        o[4] = q(f.ls + f.rs);
      } else {
        o[0] = f.l + q(f.c - f.ls - f.rs) + lfe;
        o[1] = f.r + q(f.c + f.ls + f.rs) + lfe;
      }
      break;
    case 1:
    case 2:
    case 3:
      o[0] = q(f.l + f.r + f.ls + f.rs) + f.c * 23 / 16 + lfe;
      break;
    case 4:
    case 11:
      o[0] = f.l + q(f.ls + f.c) + lfe, o[1] = f.r + q(f.rs + f.c) + lfe;
      break;
    case 5:
      o[0] = f.l + q(f.ls) + lfe, o[1] = f.r + q(f.rs) + lfe, o[2] = f.c;
      break;
    case 6:
      o[0] = f.l + q(f.c) + lfe, o[1] = f.r + q(f.c) + lfe, o[4] = q(f.ls + f.rs);
      break;
    case 7:
      o[0] = f.l + lfe, o[1] = f.r + lfe, o[2] = f.c, o[4] = q(f.ls + f.rs);
      break;
    case 8:
      o[0] = f.l + q(f.c) + lfe, o[1] = f.r + q(f.c) + lfe, o[4] = f.ls, o[5] = f.rs;
      break;
    case 9:
      o[0] = f.l + lfe, o[1] = f.r + lfe, o[2] = f.c, o[4] = f.ls, o[5] = f.rs;
      break;
    case 10:
      o[0] = q(f.l + f.r) + f.c * 23 / 16 + lfe, o[4] = q(f.ls + f.rs) + lfe;
      break;
    case 12:
    case 13:
      o[0] = f.l + q(f.c) + lfe, o[1] = f.r + q(f.c) + lfe;
      if (preset == 12) {
        o[4] = q(f.ls + f.rs);
      } else {
        o[4] = f.ls, o[5] = f.rs;
      }
      o[7] = q(f.c) / 4 + (f.l + f.ls) / 2, o[8] = q(f.c) / 4 + (f.r + f.rs) / 2;
      break;
    default:  // 14, 15, 16
      o[0] = f.l + lfe, o[1] = f.r + lfe, o[2] = f.c;
      if (preset == 14) {
        o[4] = q(f.ls + f.rs);
      } else {
        o[4] = f.ls, o[5] = f.rs;
        if (preset == 16) o[6] = q(f.ls + f.rs);
      }
      o[7] = f.c * 3 / 16 + (f.l + f.ls) / 2, o[8] = f.c * 3 / 16 + (f.r + f.rs) / 2;
      break;
  }
  if (alt) o[3] = f.lfe;
  return o;
}

TEST(Placement, EveryPresetOfBothTablesFollowsItsFormulas) {
  // 3/2 with LFE needs no synthesis: what goes in is the intermediate frame.
  const Six frames[] = {{1000, -2000, 3000, 400, -500, 600},
                        {30000, 30000, 30000, 30000, 30000, 30000},
                        {-32768, -32768, 32767, -32768, 32767, -32768},
                        {-7, 5, -3, 9, -11, 13}};
  for (int alt = 0; alt < 2; ++alt)
    for (int preset = 0; preset < kPresets; ++preset) {
      const PresetLayout &l = preset_layout(alt, preset);
      if (l.channels == 0) continue;
      SCOPED_TRACE(testing::Message() << "preset " << preset << (alt ? " alternate" : ""));
      auto roles = preset_roles(alt, preset);
      Placement p;
      p.clear();
      PlacementSetup s;
      s.preset = preset;
      s.alternate = alt;
      s.roles = roles.data();
      s.out_channels = l.channels;
      s.code = 9;
      s.source_lfe = true;
      for (const Six &f : frames) {
        const int16_t in[6] = {static_cast<int16_t>(f.l),  static_cast<int16_t>(f.c),
                               static_cast<int16_t>(f.r),  static_cast<int16_t>(f.ls),
                               static_cast<int16_t>(f.rs), static_cast<int16_t>(f.lfe)};
        std::vector<int16_t> out(l.channels, 0x5A5A);
        ASSERT_EQ(p.place(s, in, 1, 6, out.data()), l.channels);
        auto want = expected(preset, alt, f);
        std::vector<int32_t> channel(l.channels, 0);
        for (int role = 0; role < kRoleCount; ++role)
          if (want[role] != -1000000) channel[roles[role]] = sat(want[role]);
        for (int c = 0; c < l.channels; ++c) EXPECT_EQ(out[c], channel[c]) << "channel " << c;
      }
    }
}

TEST(Placement, LayoutsPutEachRoleOnItsSpeaker) {
  // Preset 9: L R C Ls Rs on FL FR FC BL BR; the alternate adds LFE at 3.
  EXPECT_EQ(preset_roles(false, 9), (std::array<int32_t, kRoleCount>{0, 1, 2, 0, 3, 4, 0, 0, 0}));
  EXPECT_EQ(preset_roles(true, 9), (std::array<int32_t, kRoleCount>{0, 1, 2, 3, 4, 5, 0, 0, 0}));
  EXPECT_EQ(preset_roles(false, 8), (std::array<int32_t, kRoleCount>{0, 1, 0, 0, 2, 3, 0, 0, 0}));
  EXPECT_EQ(preset_roles(false, 13), (std::array<int32_t, kRoleCount>{0, 1, 0, 0, 2, 3, 0, 4, 5}));
  EXPECT_EQ(preset_roles(true, 0), (std::array<int32_t, kRoleCount>{0, 0, 0, 1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(preset_roles(false, 10), (std::array<int32_t, kRoleCount>{0, 0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(preset_roles(false, 16), (std::array<int32_t, kRoleCount>{0, 1, 2, 0, 3, 4, 5, 6, 7}));
}

TEST(Placement, CompletionMakesUpMissingChannels) {
  Placement p;
  p.clear();
  auto roles = preset_roles(false, 9);
  PlacementSetup s;
  s.preset = 9;
  s.roles = roles.data();
  s.out_channels = 5;
  // Stereo: centre from the mean, surrounds from the 4-frame average minus
  // the current frame.
  const int16_t st[8] = {100, 20, 200, 40, 300, 60, 400, 80};
  int16_t out[20];
  ASSERT_EQ(p.place(s, st, 4, 2, out), 20);
  EXPECT_EQ(out[15 + 0], 400);
  EXPECT_EQ(out[15 + 1], 80);
  EXPECT_EQ(out[15 + 2], (400 + 80) / 2);
  EXPECT_EQ(out[15 + 3], (100 + 200 + 300 + 400) / 4 - 400);
  EXPECT_EQ(out[15 + 4], (20 + 40 + 60 + 80) / 4 - 80);
  // Mono: both fronts carry 23/16 of the centre (saturated).
  p.clear();
  const int16_t mono[2] = {1600, 30000};
  ASSERT_EQ(p.place(s, mono, 2, 1, out), 10);
  EXPECT_EQ(out[0], 2300);
  EXPECT_EQ(out[1], 2300);
  EXPECT_EQ(out[2], 1600);
  EXPECT_EQ(out[5], 32767);
  // AC-3 2/1: the single surround (in Ls) feeds both surrounds at 23/16.
  p.clear();
  s.code = ac3_source_code(4);
  const int16_t two_one[6] = {100, 0, 300, 160, 0, 0};
  ASSERT_EQ(p.place(s, two_one, 1, 6, out), 5);
  EXPECT_EQ(out[2], 200);
  EXPECT_EQ(out[3], 230);
  EXPECT_EQ(out[4], 230);
}

TEST(Placement, AlternateTableSynthesisesLfeFromTheFronts) {
  Placement p;
  p.clear();
  auto roles = preset_roles(true, 9);
  PlacementSetup s;
  s.preset = 9;
  s.alternate = true;
  s.roles = roles.data();
  s.out_channels = 6;
  std::vector<int16_t> in(2 * 200, 1000), out(6 * 200);
  ASSERT_EQ(p.place(s, in.data(), 200, 2, out.data()), 1200);
  EXPECT_EQ(out[3], 2000 * 3 / 128);                  // one frame in the ring
  EXPECT_EQ(out[6 * 199 + 3], 2000 * 128 * 3 / 128);  // a full ring: three times the mean
}

TEST(Placement, HostileLayoutIndicesDropTheirRoles) {
  Placement p;
  p.clear();
  const int32_t roles[kRoleCount] = {-5, 1, 99, 3, 1000000, -2147483647 - 1, 6, 7, 2147483647};
  PlacementSetup s;
  s.preset = 16;
  s.roles = roles;
  s.out_channels = 8;
  s.code = 9;
  std::vector<int16_t> in(6 * 64, 1234);
  std::vector<int16_t> out(8 * 64 + 16, 0x1111);
  ASSERT_EQ(p.place(s, in.data(), 64, 6, out.data()), 8 * 64);
  for (int f = 0; f < 64; ++f) {
    EXPECT_EQ(out[f * 8 + 0], 0);  // no role writes channel 0: silent
    EXPECT_EQ(out[f * 8 + 1], 1234);
  }
  for (size_t i = 8 * 64; i < out.size(); ++i) EXPECT_EQ(out[i], 0x1111);
}

}  // namespace
