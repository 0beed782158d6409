// The engine's own window under SDL's dummy video driver: the picture it
// shows (read back from the renderer) against the engine's RGB frame copy,
// the mouse-wheel sizing, the aspect fit, the overlay format choice, the
// border colours, the on-top key, re-layout after a resize, and the
// re-present rules of VideoUpdateWindow and VideoRefresh.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "platform/ini.h"
#include "tests/support/test_media.h"
#include "tests/video/decode/decode_support.h"
#include "video/engine/engine.h"
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

class PlaybackWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void TearDown() override {
    // Settings that outlive an open, back to their defaults.
    VideoCommand(VCMD_SET_WIDE, 0);
    VideoCommand(VCMD_SET_BACKGROUND, 1);
    VideoClose(1);
  }
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
      luma[i] = static_cast<uint8_t>(
          std::clamp(16.0 + (65.738 * r + 129.057 * g + 25.064 * b) / 256.0 + 0.5, 0.0, 255.0));
    }
    double best = 0;
    for (const auto &frame : reference) best = std::max(best, video_test::plane_psnr(luma, frame));
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
  VideoCommand(VCMD_CAPTION_LINE1, 0);  // the window keeps its lines across opens
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

// Looks at `done` after every play step of the engine's thread and whenever
// it goes idle, for at most `seconds`.
template <typename Condition>
bool wait_until(Condition done, int seconds) {
  return kestrum::engine().state.playback.changes.wait_until(done, static_cast<uint32_t>(seconds) * 1000);
}

bool wait_until_stopped(int seconds) {
  return wait_until([] { return !VideoCommand(VCMD_IS_PLAYING, 0); }, seconds);
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

  // With sound, the sound stops too (once engine_lock, under which the
  // events are handled, is free: the stop waits for the sound's thread).
  ASSERT_EQ(VideoOpen(nullptr, testing_support::media_path("mpeg1_system.mpg").c_str(), nullptr, 0), 1);
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  ASSERT_TRUE(wait_until([] { return AudioGetPlayTime() >= 0; }, 5)) << "the sound plays";
  push_close();
  EXPECT_TRUE(wait_until([] { return !VideoCommand(VCMD_IS_PLAYING, 0) && AudioGetPlayTime() == -1; }, 5));
  VideoClose(1);

  // With command 102 set the window only hides; the play goes on.
  VideoCommand(VCMD_CLOSE_HIDES_ONLY, 1);
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  EXPECT_TRUE(kw::shown());
  ASSERT_EQ(VideoCommand(VCMD_PLAY, 0), 1);
  push_close();
  // The playing thread handles the close as it presents: the window goes.
  EXPECT_TRUE(wait_until([] { return !kw::shown(); }, 5));
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

// The RGB frame copy of the current picture (B, G, R, x per pixel).
std::vector<uint8_t> frame_copy(int32_t w, int32_t h) {
  auto copy = reinterpret_cast<KestrumFrameCopy>(VideoCommand(VCMD_FRAME_COPY, 0));
  std::vector<uint8_t> ref(size_t(w) * size_t(h) * 4);
  if (!copy || copy(32, 1, 0, ref.data(), w * 4) != 1) ref.clear();
  return ref;
}

TEST_F(PlaybackWindow, BackgroundModePaintsTheBordersBlackOrGrey) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  // A 16:9 display aspect in the 352 x 288 window leaves bands above and
  // below the picture.
  VideoCommand(VCMD_SET_WIDE, 1);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(VideoStep(), 1);
  const std::vector<uint8_t> ref = frame_copy(352, 288);
  ASSERT_FALSE(ref.empty());
  struct Case {
    int32_t mode;
    uint8_t grey;  // every border pixel has R = G = B = grey
  };
  const Case cases[] = {{2, 0x00}, {1, 0x40}, {0, 0x40}, {2, 0x00}};
  std::vector<uint8_t> first_picture;
  for (const Case &c : cases) {
    // Setting the mode repaints at once: no new picture is stepped.
    VideoCommand(VCMD_SET_BACKGROUND, c.mode);
    EXPECT_EQ(VideoCommand(VCMD_GET_BACKGROUND, 0), c.mode);
    std::vector<uint8_t> px;
    int32_t w = 0, h = 0;
    ASSERT_EQ(kw::read_pixels(&px, &w, &h), 1);
    ASSERT_EQ(w, 352);
    ASSERT_EQ(h, 288);
    const kw::Rect r = kw::fit_picture(w, h, int32_t(VideoCommand(VCMD_GET_ASPECT_FACTOR, 0)), true, true);
    ASSERT_EQ(r.w, 352);
    ASSERT_LT(r.h, 288 - 40);
    int32_t border = 0, border_right = 0;
    std::vector<uint8_t> picture;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t *p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
        if (y >= r.y && y < r.y + r.h) {
          picture.insert(picture.end(), p, p + 4);
          continue;
        }
        ++border;
        if (p[0] == c.grey && p[1] == c.grey && p[2] == c.grey) ++border_right;
      }
    }
    EXPECT_EQ(border, 352 * (288 - r.h)) << "mode " << c.mode;
    EXPECT_EQ(border_right, border) << "mode " << c.mode;
    // The picture area is the frame copy squeezed to r.h lines, each the
    // nearest source line as the software renderer picks it (16.16 fixed
    // point steps, starting half a step in).
    std::vector<uint8_t> squeezed;
    const int64_t step = (int64_t{288} << 16) / r.h;
    for (int32_t y = 0; y < r.h; ++y) {
      const int32_t sy = std::min<int32_t>(287, int32_t((y * step + step / 2) >> 16));
      squeezed.insert(squeezed.end(), ref.begin() + ptrdiff_t(sy) * 352 * 4,
                      ref.begin() + ptrdiff_t(sy + 1) * 352 * 4);
    }
    EXPECT_GE(psnr_rgb(picture, squeezed, 352, r.h), 30.0) << "mode " << c.mode;
    // The borders change, the picture does not.
    if (first_picture.empty()) first_picture = picture;
    EXPECT_TRUE(picture == first_picture) << "mode " << c.mode;
  }
}

