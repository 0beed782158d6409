// The smoothed conversion against ffmpeg: a vertical 1-2-1 convolution of
// each plane, then full-range YCbCr to B,G,R.
#include "tools/common/ycbcr_to_bgr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/components/encoder_support/encoder_support.h"
#include "tests/support/test_media.h"

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

TEST(YcbcrToBgr, RefusesMissingPlanes) {
  tools_common::PictureBitmap out;
  ASSERT_TRUE(out.allocate(16, 16));
  uint8_t plane[256] = {};
  EXPECT_FALSE(tools_common::ycbcr_to_bgr_smoothed({nullptr, plane, plane, 16, 8, 8, 16, 16}, &out));
  tools_common::PictureBitmap empty;
  EXPECT_FALSE(tools_common::ycbcr_to_bgr_smoothed({plane, plane, plane, 16, 8, 8, 16, 16}, &empty));
}

}  // namespace
