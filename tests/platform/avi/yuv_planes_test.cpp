// The own conversion of planar codec pictures to 4:2:0: each chroma sample
// averages what it covers (the last column and row repeated at odd sizes),
// full range is scaled to studio range, studio range is copied.
#include "platform/avi/yuv_planes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/avi/yuv_planes_dsp.h"
#include "platform/cpu_features.h"
#include "tests/platform/avi/yuv_reference.h"

namespace avi = platform::avi;

namespace {

struct Case {
  const char *name;
  int32_t shift_x, shift_y;
  bool full;
};

class YuvPlanes : public ::testing::TestWithParam<Case> {};

TEST_P(YuvPlanes, ChromaAveragesWhatItCovers) {
  const Case c = GetParam();
  // 5 x 3 pictures: odd in both directions.
  const int32_t w = 5, h = 3;
  const int32_t sw = c.shift_x ? 3 : 5, sh = c.shift_y ? 2 : 3;
  std::vector<uint8_t> luma(size_t(w * h)), cb(size_t(sw * sh)), cr(size_t(sw * sh));
  for (size_t i = 0; i < luma.size(); ++i) luma[i] = uint8_t(i * 17);
  for (size_t i = 0; i < cb.size(); ++i) {
    cb[i] = uint8_t(10 + 13 * i);
    cr[i] = uint8_t(250 - 11 * i);
  }
  avi::PlanarPicture in;
  in.plane[0] = luma.data();
  in.plane[1] = cb.data();
  in.plane[2] = cr.data();
  in.stride[0] = w;
  in.stride[1] = in.stride[2] = sw;
  in.width = w;
  in.height = h;
  in.chroma_shift_x = c.shift_x;
  in.chroma_shift_y = c.shift_y;
  in.full_range = c.full;
  const int32_t ys = 16, cs = 8, cw = 3, ch = 2;
  std::vector<uint8_t> y(size_t(ys * h), 0), u(size_t(cs * ch), 0), v(size_t(cs * ch), 0);
  avi::planar_to_420(in, y.data(), u.data(), v.data(), ys, cs);
  const avi_test::Yuv420 want = avi_test::reference_420(
      {{luma.data(), cb.data(), cr.data()}, {w, sw, sw}, w, h, c.shift_x, c.shift_y, c.full});
  for (int32_t r = 0; r < h; ++r)
    for (int32_t x = 0; x < w; ++x) EXPECT_EQ(y[size_t(r * ys + x)], want.y[size_t(r * w + x)]);
  for (int32_t r = 0; r < ch; ++r) {
    for (int32_t x = 0; x < cw; ++x) {
      EXPECT_EQ(u[size_t(r * cs + x)], want.cb[size_t(r * cw + x)]) << "chroma " << x << "," << r;
      EXPECT_EQ(v[size_t(r * cs + x)], want.cr[size_t(r * cw + x)]) << "chroma " << x << "," << r;
    }
  }
  // Nothing is written past the rows and columns of the picture.
  EXPECT_EQ(y[size_t(w)], 0);
  EXPECT_EQ(u[size_t(cw)], 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, YuvPlanes,
                         ::testing::Values(Case{"j420", 1, 1, true}, Case{"j422", 1, 0, true},
                                           Case{"j444", 0, 0, true}, Case{"p422", 1, 0, false},
                                           Case{"p444", 0, 0, false}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

// Every SIMD level the processor has gives the C reference's bytes, on odd
// sizes (every tail length of the 16- and 32-sample steps), odd strides and
// unaligned planes, and writes nothing outside the picture.
namespace {

namespace cpu = platform;

struct Level {
  const char *name;
  uint32_t flags;
};

constexpr Level kLevels[] = {{"sse2", cpu::kCpuSse2},
                             {"ssse3", cpu::kCpuSse2 | cpu::kCpuSsse3},
                             {"avx2", cpu::kCpuSse2 | cpu::kCpuSsse3 | cpu::kCpuAvx2}};
constexpr uint8_t kCanary = 0xA5;

struct Planes420 {
  std::vector<uint8_t> y, cb, cr;
};

Planes420 convert(const avi::YuvPlanesDsp &dsp, const avi::PlanarPicture &in, int32_t ys, int32_t cs) {
  const int32_t ch = (in.height + 1) / 2;
  // One spare row below each plane catches writes past the last one.
  Planes420 out{std::vector<uint8_t>(size_t(ys) * size_t(in.height + 1), kCanary),
                std::vector<uint8_t>(size_t(cs) * size_t(ch + 1), kCanary),
                std::vector<uint8_t>(size_t(cs) * size_t(ch + 1), kCanary)};
  avi::planar_to_420_with(dsp, in, out.y.data(), out.cb.data(), out.cr.data(), ys, cs);
  return out;
}

TEST(YuvPlanesSimd, EveryLevelMatchesTheCReference) {
  const uint32_t have = cpu::detect_cpu_flags();
  avi::YuvPlanesDsp plain;
  avi::init_yuv_planes_dsp(plain, 0);
  int levels = 0;
  for (const Level &level : kLevels) {
    if ((have & level.flags) != level.flags) continue;
    ++levels;
    avi::YuvPlanesDsp simd;
    avi::init_yuv_planes_dsp(simd, level.flags);
    // The level really replaces the C rows it claims.
    EXPECT_NE(simd.luma_full, plain.luma_full) << level.name;
    EXPECT_NE(simd.average4[avi::kFullRange], plain.average4[avi::kFullRange]) << level.name;
    uint32_t seed = 12345;
    auto next = [&] { return uint8_t((seed = seed * 1103515245u + 12345u) >> 23); };
    for (const auto &[sx, sy] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}, std::pair{0, 1}}) {
      for (bool full : {false, true}) {
        for (int32_t w : {1, 2, 3, 15, 16, 17, 31, 33, 47, 63, 64, 65, 66, 97, 129, 1281}) {
          for (int32_t h : {1, 2, 3, 6}) {
            const int32_t sw = (w + (1 << sx) - 1) >> sx, sh = (h + (1 << sy) - 1) >> sy;
            // Odd strides past the row, planes one byte off alignment.
            const int32_t strides[3] = {w + 3, sw + 5, sw + 7};
            std::vector<uint8_t> store[3];
            avi::PlanarPicture in;
            for (int p = 0; p < 3; ++p) {
              const int32_t rows = p ? sh : h;
              store[p].resize(size_t(strides[p]) * size_t(rows) + 1);
              for (size_t i = 0; i < store[p].size(); ++i) store[p][i] = next();
              // A ramp through every value in the first row.
              for (int32_t x = 0; x < (p ? sw : w); ++x) store[p][1 + size_t(x)] = uint8_t(x * 7 + p);
              in.plane[p] = store[p].data() + 1;
              in.stride[p] = strides[p];
            }
            in.width = w;
            in.height = h;
            in.chroma_shift_x = sx;
            in.chroma_shift_y = sy;
            in.full_range = full;
            const int32_t ys = w + 9, cs = (w + 1) / 2 + 3;
            const Planes420 want = convert(plain, in, ys, cs);
            const Planes420 got = convert(simd, in, ys, cs);
            const std::string what = std::string(level.name) + " " + std::to_string(w) + "x" +
                                     std::to_string(h) + " shift " + std::to_string(sx) + "," +
                                     std::to_string(sy) + (full ? " full" : " studio");
            ASSERT_EQ(got.y, want.y) << what;
            ASSERT_EQ(got.cb, want.cb) << what;
            ASSERT_EQ(got.cr, want.cr) << what;
            // The reference itself stays inside the picture.
            for (int32_t r = 0; r < h; ++r)
              for (int32_t x = w; x < ys; ++x) ASSERT_EQ(want.y[size_t(r * ys + x)], kCanary) << what;
            for (int32_t x = 0; x < cs; ++x)
              ASSERT_EQ(want.cb[size_t((h + 1) / 2 * cs + x)], kCanary) << what;
          }
        }
      }
    }
  }
  if (levels == 0) GTEST_SKIP() << "this processor has no SIMD level to compare";
}

// The table planar_to_420 uses follows the CPU mask: built once in a fresh
// process (the threadsafe death-test style re-runs this binary), it holds
// exactly the routines of the level the mask leaves.
TEST(YuvPlanesSimd, TheTableInUseFollowsTheCpuMask) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const uint32_t have = cpu::detect_cpu_flags();
  for (uint32_t mask : {0u, kLevels[0].flags, kLevels[1].flags, kLevels[2].flags}) {
    if ((have & mask) != mask) continue;
    avi::YuvPlanesDsp want;
    avi::init_yuv_planes_dsp(want, mask);
    EXPECT_EXIT(
        {
          cpu::set_cpu_flags_mask(mask);
          const avi::YuvPlanesDsp &used = avi::yuv_planes_dsp();
          const bool same = used.luma_full == want.luma_full &&
                            used.average2[avi::kFullRange] == want.average2[avi::kFullRange] &&
                            used.average4[avi::kFullRange] == want.average4[avi::kFullRange] &&
                            used.average4[avi::kStudioRange] == want.average4[avi::kStudioRange];
          std::exit(same ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << "mask " << mask;
  }
}

}  // namespace
