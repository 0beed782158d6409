// The inverse DCTs: IEEE 1180 accuracy of the default transform (the
// standard's random-block procedure), the "sample + 512" form of both
// transforms, and every SIMD entry against its C reference.
#include "video/decode/idct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "video/decode/decoder.h"
#include "video/decode/x86/idct_x86.h"

namespace {

// The random generator the IEEE 1180 procedure prescribes.
struct Ieee1180Random {
  long randx = 1;
  long next(long low, long high) {
    randx = (randx * 1103515245 + 12345) & 0xFFFFFFFFL;
    const long i = randx & 0x7FFFFFFE;
    const double x = double(i) / double(0x7FFFFFFF) * double(low + high + 1);
    return long(x) - low;
  }
};

struct Basis {
  double b[8][8];
  Basis() {
    for (int k = 0; k < 8; ++k)
      for (int n = 0; n < 8; ++n)
        b[k][n] = (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * M_PI / 16.0);
  }
};
const Basis kBasis;
inline double basis(int k, int n) { return kBasis.b[k][n]; }

// Separable double-precision transforms (rows, then columns).
void forward_dct(const double in[64], double out[64]) {
  double t[64];
  for (int y = 0; y < 8; ++y)
    for (int u = 0; u < 8; ++u) {
      double s = 0;
      for (int x = 0; x < 8; ++x) s += in[y * 8 + x] * basis(u, x);
      t[y * 8 + u] = s;
    }
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      double s = 0;
      for (int y = 0; y < 8; ++y) s += t[y * 8 + u] * basis(v, y);
      out[v * 8 + u] = s;
    }
}

void reference_idct(const double in[64], double out[64]) {
  double t[64];
  for (int v = 0; v < 8; ++v)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int u = 0; u < 8; ++u) s += in[v * 8 + u] * basis(u, x);
      t[v * 8 + x] = s;
    }
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int v = 0; v < 8; ++v) s += t[v * 8 + x] * basis(v, y);
      out[y * 8 + x] = s;
    }
}

struct Ieee1180Case {
  long low, high;
  int sign;
};

TEST(Idct, AccurateMeetsIeee1180) {
  const Ieee1180Case cases[] = {{256, 255, 1},  {5, 5, 1},  {300, 300, 1},
                                {256, 255, -1}, {5, 5, -1}, {300, 300, -1}};
  constexpr int kBlocks = 10000;
  for (const Ieee1180Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "L=" << c.low << " H=" << c.high << " sign=" << c.sign);
    Ieee1180Random rng;
    double err_sum[64] = {}, err_sq[64] = {};
    int peak = 0;
    for (int n = 0; n < kBlocks; ++n) {
      double pixels[64], coef[64], ref[64];
      for (double &p : pixels) p = double(rng.next(c.low, c.high) * c.sign);
      forward_dct(pixels, coef);
      int16_t block[64];  // column-major
      double rounded[64];
      for (int i = 0; i < 64; ++i) {
        const double r = std::clamp(std::floor(coef[i] + 0.5), -2048.0, 2047.0);
        rounded[i] = r;
        block[(i & 7) * 8 + (i >> 3)] = int16_t(r);
      }
      reference_idct(rounded, ref);
      int16_t out[64];
      kestrum::idct_accurate_c(block, out);
      for (int i = 0; i < 64; ++i) {
        const int expected = int(std::clamp(std::floor(ref[i] + 0.5), -256.0, 255.0));
        const int got = std::clamp(out[i] - 512, -256, 255);
        const int e = got - expected;
        peak = std::max(peak, std::abs(e));
        err_sum[i] += e;
        err_sq[i] += double(e) * e;
      }
    }
    double total_sum = 0, total_sq = 0, worst_mse = 0, worst_mean = 0;
    for (int i = 0; i < 64; ++i) {
      total_sum += err_sum[i];
      total_sq += err_sq[i];
      worst_mse = std::max(worst_mse, err_sq[i] / kBlocks);
      worst_mean = std::max(worst_mean, std::fabs(err_sum[i]) / kBlocks);
    }
    EXPECT_LE(peak, 1);
    EXPECT_LE(worst_mse, 0.06);
    EXPECT_LE(total_sq / (64.0 * kBlocks), 0.02);
    EXPECT_LE(worst_mean, 0.015);
    EXPECT_LE(std::fabs(total_sum) / (64.0 * kBlocks), 0.0015);
  }
  // All-zero input gives all-zero output.
  int16_t zero[64] = {}, out[64];
  kestrum::idct_accurate_c(zero, out);
  for (int16_t v : out) EXPECT_EQ(v, 512);
}

