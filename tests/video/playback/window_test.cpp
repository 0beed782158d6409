// The engine's own window under SDL's dummy video driver: the picture it
// shows (read back from the renderer) against the engine's RGB frame copy,
// the mouse-wheel sizing, the aspect fit and the overlay format choice.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "tests/support/test_media.h"
#include "video/engine/window/caption_font.h"
#include "video/engine/window/window_display.h"
#include "video/engine/window/window_layout.h"
#include "video/video_api.h"

namespace {

namespace kw = kestrum::window;

TEST(PlaybackWindowLayout, OneWheelNotchGrowsTheWindowByOneTwentyFourth) {
  int32_t w = 352, h = 240;
  kw::wheel_resize(&w, &h, 1);
  EXPECT_EQ(w, 366);
  EXPECT_EQ(h, 250);
  kw::wheel_resize(&w, &h, -1);
  EXPECT_LE(std::abs(w - 352), 1);
  EXPECT_LE(std::abs(h - 240), 1);
}

TEST(PlaybackWindowLayout, KeepAspectCentresThePicture) {
  struct Case {
    int32_t w, h, factor;
    bool keep, wide;
    kw::Rect want;
  };
  const Case cases[] = {
      {800, 600, 312, false, false, {0, 0, 800, 600}},
      // A 4:3 picture in a wide target: narrower, centred.
      {1920, 1080, 341, true, false, {(1920 - 1438) / 2, 0, 1438, 1080}},
      // 16:9 in a 4:3 target: lower, centred.
      {1024, 768, 312, true, true, {0, (768 - 576) / 2, 1024, 576}},
      // Same aspect: the whole target.
      {352, 288, 352 * 256 / 288, true, false, {0, 0, 352, 288}},
  };
  for (const Case &c : cases) {
    const kw::Rect r = kw::fit_picture(c.w, c.h, c.factor, c.keep, c.wide);
    EXPECT_EQ(r.x, c.want.x) << c.w << "x" << c.h;
    EXPECT_EQ(r.y, c.want.y) << c.w << "x" << c.h;
    EXPECT_EQ(r.w, c.want.w) << c.w << "x" << c.h;
    EXPECT_EQ(r.h, c.want.h) << c.w << "x" << c.h;
  }
}

TEST(PlaybackWindowLayout, OverlayFormatIsTheFirstPreferredThatIsOffered) {
  const int32_t in_order[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const int32_t yv12_first[9] = {6, 0, 1, 2, 3, 4, 5, 7, 8};
  auto only_yv12_and_uyvy = [](int32_t i) { return i == 6 || i == 2; };
  auto nothing = [](int32_t) { return false; };
  EXPECT_EQ(kw::choose_overlay_format(in_order, only_yv12_and_uyvy), 2);
  EXPECT_EQ(kw::choose_overlay_format(yv12_first, only_yv12_and_uyvy), 6);
  EXPECT_EQ(kw::choose_overlay_format(in_order, nothing), -1);
  const int32_t bad[9] = {-3, 99, 9, 2, 0, 0, 0, 0, 0};
  EXPECT_EQ(kw::choose_overlay_format(bad, only_yv12_and_uyvy), 2);
}

double psnr_rgb(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int32_t w, int32_t h) {
  double se = 0;
  for (int32_t i = 0; i < w * h; ++i) {
    for (int c = 0; c < 3; ++c) {
      const double d = double(a[size_t(i) * 4 + size_t(c)]) - double(b[size_t(i) * 4 + size_t(c)]);
      se += d * d;
    }
  }
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * 3.0 * w * h / se);
}

double psnr_luma(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    se += d * d;
  }
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

class PlaybackWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override { VideoClose(1); }
};

