// The smoothed conversion against ffmpeg: a vertical 1-2-1 convolution of
// each plane, then full-range YCbCr to B,G,R.
#include "tools/common/ycbcr_to_bgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "tests/components/encoder_support/encoder_support.h"
#include "tests/support/test_media.h"
#include "tools/common/bgr_interleave.h"
#include "video/cpu/cpu_features.h"

namespace {

using encoder_test::run_tool;

double psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

TEST(YcbcrToBgr, MatchesFfmpegsSmoothedFullRangeConversion) {
  ASSERT_TRUE(encoder_test::have_tool("ffmpeg")) << "ffmpeg is the oracle";
  // 360 wide: a width whose lines are not a multiple of 16 or of 4 bytes.
  const int w = 360, h = 240;
  const std::string dir = testing_support::scratch_dir();
  const std::string yuv = dir + "/conv.yuv", bgr = dir + "/conv.bgr";
  const std::string src = "-f lavfi -i testsrc2=size=360x240:rate=25 -frames:v 1 ";
  const std::string vertical = "0 1 0 0 2 0 0 1 0";
  ASSERT_EQ(run_tool("ffmpeg -nostdin -y -v error " + src + "-pix_fmt yuv420p -f rawvideo " + yuv).status, 0);
  ASSERT_EQ(run_tool("ffmpeg -nostdin -y -v error " + src + "-vf \"format=yuv420p,convolution=0m='" +
                     vertical + "':1m='" + vertical + "':2m='" + vertical +
                     "':0rdiv=0.25:1rdiv=0.25:2rdiv=0.25,scale=in_range=full:out_range=full,format=bgr24\" "
                     "-f rawvideo " +
                     bgr)
                .status,
            0);
  const std::vector<uint8_t> planes = encoder_test::file_bytes(yuv);
  const std::vector<uint8_t> want = encoder_test::file_bytes(bgr);
  std::remove(yuv.c_str());
  std::remove(bgr.c_str());
  ASSERT_EQ(planes.size(), size_t(w * h * 3 / 2));
  ASSERT_EQ(want.size(), size_t(w * h * 3));
  // Copied into planes with wider lines: rows are found by their pitch.
  const int y_pitch = 384, c_pitch = 200;
  std::vector<uint8_t> y(size_t(y_pitch) * h, 0xEE), cb(size_t(c_pitch) * h / 2, 0xEE), cr = cb;
  for (int r = 0; r < h; ++r) std::copy_n(&planes[size_t(r) * w], w, &y[size_t(r) * y_pitch]);
  for (int r = 0; r < h / 2; ++r) {
    std::copy_n(&planes[size_t(w) * h + size_t(r) * w / 2], w / 2, &cb[size_t(r) * c_pitch]);
    std::copy_n(&planes[size_t(w) * h * 5 / 4 + size_t(r) * w / 2], w / 2, &cr[size_t(r) * c_pitch]);
  }
  tools_common::PictureBitmap out;
  ASSERT_TRUE(out.allocate(w, h));
  ASSERT_TRUE(tools_common::ycbcr_to_bgr_smoothed(
      {y.data(), cb.data(), cr.data(), y_pitch, c_pitch, c_pitch, w, h}, &out));
  std::vector<uint8_t> got;
  for (int r = 0; r < h; ++r) got.insert(got.end(), out.row(r), out.row(r) + w * 3);
  const double db = psnr(want, got);
  EXPECT_GE(db, 40.0);
  std::printf("conversion vs ffmpeg: %.2f dB\n", db);
}

// The conversion of one pixel straight from its formulas in real numbers.
void formula_pixel(const tools_common::PlanesView &p, int x, int r, uint8_t bgr[3]) {
  auto smoothed = [](const uint8_t *plane, int pitch, int rows, int row, int col) {
    const int up = std::max(row - 1, 0), down = std::min(row + 1, rows - 1);
    return (plane[up * pitch + col] + 2 * plane[row * pitch + col] + plane[down * pitch + col]) >> 2;
  };
  const int luma = smoothed(p.y, p.y_pitch, p.height, r, x);
  const int chroma_rows = (p.height + 1) / 2;
  const int c = smoothed(p.cb, p.cb_pitch, chroma_rows, r / 2, x / 2) - 128;
  const int e = smoothed(p.cr, p.cr_pitch, chroma_rows, r / 2, x / 2) - 128;
  auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
  bgr[2] = clamp(luma + 2 - int(std::trunc(-1.402 * e)));
  bgr[1] = clamp(luma - int(std::trunc(0.7141 * e + 0.3441 * c)));
  bgr[0] = clamp(luma - int(std::trunc(-1.772 * c)));
}

TEST(YcbcrToBgr, MatchesItsFormulasExactly) {
  // Noise reaches every clamp; odd widths and heights leave a lone column
  // and row.
  struct Case {
    int w, h;
  } cases[] = {{720, 576}, {352, 240}, {33, 7}, {1, 1}, {2, 3}};
  std::mt19937 rng(7);
  // The plain routines and the processor's fastest alike.
  for (const uint32_t mask : {0u, uint32_t{kestrum::kCpuAll}}) {
    kestrum::set_cpu_flags_mask(mask);
    SCOPED_TRACE(mask);
    for (const Case &c : cases) {
      const int y_pitch = c.w + 5, c_pitch = (c.w + 1) / 2 + 3, chroma_rows = (c.h + 1) / 2;
      std::vector<uint8_t> y(size_t(y_pitch) * c.h), cb(size_t(c_pitch) * chroma_rows), cr(cb.size());
      for (auto *plane : {&y, &cb, &cr})
        for (auto &v : *plane) v = uint8_t(rng());
      const tools_common::PlanesView view{y.data(), cb.data(), cr.data(), y_pitch,
                                          c_pitch,  c_pitch,   c.w,       c.h};
      tools_common::PictureBitmap out;
      ASSERT_TRUE(out.allocate(c.w, c.h));
      ASSERT_TRUE(tools_common::ycbcr_to_bgr_smoothed(view, &out));
      for (int r = 0; r < c.h; ++r)
        for (int x = 0; x < c.w; ++x) {
          uint8_t want[3];
          formula_pixel(view, x, r, want);
          for (int k = 0; k < 3; ++k)
            ASSERT_EQ(out.row(r)[x * 3 + k], want[k])
                << c.w << "x" << c.h << " at " << x << "," << r << " " << k;
        }
    }
  }
  kestrum::set_cpu_flags_mask(kestrum::kCpuAll);
}

TEST(YcbcrToBgr, InterleaveRoutinesAgree) {
  std::mt19937 rng(3);
  std::vector<uint8_t> b(100), g(100), r(100);
  for (auto *line : {&b, &g, &r})
    for (auto &v : *line) v = uint8_t(rng());
  const tools_common::InterleaveBgr fast = tools_common::interleave_bgr_routine();
  for (int n = 0; n <= 100; ++n) {
    std::vector<uint8_t> want(300 + 16, 0xAA), got(want);
    tools_common::interleave_bgr_c(b.data(), g.data(), r.data(), n, want.data());
    fast(b.data(), g.data(), r.data(), n, got.data());
    ASSERT_EQ(want, got) << n;
  }
}

TEST(YcbcrToBgr, RefusesMissingPlanes) {
  tools_common::PictureBitmap out;
  ASSERT_TRUE(out.allocate(16, 16));
  uint8_t plane[256] = {};
  EXPECT_FALSE(tools_common::ycbcr_to_bgr_smoothed({nullptr, plane, plane, 16, 8, 8, 16, 16}, &out));
  tools_common::PictureBitmap empty;
  EXPECT_FALSE(tools_common::ycbcr_to_bgr_smoothed({plane, plane, plane, 16, 8, 8, 16, 16}, &empty));
}

}  // namespace