TEST(Idct, BothVariantsGiveSamplePlus512) {
  // A DC of 8 x d is the flat block d; the output form adds 512 and limits
  // to 0..1023.
  for (int d : {-600, -512, -100, 0, 37, 255, 511, 600}) {
    int16_t block[64] = {};
    block[0] = int16_t(std::clamp(8 * d, -2048, 2047));
    const int expected = std::clamp(int(std::floor(block[0] / 8.0 + 0.5)) + 512, 0, 1023);
    int16_t a[64], s[64];
    kestrum::idct_accurate_c(block, a);
    kestrum::idct_sparse_c(block, s);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(a[i], expected) << d;
      EXPECT_NEAR(s[i], expected, 1) << d;
    }
  }
  // The two variants agree closely on ordinary blocks.
  std::mt19937 rng(7);
  for (int n = 0; n < 200; ++n) {
    int16_t block[64] = {};
    for (int k = 0; k < 6; ++k) block[rng() % 64] = int16_t(int(rng() % 401) - 200);
    int16_t a[64], s[64];
    kestrum::idct_accurate_c(block, a);
    kestrum::idct_sparse_c(block, s);
    for (int i = 0; i < 64; ++i) EXPECT_NEAR(a[i], s[i], 2);
  }
}

// Random blocks plus worst cases: extremes in a corner, full-scale
// alternating patterns.
std::vector<std::array<int16_t, 64>> test_blocks() {
  std::vector<std::array<int16_t, 64>> blocks;
  std::mt19937 rng(1180);
  for (int n = 0; n < 2000; ++n) {
    std::array<int16_t, 64> b{};
    const int count = 1 + int(rng() % 64);
    const int range = n % 3 == 0 ? 4096 : n % 3 == 1 ? 600 : 40;
    for (int k = 0; k < count; ++k)
      b[rng() % 64] = int16_t(std::clamp(int(rng() % range) - range / 2, -2048, 2047));
    blocks.push_back(b);
  }
  for (int16_t v : {int16_t(2047), int16_t(-2048)}) {
    std::array<int16_t, 64> all{};
    all.fill(v);
    blocks.push_back(all);
    std::array<int16_t, 64> alt{};
    for (int i = 0; i < 64; ++i) alt[i] = (i & 1) ? v : int16_t(-v - 1);
    blocks.push_back(alt);
    std::array<int16_t, 64> corner{};
    corner[0] = corner[1] = corner[8] = corner[9] = v;
    corner[63] = v;
    blocks.push_back(corner);
  }
  return blocks;
}

void check_against_c(kestrum::IdctPutFn simd, kestrum::IdctPutFn ref, bool add) {
  constexpr int kStride = 24, kGuard = 16;
  std::mt19937 rng(99);
  for (const auto &b : test_blocks()) {
    uint8_t pa[kGuard + 8 * kStride + kGuard], pb[sizeof pa];
    for (auto &p : pa) p = uint8_t(rng());
    std::memcpy(pb, pa, sizeof pa);
    alignas(16) int16_t ba[64], bb[64];
    std::copy(b.begin(), b.end(), ba);
    std::copy(b.begin(), b.end(), bb);
    simd(ba, pa + kGuard, kStride);
    ref(bb, pb + kGuard, kStride);
    ASSERT_EQ(0, std::memcmp(pa, pb, sizeof pa)) << (add ? "add" : "put");
    for (int i = 0; i < 64; ++i) ASSERT_EQ(ba[i], 0) << "block not cleared";
  }
}

TEST(Idct, Sse2MatchesC) {
  if (!(kestrum::detect_cpu_flags() & kestrum::kCpuSse2)) GTEST_SKIP() << "no SSE2";
  check_against_c(kestrum::idct_accurate_put_sse2, kestrum::idct_accurate_put_c, false);
  check_against_c(kestrum::idct_accurate_add_sse2, kestrum::idct_accurate_add_c, true);
  kestrum::IdctDsp c, simd;
  kestrum::init_idct_dsp(c, kestrum::IdctVariant::kAccurate, 0);
  kestrum::init_idct_dsp(simd, kestrum::IdctVariant::kAccurate, kestrum::kCpuAll);
  EXPECT_EQ(c.put, &kestrum::idct_accurate_put_c);
  EXPECT_NE(simd.put, c.put);
}

TEST(Idct, Avx2MatchesC) {
  if (!(kestrum::detect_cpu_flags() & kestrum::kCpuAvx2)) GTEST_SKIP() << "no AVX2";
  check_against_c(kestrum::idct_accurate_put_avx2, kestrum::idct_accurate_put_c, false);
  check_against_c(kestrum::idct_accurate_add_avx2, kestrum::idct_accurate_add_c, true);
  kestrum::IdctDsp simd, sse2;
  kestrum::init_idct_dsp(simd, kestrum::IdctVariant::kAccurate, kestrum::kCpuAll);
  kestrum::init_idct_dsp(sse2, kestrum::IdctVariant::kAccurate, kestrum::kCpuSse2);
  EXPECT_EQ(simd.put, &kestrum::idct_accurate_put_avx2);
  EXPECT_EQ(sse2.put, &kestrum::idct_accurate_put_sse2);
}

}  // namespace