TEST_F(PlaybackWindow, TheWindowShowsTheDecodedPicture) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  // Step a few pictures in so that the picture is not the first one.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(VideoStep(), 1);
  std::vector<uint8_t> shown;
  int32_t w = 0, h = 0;
  ASSERT_EQ(kw::read_pixels(&shown, &w, &h), 1);
  ASSERT_EQ(w, 352);
  ASSERT_EQ(h, 288);
  // The engine's own 32-bit frame copy of the same picture (B, G, R, x).
  auto copy = reinterpret_cast<KestrumFrameCopy>(VideoCommand(VCMD_FRAME_COPY, 0));
  ASSERT_NE(copy, nullptr);
  std::vector<uint8_t> ref(size_t(w) * size_t(h) * 4);
  ASSERT_EQ(copy(32, 1, 0, ref.data(), w * 4), 1);
  EXPECT_GE(psnr_rgb(shown, ref, w, h), 30.0);
}

TEST_F(PlaybackWindow, TheOverlayPathShowsTheSamePicture) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  // Overlay on (command 55); the preference list decides the format.
  VideoCommand(VCMD_SET_VALUE_55, 1);
  auto *prefs = reinterpret_cast<int32_t *>(VideoCommand(VCMD_FORMAT_PREFERENCES, 0));
  ASSERT_NE(prefs, nullptr);
  const std::vector<int32_t> saved(prefs, prefs + 9);
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  std::vector<std::vector<uint8_t>> reference;
  {
    std::ifstream in(testing_support::media_path("video_mpeg1.m1v.yuv"), std::ios::binary);
    std::vector<uint8_t> frame(352 * 288 * 3 / 2);
    while (in.read(reinterpret_cast<char *>(frame.data()), std::streamsize(frame.size()))) {
      reference.emplace_back(frame.begin(), frame.begin() + 352 * 288);
    }
  }
  ASSERT_FALSE(reference.empty());
  for (int32_t first : {0, 2, 6}) {
    prefs[0] = first;
    for (int32_t i = 1, k = 0; i < 9; ++k) {
      if (k != first) prefs[i++] = k;
    }
    ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(VideoStep(), 1);
    EXPECT_EQ(kw::overlay_format(), first);
    std::vector<uint8_t> shown;
    int32_t w = 0, h = 0;
    ASSERT_EQ(kw::read_pixels(&shown, &w, &h), 1);
    // The overlay's colour conversion is the display's (SDL's matrix, not
    // our converters'), so compare luma: back from the shown RGB with the
    // BT.601 studio-range weights, against ffmpeg's pictures of the file.
    ASSERT_EQ(w, 352);
    ASSERT_EQ(h, 288);
    std::vector<uint8_t> luma(size_t(w) * size_t(h));
    for (size_t i = 0; i < luma.size(); ++i) {
      const double b = shown[i * 4], g = shown[i * 4 + 1], r = shown[i * 4 + 2];
      luma[i] = static_cast<uint8_t>(std::clamp(16.0 + (65.738 * r + 129.057 * g + 25.064 * b) / 256.0 + 0.5, 0.0, 255.0));
    }
    double best = 0;
    for (const auto &frame : reference) best = std::max(best, psnr_luma(luma, frame));
    EXPECT_GE(best, 30.0) << "format " << first;
    VideoClose(1);
  }
  std::copy(saved.begin(), saved.end(), prefs);
  VideoCommand(VCMD_SET_VALUE_55, 0);
}

TEST_F(PlaybackWindow, AWheelNotchResizesTheOwnWindow) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  int32_t w = 0, h = 0;
  kw::window_size(&w, &h);
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 288);
  kw::wheel(1);
  kw::window_size(&w, &h);
  EXPECT_EQ(w, 352 + 352 / 24);
  EXPECT_EQ(h, 288 + 288 / 24);
}

