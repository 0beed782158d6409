// The engine's own window (SDL's dummy video driver) shows the subpicture in
// both drawing modes: the white box of stream 0 of the test disc is on
// screen while it is displayed, and not without subpictures.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/support/test_media.h"
#include "video/engine/window/window_display.h"
#include "video/video_api.h"

namespace {

namespace kw = kestrum::window;

// Mean brightness (B, G, R, x pixels) of the window around the middle of
// the white box the subpicture draws at 204-515 x 424-495 of the picture.
double box_brightness(bool subpicture, int32_t mode) {
  if (subpicture) {
    SysControl(CTL_SPU_SELECT, 0);
    SysControl(CTL_SPU_ENABLE, 1);
  }
  VideoCommand(VCMD_SPU_DRAW_MODE, mode);
  const std::string path = testing_support::media_path("dvdt_disc/VIDEO_TS/VTS_01_1.VOB");
  if (VideoOpen(nullptr, path.c_str(), nullptr, 0) != 1) return -1;
  // 1.6 s in: the first unit shows from 0.8 s to 2.4 s.
  for (int i = 0; i < 40; ++i)
    if (!VideoStep()) return -1;
  std::vector<uint8_t> px;
  int32_t w = 0, h = 0;
  const bool read = kw::read_pixels(&px, &w, &h) == 1;
  VideoClose(1);
  SysControl(CTL_SPU_ENABLE, 0);
  VideoCommand(VCMD_SPU_DRAW_MODE, 0);
  if (!read || w <= 0 || h <= 0) return -1;
  double sum = 0;
  int n = 0;
  // The 16:9 picture fills the window's width, centred in its height.
  const int shown = w * 9 / 16, top = (h - shown) / 2;
  for (int y = top + shown * 440 / 576; y < top + shown * 480 / 576; ++y)
    for (int x = w * 240 / 720; x < w * 480 / 720; ++x, ++n) {
      const uint8_t *p = &px[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4];
      sum += (p[0] + p[1] + p[2]) / 3.0;
    }
  return n ? sum / n : -1;
}

TEST(DvdWindow, TheWindowShowsTheSubpictureInBothModes) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  VideoStartup();
  ASSERT_TRUE(testing_support::media_path("dvdt_disc/VIDEO_TS/VTS_01_1.VOB").size());
  const double without = box_brightness(false, 0);
  ASSERT_GE(without, 0);
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    const double with = box_brightness(true, mode);
    EXPECT_GT(with, 230);
    EXPECT_GT(with, without + 20);
  }
}

}  // namespace
