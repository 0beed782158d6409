// The engine's own window on SDL2. The overlay path is a streaming YUV
// texture in the first format of the preference list that the renderer
// offers; the primary path an RGB texture filled by our converters; a
// software renderer stands in for the GDI path (and is what the dummy
// video driver gives). All calls come under engine_lock.
#include "video/engine/window/window_display.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "video/engine/engine.h"
#include "video/engine/output_link.h"
#include "video/engine/window/caption_font.h"
#include "video/engine/window/screen_fit.h"
#include "video/engine/window/window_layout.h"
#include "video/video_api.h"

// After every header that declares SDL functions.
#include "platform/sdl_dynamic.h"

namespace kestrum {

namespace {

// Caption placement: from the right edge, from the top, between lines.
constexpr int32_t kCaptionRight = 8;
constexpr int32_t kCaptionTop = 2;
constexpr int32_t kCaptionLineGap = 2;
constexpr int32_t kCaptionLines = 2;
constexpr size_t kCaptionChars = 64;
// Sizing leaves a window alone whose height is this close to the shape.
constexpr int32_t kSizingSlack = 2;
// backgroundMode value whose borders are black; every other value paints
// them in the plain dark grey of an empty window.
constexpr int32_t kBlackBackgroundMode = 2;
struct Colour {
  uint8_t r, g, b;
};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWindowBackgroundGrey{0x40, 0x40, 0x40};
// The key that toggles "On\tTop" (SDL windows have no system menu).
constexpr SDL_Keycode kOnTopKey = SDLK_t;
// SDL's texture format for each FourCC index (0 = not offered).
constexpr uint32_t kSdlFormats[window::kFormatCount] = {
    SDL_PIXELFORMAT_YUY2, SDL_PIXELFORMAT_YVYU, SDL_PIXELFORMAT_UYVY, 0, 0, 0, SDL_PIXELFORMAT_YV12, 0, 0};

struct Window {
  SDL_Window *window = nullptr;
  SDL_Renderer *renderer = nullptr;
  SDL_Texture *texture = nullptr;
  int32_t texture_w = 0, texture_h = 0;
  int32_t format_index = -1;  // overlay format, -1 = RGB
  bool has_picture = false;   // the texture holds the last picture shown
  SDL_RendererInfo info{};
  std::vector<uint8_t> staging;
  char caption[kCaptionLines][kCaptionChars] = {};
  int32_t saved_w = 0, saved_h = 0;  // window size before full screen
  int32_t own_w = 0, own_h = 0;      // the size the engine last gave it
} g_win;

bool g_video_up = false;

bool bring_up_video() {
  if (g_video_up) return true;
  g_video_up = platform::sdl_loaded() && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  return g_video_up;
}

bool renderer_offers(int32_t index) {
  const uint32_t f = kSdlFormats[index];
  if (!f) return false;
  for (uint32_t i = 0; i < g_win.info.num_texture_formats; ++i) {
    if (g_win.info.texture_formats[i] == f) return true;
  }
  // Not native to the renderer: usable when a surface of that format can
  // still be created (SDL converts it on the way).
  SDL_Texture *probe = SDL_CreateTexture(g_win.renderer, f, SDL_TEXTUREACCESS_STREAMING, 16, 16);
  if (!probe) return false;
  SDL_DestroyTexture(probe);
  return true;
}

// Sizes the window on the engine's own account. The size event that follows
// is then not a user's sizing: it re-lays out but is not reshaped (it may be
// seen only after the aspect settings changed).
void resize_window(int32_t w, int32_t h) {
  g_win.own_w = w;
  g_win.own_h = h;
  SDL_SetWindowSize(g_win.window, w, h);
}

void drop_texture() {
  if (g_win.texture) SDL_DestroyTexture(g_win.texture);
  g_win.texture = nullptr;
  g_win.texture_w = g_win.texture_h = 0;
  g_win.has_picture = false;
}

bool make_texture(int32_t w, int32_t h) {
  if (g_win.texture && g_win.texture_w == w && g_win.texture_h == h) return true;
  drop_texture();
  const EngineState &s = engine().state;
  g_win.format_index = -1;
  // VCMD_SET_VALUE_55 switches the overlay path on.
  if (s.stored[VCMD_SET_VALUE_55] != 0) {
    const auto *prefs = reinterpret_cast<const int32_t *>(engine_command(VCMD_FORMAT_PREFERENCES, 0));
    if (prefs) g_win.format_index = window::choose_overlay_format(prefs, renderer_offers);
  }
  const uint32_t format = g_win.format_index >= 0 ? kSdlFormats[g_win.format_index]
                                                  : static_cast<uint32_t>(SDL_PIXELFORMAT_ARGB8888);
  // The overlay formats want even sizes.
  const int32_t tw = g_win.format_index >= 0 ? (w + 1) & ~1 : w;
  const int32_t th = g_win.format_index >= 0 ? (h + 1) & ~1 : h;
  g_win.texture = SDL_CreateTexture(g_win.renderer, format, SDL_TEXTUREACCESS_STREAMING, tw, th);
  if (!g_win.texture) return false;
  g_win.texture_w = w;
  g_win.texture_h = h;
  return true;
}

// Packs 4:2:0 / 4:2:2 planes into a packed 4:2:2 overlay line by line.
// order: byte positions of Y0, U, Y1, V in each 4-byte group.
void pack_422(const KestrumPicture &p, uint8_t *dst, int32_t pitch, const int (&order)[4]) {
  for (int32_t y = 0; y < p.height; ++y) {
    const int32_t cy = p.chroma_format == 1 ? y / 2 : y;
    const uint8_t *ly = p.y + static_cast<ptrdiff_t>(y) * p.y_pitch;
    const uint8_t *lu = p.cb + static_cast<ptrdiff_t>(cy) * p.c_pitch;
    const uint8_t *lv = p.cr + static_cast<ptrdiff_t>(cy) * p.c_pitch;
    uint8_t *out = dst + static_cast<ptrdiff_t>(y) * pitch;
    for (int32_t x = 0; x + 1 < p.width; x += 2) {
      const int32_t cx = p.chroma_format == 3 ? x : x / 2;
      out[order[0]] = ly[x];
      out[order[1]] = lu[cx];
      out[order[2]] = ly[x + 1];
      out[order[3]] = lv[cx];
      out += 4;
    }
  }
}

bool fill_texture(const KestrumPicture &p) {
  void *pixels = nullptr;
  int pitch = 0;
  if (g_win.format_index == 6) {
    // YV12 takes the planes as they are (4:2:0 only; others go through RGB).
    return SDL_UpdateYUVTexture(g_win.texture, nullptr, p.y, p.y_pitch, p.cb, p.c_pitch, p.cr, p.c_pitch) ==
           0;
  }
  if (SDL_LockTexture(g_win.texture, nullptr, &pixels, &pitch) != 0) return false;
  bool ok = true;
  static constexpr int kYuy2[4] = {0, 1, 2, 3};
  static constexpr int kYvyu[4] = {0, 3, 2, 1};
  static constexpr int kUyvy[4] = {1, 0, 3, 2};
  switch (g_win.format_index) {
    case 0:
      pack_422(p, static_cast<uint8_t *>(pixels), pitch, kYuy2);
      break;
    case 1:
      pack_422(p, static_cast<uint8_t *>(pixels), pitch, kYvyu);
      break;
    case 2:
      pack_422(p, static_cast<uint8_t *>(pixels), pitch, kUyvy);
      break;
    default:
      ok = convert_rgb32(p, engine().state.picture.colour_mode, static_cast<uint8_t *>(pixels), pitch) != 0;
      break;
  }
  SDL_UnlockTexture(g_win.texture);
  return ok;
}

// What the events of one pass ask of the window beyond what they did
// themselves.
struct Pending {
  bool relayout = false;  // resized or moved: fit the picture anew
  bool expose = false;    // uncovered: paint the borders and the picture
};

bool our_window(uint32_t window_id) {
  return window_id == 0 || (g_win.window && window_id == SDL_GetWindowID(g_win.window));
}

bool plain_key(const SDL_KeyboardEvent &key) {
  return !key.repeat && !(key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI));
}

// Under engine_lock.
void handle_events(Pending *pending) {
  EngineState &s = engine().state;
  SDL_Event ev;
  while (SDL_PollEvent(&ev)) {
    if (ev.type == SDL_MOUSEWHEEL && !s.presentation.full_screen) {
      window::wheel(ev.wheel.y);
    } else if (ev.type == SDL_KEYDOWN && our_window(ev.key.windowID) && plain_key(ev.key) &&
               ev.key.keysym.sym == kOnTopKey) {
      window::set_on_top(!s.presentation.on_top);
    } else if (ev.type == SDL_WINDOWEVENT && our_window(ev.window.windowID)) {
      switch (ev.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          pending->relayout = true;
          if (s.presentation.keep_aspect && !s.presentation.full_screen && s.presentation.aspect_factor > 0 &&
              !(ev.window.data1 == g_win.own_w && ev.window.data2 == g_win.own_h)) {
            // Sizing keeps the picture's shape: the height follows the width.
            const int32_t want_h =
                ev.window.data1 * 256 /
                (s.presentation.wide == 1 ? window::kWideScreenFactor : s.presentation.aspect_factor);
            if (std::abs(want_h - ev.window.data2) > kSizingSlack && want_h > 0) {
              resize_window(ev.window.data1, want_h);
            }
          }
          break;
        case SDL_WINDOWEVENT_MOVED:
          pending->relayout = true;
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          pending->expose = true;
          break;
        case SDL_WINDOWEVENT_CLOSE:
          // Closing hides the window; unless the host keeps the play going,
          // it also stops the pictures and the sound.
          SDL_HideWindow(g_win.window);
          if (!s.presentation.close_hides_only) {
            s.playback.stopped = 1;
            // Events are handled under engine_lock: the sound stops later.
            s.audio_link.stop_asked = 1;
          }
          break;
        default:
          break;
      }
    }
  }
}

Colour background_colour() {
  return engine().state.presentation.background_mode == kBlackBackgroundMode ? kBlack : kWindowBackgroundGrey;
}

// Text right-aligned in the top right corner: the box filled with the
// window's background (black or grey), the text in red one pixel down and right, then in yellow on top.
void draw_caption(int32_t out_w) {
  if (!engine().state.presentation.caption_on) return;
  std::vector<SDL_Point> points;
  for (int32_t line = 0; line < kCaptionLines; ++line) {
    const char *text = g_win.caption[line];
    if (!text[0]) continue;
    const int32_t tw = window::text_width(text);
    const int32_t x0 = out_w - kCaptionRight - tw;
    const int32_t y0 = kCaptionTop + line * (window::kGlyphHeight + kCaptionLineGap);
    const SDL_Rect box{x0, y0, tw + 1, window::kGlyphHeight + 1};
    const Colour bg = background_colour();
    SDL_SetRenderDrawColor(g_win.renderer, bg.r, bg.g, bg.b, 255);
    SDL_RenderFillRect(g_win.renderer, &box);
    points.clear();
    for (size_t i = 0; text[i]; ++i) {
      const uint8_t *rows = window::glyph(text[i]);
      const int32_t gx = x0 + static_cast<int32_t>(i) * window::kGlyphAdvance;
      for (int32_t r = 0; r < window::kGlyphHeight; ++r) {
        for (int32_t c = 0; c < window::kGlyphWidth; ++c) {
          if (rows[r] & (0x10 >> c)) points.push_back({gx + c, y0 + r});
        }
      }
    }
    for (SDL_Point &p : points) {
      ++p.x;
      ++p.y;
    }
    SDL_SetRenderDrawColor(g_win.renderer, 255, 0, 0, 255);
    SDL_RenderDrawPoints(g_win.renderer, points.data(), static_cast<int>(points.size()));
    for (SDL_Point &p : points) {
      --p.x;
      --p.y;
    }
    SDL_SetRenderDrawColor(g_win.renderer, 255, 255, 0, 255);
    SDL_RenderDrawPoints(g_win.renderer, points.data(), static_cast<int>(points.size()));
  }
}

bool window_open(Display &, int32_t width, int32_t height) {
  if (!bring_up_video() || width <= 0 || height <= 0) return false;
  const EngineState &s = engine().state;
  if (!g_win.window) {
    g_win.window = SDL_CreateWindow(s.source.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    width, height, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!g_win.window) return false;
    // The hardware renderer first; the software one when it is missing.
    g_win.renderer = SDL_CreateRenderer(g_win.window, -1, SDL_RENDERER_ACCELERATED);
    if (!g_win.renderer) g_win.renderer = SDL_CreateRenderer(g_win.window, -1, SDL_RENDERER_SOFTWARE);
    if (!g_win.renderer) {
      SDL_DestroyWindow(g_win.window);
      g_win.window = nullptr;
      return false;
    }
    SDL_GetRendererInfo(g_win.renderer, &g_win.info);
  } else {
    SDL_SetWindowTitle(g_win.window, s.source.title.c_str());
    resize_window(width, height);
  }
  SDL_SetWindowAlwaysOnTop(g_win.window, s.presentation.on_top ? SDL_TRUE : SDL_FALSE);
  drop_texture();
  // Shown once a file is open; no screen saver while it is.
  SDL_ShowWindow(g_win.window);
  SDL_DisableScreenSaver();
  return true;
}

void window_close(Display &) {
  drop_texture();
  if (g_win.window) SDL_HideWindow(g_win.window);
  SDL_EnableScreenSaver();
}

// Paints the whole window: the borders in the background colour, the last
// picture fitted to the window's present size, the caption on top.
void draw_window() {
  const EngineState &s = engine().state;
  int32_t w = 0, h = 0;
  SDL_GetRendererOutputSize(g_win.renderer, &w, &h);
  const Colour bg = background_colour();
  SDL_SetRenderDrawColor(g_win.renderer, bg.r, bg.g, bg.b, 255);
  SDL_RenderClear(g_win.renderer);
  if (g_win.has_picture) {
    const window::Rect r = window::fit_picture(w, h, s.presentation.aspect_factor,
                                               s.presentation.keep_aspect != 0, s.presentation.wide == 1);
    const SDL_Rect src{0, 0, g_win.texture_w, g_win.texture_h};
    const SDL_Rect dst{r.x, r.y, r.w, r.h};
    SDL_RenderCopy(g_win.renderer, g_win.texture, &src, &dst);
  }
  draw_caption(w);
  SDL_RenderPresent(g_win.renderer);
}

bool window_present(Display &, const KestrumPicture &p) {
  if (!g_win.renderer || p.width <= 0 || p.height <= 0) return false;
  // Whatever the events ask (a new size, an uncovered window) this picture
  // answers: it is drawn at the window's size as it is now.
  Pending ignored;
  handle_events(&ignored);
  if (!make_texture(p.width, p.height) || !fill_texture(p)) return false;
  g_win.has_picture = true;
  draw_window();
  return true;
}

void window_repaint(Display &) {
  if (g_win.renderer) draw_window();
}

void window_target_size(const Display &, int32_t *width, int32_t *height) {
  *width = *height = 0;
  if (g_win.window) SDL_GetWindowSize(g_win.window, width, height);
}

}  // namespace