TEST_F(PlaybackWindow, TheCaptionIsDrawnInTheTopRightCorner) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  ASSERT_EQ(VideoCommand(VCMD_CAPTION_DRAWABLE, 0), 1);
  ASSERT_EQ(VideoStep(), 1);  // a picture to draw the caption over
  const char *text = "12:34 PLAY";
  ASSERT_EQ(VideoCommand(VCMD_CAPTION_LINE1, reinterpret_cast<intptr_t>(text)), 1);
  std::vector<uint8_t> px;
  int32_t w = 0, h = 0;
  ASSERT_EQ(kw::read_pixels(&px, &w, &h), 1);
  // Every lit dot of the glyphs is yellow, at 8 pixels from the right edge
  // and 2 from the top; nothing else in the window is pure yellow.
  const int32_t x0 = w - 8 - kw::text_width(text);
  int32_t lit = 0, yellow_in_place = 0;
  for (size_t i = 0; text[i]; ++i) {
    const uint8_t *rows = kw::glyph(text[i]);
    for (int32_t r = 0; r < kw::kGlyphHeight; ++r) {
      for (int32_t c = 0; c < kw::kGlyphWidth; ++c) {
        if (!(rows[r] & (0x10 >> c))) continue;
        ++lit;
        const size_t at = (size_t(2 + r) * size_t(w) + size_t(x0 + int32_t(i) * kw::kGlyphAdvance + c)) * 4;
        // ARGB8888 in memory: B, G, R, A.
        if (px[at] == 0 && px[at + 1] == 255 && px[at + 2] == 255) ++yellow_in_place;
      }
    }
  }
  EXPECT_GT(lit, 50);
  EXPECT_EQ(yellow_in_place, lit);
  int32_t yellow = 0;
  for (size_t i = 0; i < px.size(); i += 4) {
    if (px[i] == 0 && px[i + 1] == 255 && px[i + 2] == 255) ++yellow;
  }
  EXPECT_EQ(yellow, lit);
  // Off: the next picture has no caption.
  VideoCommand(VCMD_CAPTION_ON, 0);
  ASSERT_EQ(VideoStep(), 1);
  ASSERT_EQ(kw::read_pixels(&px, &w, &h), 1);
  yellow = 0;
  for (size_t i = 0; i < px.size(); i += 4) {
    if (px[i] == 0 && px[i + 1] == 255 && px[i + 2] == 255) ++yellow;
  }
  EXPECT_LT(yellow, lit / 4);
  VideoCommand(VCMD_CAPTION_ON, 1);
}

TEST_F(PlaybackWindow, FullScreenOnAndOffRestoresTheWindow) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  ASSERT_EQ(VideoCommand(VCMD_FULL_SCREEN_ON, 0), 1);
  int32_t w = 0, h = 0;
  kw::window_size(&w, &h);
  EXPECT_GE(w, 352);
  EXPECT_GE(h, 288);
  ASSERT_EQ(VideoCommand(VCMD_FULL_SCREEN_OFF, 0), 1);
  kw::window_size(&w, &h);
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 288);
}

// Sends the window-close request the window manager would send.
void push_close() {
  SDL_Event ev{};
  ev.type = SDL_WINDOWEVENT;
  ev.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&ev);
}

bool wait_until_stopped(int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (!VideoCommand(VCMD_IS_PLAYING, 0)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(PlaybackWindow, ClosingTheWindowStopsThePlayUnlessTheHostOnlyHidesIt) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  EXPECT_TRUE(kw::shown());
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  ASSERT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 1);
  push_close();
  EXPECT_TRUE(wait_until_stopped(2));
  EXPECT_FALSE(kw::shown());
  VideoClose(1);

  // With command 102 set the window only hides; the play goes on.
  VideoCommand(VCMD_CLOSE_HIDES_ONLY, 1);
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  EXPECT_TRUE(kw::shown());
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  push_close();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(kw::shown());
  EXPECT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 1);
  VideoCommand(VCMD_CLOSE_HIDES_ONLY, 0);
}

TEST_F(PlaybackWindow, SizingKeepsThePictureShape) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  ASSERT_EQ(VideoStep(), 1);
  SDL_Event ev{};
  ev.type = SDL_WINDOWEVENT;
  ev.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  ev.window.data1 = 704;
  ev.window.data2 = 300;
  SDL_PushEvent(&ev);
  ASSERT_EQ(VideoStep(), 1);  // the window handles its events as it presents
  int32_t w = 0, h = 0;
  kw::window_size(&w, &h);
  EXPECT_EQ(w, 704);
  EXPECT_EQ(h, 704 * 256 / (352 * 256 / 288));
}

}  // namespace