void push_key(SDL_Keycode key, uint16_t mod = KMOD_NONE) {
  SDL_Event ev{};
  ev.type = SDL_KEYDOWN;
  ev.key.state = SDL_PRESSED;
  ev.key.keysym.sym = key;
  ev.key.keysym.mod = mod;
  SDL_PushEvent(&ev);
}

int32_t on_top_setting() { return platform::profile_get_int("SETTING", "VideoWinOnTop", -1, "KESTRUM.INI"); }

TEST_F(PlaybackWindow, TheTKeyTogglesOnTopLikeTheCommand) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  const int32_t before = int32_t(VideoCommand(VCMD_GET_ON_TOP, 0));
  ASSERT_TRUE(before == 0 || before == 1);
  // Each T flips the state and the settings file (the stacking itself is
  // the window manager's: the dummy driver keeps none to read back); a key
  // with Ctrl held, or another key, changes nothing.
  int32_t want = before;
  const struct {
    SDL_Keycode key;
    uint16_t mod;
    bool flips;
  } presses[] = {{SDLK_t, KMOD_NONE, true},
                 {SDLK_t, KMOD_LCTRL, false},
                 {SDLK_r, KMOD_NONE, false},
                 {SDLK_t, KMOD_NONE, true},
                 {SDLK_t, KMOD_NONE, true}};
  for (const auto &p : presses) {
    push_key(p.key, p.mod);
    kw::pump_events();  // stopped: no present handles the events
    if (p.flips) want = !want;
    EXPECT_EQ(VideoCommand(VCMD_GET_ON_TOP, 0), want);
    if (p.flips) {
      EXPECT_EQ(on_top_setting(), want);
    }
  }
  // A present handles the key as well (the window while playing).
  push_key(SDLK_t);
  ASSERT_EQ(VideoStep(), 1);
  want = !want;
  EXPECT_EQ(VideoCommand(VCMD_GET_ON_TOP, 0), want);
  EXPECT_EQ(on_top_setting(), want);
  // The command takes the same path and returns the old value.
  EXPECT_EQ(VideoCommand(VCMD_SET_ON_TOP, before), want);
  EXPECT_EQ(VideoCommand(VCMD_GET_ON_TOP, 0), before);
  EXPECT_EQ(on_top_setting(), before);
}

TEST_F(PlaybackWindow, AResizedWindowShowsThePictureAtItsNewSize) {
  if (!kestrum::window_display_available()) GTEST_SKIP() << "no SDL video driver";
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(nullptr, path.c_str(), nullptr, 0), 1);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(VideoStep(), 1);
  const std::vector<uint8_t> ref = frame_copy(352, 288);
  ASSERT_FALSE(ref.empty());
  ASSERT_EQ(VideoCommand(VCMD_IS_PLAYING, 0), 0);
  // Twice the size; the size change reaches the window as its event, and
  // no picture is stepped: the re-layout alone shows the picture.
  SDL_SetWindowSize(kw::sdl_window(), 704, 576);
  kw::pump_events();
  std::vector<uint8_t> px;
  int32_t w = 0, h = 0;
  ASSERT_EQ(kw::read_pixels(&px, &w, &h), 1);
  ASSERT_EQ(w, 704);
  ASSERT_EQ(h, 576);
  // Each 2 x 2 block averaged back to one pixel.
  std::vector<uint8_t> halved(size_t(352) * 288 * 4);
  for (int32_t y = 0; y < 288; ++y) {
    for (int32_t x = 0; x < 352; ++x) {
      for (int c = 0; c < 4; ++c) {
        int sum = 0;
        for (int dy = 0; dy < 2; ++dy) {
          for (int dx = 0; dx < 2; ++dx)
            sum += px[(size_t(2 * y + dy) * 704 + size_t(2 * x + dx)) * 4 + size_t(c)];
        }
        halved[(size_t(y) * 352 + size_t(x)) * 4 + size_t(c)] = uint8_t((sum + 2) / 4);
      }
    }
  }
  EXPECT_GE(psnr_rgb(halved, ref, 352, 288), 30.0);
  // A host's own call after a move lays out the same way.
  VideoUpdateWindow(nullptr);
  ASSERT_EQ(kw::read_pixels(&px, &w, &h), 1);
  EXPECT_EQ(w, 704);
  EXPECT_EQ(h, 576);

  // Back to the picture's size with its size event lost, the picture held
  // (no re-present may happen): an uncovered window still repaints itself,
  // borders and the last picture, at the size it has now.
  ASSERT_EQ(VideoCommand(VCMD_HOLD_PICTURE, 0), 1);
  SDL_SetWindowSize(kw::sdl_window(), 352, 288);
  SDL_FlushEvent(SDL_WINDOWEVENT);
  SDL_Event ev{};
  ev.type = SDL_WINDOWEVENT;
  ev.window.event = SDL_WINDOWEVENT_EXPOSED;
  SDL_PushEvent(&ev);
  kw::pump_events();
  ASSERT_EQ(kw::read_pixels(&px, &w, &h), 1);
  ASSERT_EQ(w, 352);
  ASSERT_EQ(h, 288);
  EXPECT_GE(psnr_rgb(px, ref, 352, 288), 30.0);
  VideoCommand(VCMD_RELEASE_PICTURE, 0);
}