const DisplayDriver kWindowDisplayDriver = {"window",       window_open,        window_close,
                                            window_present, window_target_size, window_repaint};

bool window_display_available() { return bring_up_video(); }

namespace window {

int32_t read_pixels(std::vector<uint8_t> *pixels, int32_t *width, int32_t *height) {
  platform::Lock lock(engine().engine_lock);
  if (!g_win.renderer) return 0;
  int w = 0, h = 0;
  if (SDL_GetRendererOutputSize(g_win.renderer, &w, &h) != 0 || w <= 0 || h <= 0) return 0;
  pixels->resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  if (SDL_RenderReadPixels(g_win.renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels->data(), w * 4) != 0) {
    return 0;
  }
  *width = w;
  *height = h;
  return 1;
}

void window_size(int32_t *width, int32_t *height) {
  *width = *height = 0;
  if (g_win.window) SDL_GetWindowSize(g_win.window, width, height);
}

void wheel(int32_t notches) {
  if (!g_win.window) return;
  int w = 0, h = 0;
  SDL_GetWindowSize(g_win.window, &w, &h);
  wheel_resize(&w, &h, notches);
  resize_window(w, h);
}

int32_t overlay_format() { return g_win.format_index; }

int32_t set_on_top(int32_t on) {
  Engine &e = engine();
  platform::Lock lock(e.engine_lock);
  const int32_t old = e.state.presentation.on_top;
  e.state.presentation.on_top = on ? 1 : 0;
  write_on_top_setting(e.state.presentation.on_top);
  if (g_win.window)
    SDL_SetWindowAlwaysOnTop(g_win.window, e.state.presentation.on_top ? SDL_TRUE : SDL_FALSE);
  return old;
}

void pump_events() {
  Engine &e = engine();
  Pending pending;
  {
    platform::Lock lock(e.engine_lock);
    if (!g_win.window) return;
    handle_events(&pending);
  }
  stop_sound_if_asked();
  if (e.display.driver() != &kWindowDisplayDriver) return;
  if (pending.relayout) {
    // A new size or place goes through the same path a host's call takes;
    // it also redraws the caption.
    VideoUpdateWindow(nullptr);
  } else if (pending.expose) {
    {
      platform::Lock lock(e.engine_lock);
      e.display.repaint();
    }
    VideoRefresh();
  }
}

int32_t set_full_screen(bool on) {
  if (!g_win.window) return 0;
  const EngineState &s = engine().state;
  if (on) {
    SDL_GetWindowSize(g_win.window, &g_win.saved_w, &g_win.saved_h);
    if (SDL_SetWindowFullscreen(g_win.window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return 0;
    // SDL now lays out for the screen; the window must really have it.
    fill_screen_without_manager(g_win.window);
    return 1;
  }
  if (SDL_SetWindowFullscreen(g_win.window, 0) != 0) return 0;
  if (g_win.saved_w > 0 && g_win.saved_h > 0) {
    int32_t w = g_win.saved_w;
    // A 16:9 picture kept in shape comes back 16:9 wide, a multiple of 4.
    if (s.presentation.keep_aspect && s.presentation.wide == 1) w = (g_win.saved_h * 16 / 9 + 3) & ~3;
    resize_window(w, g_win.saved_h);
  }
  return 1;
}

int32_t set_caption_line(int32_t line, const char *text) {
  if (line < 0 || line >= kCaptionLines) return 0;
  g_win.caption[line][0] = 0;
  if (text) {
    std::strncpy(g_win.caption[line], text, kCaptionChars - 1);
    g_win.caption[line][kCaptionChars - 1] = 0;
  }
  return caption_drawable();
}

bool shown() { return g_win.window && !(SDL_GetWindowFlags(g_win.window) & SDL_WINDOW_HIDDEN); }

int32_t caption_drawable() { return g_win.renderer && g_win.window ? 1 : 0; }

SDL_Window *sdl_window() { return g_win.window; }

}  // namespace window

}  // namespace kestrum
