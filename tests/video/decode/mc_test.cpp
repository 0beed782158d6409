// Motion-compensation routines: the interpolation rules of each variant on
// known pixels, and every SIMD entry against its C reference with guard
// bytes around the destination.
#include "video/decode/mc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using kestrum::McDsp;
using kestrum::McVariant;

// One predicted pixel from a 2x2 neighbourhood p0 p1 / q0 q1.
int predict_one(McVariant v, int half, int p0, int p1, int q0, int q1) {
  McDsp dsp;
  kestrum::init_mc_dsp_c(dsp, v);
  uint8_t ref[2 * 32] = {};
  ref[0] = uint8_t(p0);
  ref[1] = uint8_t(p1);
  ref[32] = uint8_t(q0);
  ref[33] = uint8_t(q1);
  uint8_t dst[2 * 32] = {};
  dsp.put[1][half](dst, ref, 32, 1);
  return dst[0];
}

TEST(Mc, InterpolationRules) {
  struct Case {
    McVariant v;
    int half, p0, p1, q0, q1, expected;
  } cases[] = {
      // Two-pixel means round up exactly in every variant.
      {McVariant::kExact, 1, 100, 100, 0, 0, 100},
      {McVariant::kExact, 1, 101, 100, 0, 0, 101},
      {McVariant::kExact, 2, 100, 0, 100, 0, 100},
      {McVariant::kThreeNeighbour, 1, 100, 100, 0, 0, 100},
      {McVariant::kThreeNeighbour, 1, 101, 100, 0, 0, 101},
      {McVariant::kPairwise, 1, 100, 100, 0, 0, 100},
      {McVariant::kPairwise, 1, 101, 100, 0, 0, 101},
      // Diagonal: four pixels by default, three or pairwise in the variants.
      {McVariant::kExact, 3, 10, 11, 11, 11, 11},  // (43 + 2) >> 2
      {McVariant::kExact, 3, 0, 0, 0, 3, 1},       // (3 + 2) >> 2
      {McVariant::kThreeNeighbour, 3, 0, 0, 0, 200, 0},
      {McVariant::kThreeNeighbour, 3, 10, 20, 40, 0, 28},  // avg(avg(10,20)=15, 40)
      {McVariant::kPairwise, 3, 0, 0, 0, 3, 1},            // avg(0, avg(0,3)=2) = 1
      {McVariant::kPairwise, 3, 1, 2, 1, 2, 2},            // avg(2, 2); exact gives 2 too
      {McVariant::kExact, 3, 1, 2, 2, 2, 2},
      {McVariant::kPairwise, 3, 0, 1, 0, 1, 1},  // avg(1,1)=1; exact (2+2)>>2 = 1
      {McVariant::kExact, 3, 0, 1, 1, 1, 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(predict_one(c.v, c.half, c.p0, c.p1, c.q0, c.q1), c.expected)
        << int(c.v) << " half " << c.half << " " << c.p0 << " " << c.p1 << " " << c.q0 << " " << c.q1;
  }
}

TEST(Mc, AveragingWithFirstPrediction) {
  McDsp dsp;
  kestrum::init_mc_dsp_c(dsp, McVariant::kExact);
  uint8_t ref[16 * 17] = {};
  std::memset(ref, 100, sizeof ref);
  uint8_t dst[16 * 17];
  std::memset(dst, 101, sizeof dst);
  dsp.avg[0][0](dst, ref, 16, 16);
  EXPECT_EQ(dst[0], 101);  // (101 + 100 + 1) >> 1
}

TEST(Mc, Sse2MatchesC) {
  constexpr int kStride = 48, kGuard = 32, kRows = 18;
  std::mt19937 rng(2024);
  for (McVariant v : {McVariant::kExact, McVariant::kThreeNeighbour, McVariant::kPairwise}) {
    McDsp c, simd;
    kestrum::init_mc_dsp_c(c, v);
    kestrum::init_mc_dsp(simd, v, kestrum::kCpuAll);
    for (int avg = 0; avg < 2; ++avg)
      for (int size = 0; size < 2; ++size)
        for (int half = 0; half < 4; ++half)
          for (int height : {16, 8, 4}) {
            for (int trial = 0; trial < 40; ++trial) {
              uint8_t ref[kRows * kStride];
              // Random pixels, and in some trials the extremes 0 / 255.
              for (auto &p : ref) p = trial % 4 == 0 ? uint8_t((rng() & 1) * 255) : uint8_t(rng());
              uint8_t da[kGuard + kRows * kStride + kGuard], db[sizeof da];
              for (auto &p : da) p = uint8_t(rng());
              std::memcpy(db, da, sizeof da);
              const auto fa = avg ? simd.avg[size][half] : simd.put[size][half];
              const auto fb = avg ? c.avg[size][half] : c.put[size][half];
              fa(da + kGuard + 3, ref + 5, kStride, height);
              fb(db + kGuard + 3, ref + 5, kStride, height);
              ASSERT_EQ(0, std::memcmp(da, db, sizeof da))
                  << "variant " << int(v) << " avg " << avg << " size " << size << " half " << half
                  << " height " << height;
            }
          }
  }
}

}  // namespace