// A host display that counts its pictures and, when asked, calls
// VideoUpdateWindow from inside the present.
struct CountingHost {
  std::atomic<int32_t> presents{0};  // the playback thread counts too
  int32_t depth = 0;
  int32_t deepest = 0;
  bool nest = false;
  static int32_t present(void *user, const KestrumPicture *) {
    auto *self = static_cast<CountingHost *>(user);
    ++self->presents;
    self->deepest = std::max(self->deepest, ++self->depth);
    if (self->nest) VideoUpdateWindow(nullptr);
    --self->depth;
    return 1;
  }
  KestrumHostDisplay display() { return KestrumHostDisplay{this, &CountingHost::present, nullptr, nullptr}; }
};

// The host outlives the close in TearDown (which may present once more).
class PlaybackHostDisplay : public PlaybackWindow {
 protected:
  CountingHost host;
  KestrumHostDisplay display = host.display();
};

TEST_F(PlaybackHostDisplay, VideoUpdateWindowNestedInAPresentReturnsAtOnce) {
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(&display, path.c_str(), nullptr, 0), 1);
  host.nest = true;
  const int32_t before = host.presents;
  // The step's present calls VideoUpdateWindow, which presents once more;
  // the call nested in that present returns at once.
  ASSERT_EQ(VideoStep(), 1);
  EXPECT_EQ(host.presents - before, 2);
  EXPECT_EQ(host.deepest, 2);
  // Called from outside: one present, its nested call returns at once.
  VideoUpdateWindow(nullptr);
  EXPECT_EQ(host.presents - before, 3);
  EXPECT_EQ(host.deepest, 2);
  // Nothing stays blocked afterwards: the playback thread shows pictures.
  host.nest = false;
  ASSERT_EQ(VideoCommand(VCMD_PLAY_SILENT, 0), 1);
  wait_until([&] { return host.presents - before >= 10 || !VideoCommand(VCMD_IS_PLAYING, 0); }, 10);
  VideoCommand(VCMD_STOP, 0);
  EXPECT_GE(host.presents - before, 10);
}

TEST_F(PlaybackHostDisplay, VideoRefreshPresentsAgainOnlyWhenNothingBlocksIt) {
  const std::string path = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_EQ(VideoOpen(&display, path.c_str(), nullptr, 0), 1);
  ASSERT_EQ(VideoStep(), 1);
  struct Case {
    int32_t cmd;  // applied before the refresh; -1 = none
    int32_t presents;
  };
  const Case cases[] = {
      {-1, 1},
      {VCMD_HOLD_PICTURE, 0},  // a held picture is being copied
      {VCMD_RELEASE_PICTURE, 1},
      {VCMD_FULL_SCREEN_ON, 1},   // full screen alone does not block
      {VCMD_FORBID_REFRESH, 0},   // ... with the forbid it does
      {VCMD_FULL_SCREEN_OFF, 1},  // the forbid holds only in full screen
      {VCMD_FULL_SCREEN_ON, 0},
      {VCMD_ALLOW_REFRESH, 1},
      {VCMD_FULL_SCREEN_OFF, 1},
  };
  for (const Case &c : cases) {
    if (c.cmd >= 0) VideoCommand(c.cmd, 0);
    const int32_t before = host.presents;
    VideoRefresh();
    EXPECT_EQ(host.presents - before, c.presents) << "after command " << c.cmd;
  }
  VideoClose(1);
  const int32_t closed = host.presents;
  VideoRefresh();
  EXPECT_EQ(host.presents, closed);
}

}  // namespace
