// Every SIMD conversion loop against the C reference: random planes plus
// extremes, both single lines and line pairs, many widths (to reach every
// tail length), guard bytes around each destination line. Bit-exact.
#include "video/output/colour_dsp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "video/cpu/cpu_features.h"

namespace {

using kestrum::ColourDsp;
using kestrum::kBytesPerPixel;
using kestrum::kPixelFormatCount;

constexpr int kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

struct Lines {
  std::vector<uint8_t> y0, y1, cb, cr;
};

enum class Fill { kRandom, kBlack, kWhite, kChromaExtremes, kAlternating };

Lines make_lines(int width, Fill fill, std::mt19937 &rng) {
  const int cw = (width + 1) / 2;
  Lines l{std::vector<uint8_t>(width), std::vector<uint8_t>(width), std::vector<uint8_t>(cw),
          std::vector<uint8_t>(cw)};
  std::uniform_int_distribution<int> byte(0, 255);
  for (int x = 0; x < width; ++x) {
    switch (fill) {
      case Fill::kRandom:
        l.y0[x] = byte(rng);
        l.y1[x] = byte(rng);
        break;
      case Fill::kBlack:
        l.y0[x] = l.y1[x] = 0;
        break;
      case Fill::kWhite:
        l.y0[x] = l.y1[x] = 255;
        break;
      case Fill::kChromaExtremes:
        l.y0[x] = 255 * (x & 1);
        l.y1[x] = 255 * !(x & 1);
        break;
      case Fill::kAlternating:
        l.y0[x] = (x & 2) ? 255 : 0;
        l.y1[x] = (x & 4) ? 0 : 255;
        break;
    }
  }
  for (int x = 0; x < cw; ++x) {
    switch (fill) {
      case Fill::kRandom:
        l.cb[x] = byte(rng);
        l.cr[x] = byte(rng);
        break;
      case Fill::kBlack:
        l.cb[x] = 0;
        l.cr[x] = 255;
        break;
      case Fill::kWhite:
        l.cb[x] = 255;
        l.cr[x] = 0;
        break;
      case Fill::kChromaExtremes:
        l.cb[x] = (x & 1) ? 0 : 255;
        l.cr[x] = (x & 2) ? 0 : 255;
        break;
      case Fill::kAlternating:
        l.cb[x] = 255 * (x & 1);
        l.cr[x] = 255 * (x & 1);
        break;
    }
  }
  return l;
}

struct Output {
  std::vector<uint8_t> line0, line1;
  Output(int bytes) : line0(bytes + 2 * kGuard, kGuardByte), line1(bytes + 2 * kGuard, kGuardByte) {}
};

Output run(const ColourDsp &dsp, int format, const Lines &l, int width, bool pair, int brightness) {
  Output out(width * kBytesPerPixel[format]);
  dsp.pair[format](out.line0.data() + kGuard, pair ? out.line1.data() + kGuard : nullptr, l.y0.data(),
                   pair ? l.y1.data() : nullptr, l.cb.data(), l.cr.data(), width, brightness);
  return out;
}

void expect_guards_intact(const std::vector<uint8_t> &buf) {
  for (int i = 0; i < kGuard; ++i) {
    ASSERT_EQ(buf[i], kGuardByte) << "guard before the line, byte " << i;
    ASSERT_EQ(buf[buf.size() - 1 - i], kGuardByte) << "guard after the line, byte " << i;
  }
}

struct Level {
  const char *name;
  uint32_t flags;
};

class ColourDspTest : public testing::TestWithParam<Level> {};

TEST_P(ColourDspTest, MatchesC) {
  const uint32_t cpu = kestrum::detect_cpu_flags();
  if ((GetParam().flags & cpu) != GetParam().flags) GTEST_SKIP() << GetParam().name << " not available";
  ColourDsp c, simd;
  kestrum::init_colour_dsp(c, 0);
  kestrum::init_colour_dsp(simd, GetParam().flags);
  for (int f = 0; f < kPixelFormatCount; ++f) ASSERT_NE(c.pair[f], simd.pair[f]) << "format " << f;

  std::mt19937 rng(1234);
  std::vector<int> widths;
  for (int w = 1; w <= 70; ++w) widths.push_back(w);
  for (int w : {97, 176, 352, 360, 703, 720, 1920}) widths.push_back(w);
  const Fill fills[] = {Fill::kRandom, Fill::kBlack, Fill::kWhite, Fill::kChromaExtremes, Fill::kAlternating};
  const int brightnesses[] = {0, 20, -20, 127, -128, 77};
  int compared = 0;
  for (int width : widths) {
    for (Fill fill : fills) {
      const Lines l = make_lines(width, fill, rng);
      for (int brightness : brightnesses) {
        for (int format = 0; format < kPixelFormatCount; ++format) {
          for (bool pair : {false, true}) {
            const Output want = run(c, format, l, width, pair, brightness);
            const Output got = run(simd, format, l, width, pair, brightness);
            SCOPED_TRACE(testing::Message()
                         << GetParam().name << " format " << format << " width " << width << " fill "
                         << int(fill) << " brightness " << brightness << " pair " << pair);
            expect_guards_intact(got.line0);
            expect_guards_intact(got.line1);
            ASSERT_EQ(want.line0, got.line0);
            ASSERT_EQ(want.line1, got.line1);
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 0);
}

TEST_P(ColourDspTest, ChromaBlendMatchesC) {
  const uint32_t cpu = kestrum::detect_cpu_flags();
  if ((GetParam().flags & cpu) != GetParam().flags) GTEST_SKIP() << GetParam().name << " not available";
  ColourDsp c, simd;
  kestrum::init_colour_dsp(c, 0);
  kestrum::init_colour_dsp(simd, GetParam().flags);
  ASSERT_NE(c.blend, simd.blend);
  std::mt19937 rng(99);
  for (int count = 1; count <= 400; count += (count < 40 ? 1 : 37)) {
    for (int pattern = 0; pattern < 3; ++pattern) {
      std::vector<uint8_t> own(count), near(count);
      for (int i = 0; i < count; ++i) {
        own[i] = pattern == 0 ? uint8_t(rng()) : pattern == 1 ? 255 : uint8_t(255 * (i & 1));
        near[i] = pattern == 0 ? uint8_t(rng()) : pattern == 1 ? 255 : uint8_t(255 * !(i & 1));
      }
      std::vector<uint8_t> want(count + 2 * kGuard, kGuardByte), got(want);
      c.blend(want.data() + kGuard, own.data(), near.data(), count);
      simd.blend(got.data() + kGuard, own.data(), near.data(), count);
      expect_guards_intact(got);
      ASSERT_EQ(want, got) << "count " << count << " pattern " << pattern;
      for (int i = 0; i < count; ++i) ASSERT_EQ(want[kGuard + i], (3 * own[i] + near[i] + 2) >> 2);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ColourDspTest,
                         testing::Values(Level{"sse2", kestrum::kCpuSse2},
                                         Level{"avx2", kestrum::kCpuSse2 | kestrum::kCpuAvx2}),
                         [](const testing::TestParamInfo<Level> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
