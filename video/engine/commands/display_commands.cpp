// The display: full screen, the caption, the window's background, size,
// stacking and aspect, and the presentation paths this platform lacks.
#include <cstring>

#include "components/glyvex/glyvex.h"
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"
#ifdef KESTRUM_HAVE_SDL
#include "video/engine/window/window_display.h"
#endif

namespace kestrum::commands {

namespace {

// The surface-format preference list of VCMD_FORMAT_PREFERENCES: nine
// indexes into the display's YUV format list, in the order tried.
int32_t g_format_preferences[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};

bool own_window() {
#ifdef KESTRUM_HAVE_SDL
  return engine().display.driver() == &kWindowDisplayDriver;
#else
  return false;
#endif
}

int32_t set_full_screen(bool on) {
  Engine &e = engine();
  e.state.presentation.full_screen = on ? 1 : 0;
#ifdef KESTRUM_HAVE_SDL
  if (own_window()) {
    platform::Lock lock(e.engine_lock);
    window::set_full_screen(on);
  }
#endif
  return 1;
}

int32_t set_on_top(int32_t value) {
#ifdef KESTRUM_HAVE_SDL
  // The same path as the window's T key: state, stacking, settings file.
  return window::set_on_top(value);
#else
  EngineState &s = engine().state;
  const int32_t old = s.presentation.on_top;
  s.presentation.on_top = value ? 1 : 0;
  write_on_top_setting(s.presentation.on_top);
  return old;
#endif
}

// A caption line is drawn on the engine's own window only.
int32_t set_caption_line(int32_t line, const char *text) {
#ifdef KESTRUM_HAVE_SDL
  Engine &e = engine();
  if (!own_window() || !e.state.presentation.caption_on) return 0;
  {
    platform::Lock lock(e.engine_lock);
    window::set_caption_line(line, text);
  }
  engine_refresh();
  return 1;
#else
  (void)line;
  (void)text;
  return 0;
#endif
}

int32_t caption_drawable() {
#ifdef KESTRUM_HAVE_SDL
  return own_window() ? window::caption_drawable() : 0;
#else
  return 0;
#endif
}

// The borders take a new background colour at once: the current picture is
// shown again, or, while it is held (or none is decoded yet), the window
// redraws what it last showed.
void repaint_background() {
  Engine &e = engine();
  platform::Lock lock(e.engine_lock);
  const int64_t before = e.display.presented();
  if (!e.state.picture.picture_held) present_current();
  if (e.display.presented() == before) e.display.repaint();
}

}  // namespace

Outcome display_setting(int32_t cmd, intptr_t arg, intptr_t &result) {
  // The window reads these settings on the playback thread, under
  // engine_lock: change them under it too.
  platform::Lock lock(engine().engine_lock);
  EngineState &s = engine().state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_CAPTION_ON:
      s.presentation.caption_on = value ? 1 : 0;
      result = s.presentation.caption_on;
      return Outcome::go_on;
    case VCMD_CAPTION_TEXT:
      if (arg) {
        s.presentation.caption_text.fill(0);
        std::strncpy(s.presentation.caption_text.data(), as_ptr<const char>(arg), kCaptionSize - 1);
      }
      result = 1;
      return Outcome::done;
    case VCMD_GET_BACKGROUND:
      result = s.presentation.background_mode;
      return Outcome::done;
    case VCMD_SET_BACKGROUND:
      result = s.presentation.background_mode;
      s.presentation.background_mode = value;
      return Outcome::go_on;
    case VCMD_HARDWARE_IN_USE:
      result = 0;  // no overlay or hardware presentation
      return Outcome::done;
    case VCMD_FORMAT_PREFERENCES:
      result = reinterpret_cast<intptr_t>(g_format_preferences);
      return Outcome::done;
    case VCMD_SET_HOST_WINDOW:
      s.presentation.host_window = arg;
      result = 0;
      return Outcome::done;
    case VCMD_SET_HOST_COMMAND:
      s.presentation.host_command = arg;
      result = 0;
      return Outcome::done;
    case VCMD_GET_KEEP_ASPECT:
      result = s.presentation.keep_aspect;
      return Outcome::done;
    case VCMD_SET_KEEP_ASPECT:
      result = s.presentation.keep_aspect;
      s.presentation.keep_aspect = value ? 1 : 0;
      return Outcome::done;
    case VCMD_CLOSE_HIDES_ONLY:
      result = s.presentation.close_hides_only;
      s.presentation.close_hides_only = value;
      return Outcome::done;
    case VCMD_SET_DEPTH_PREFERENCE:
      result = s.presentation.depth_preference;
      s.presentation.depth_preference = value;
      return Outcome::done;
    case VCMD_GET_DEPTH_PREFERENCE:
      result = s.presentation.depth_preference;
      return Outcome::done;
    case VCMD_FULL_SCREEN_REQUESTED:
      result = s.source.open ? s.presentation.full_screen : 0;
      return Outcome::done;
    case VCMD_GET_ON_TOP:
      result = s.presentation.on_top;
      return Outcome::done;
    case VCMD_SET_ON_TOP:
      result = set_on_top(value);
      return Outcome::done;
    case VCMD_BACKGROUND_WINDOW:
      result = 0;  // no full-screen background window
      return Outcome::done;
    case VCMD_GET_ASPECT_FACTOR:
      result = s.presentation.aspect_factor;
      return Outcome::done;
    case VCMD_SET_ASPECT_FACTOR:
      result = s.presentation.aspect_factor;
      s.presentation.aspect_factor = value;
      return Outcome::done;
    default:
      return Outcome::not_mine;
  }
}

bool display_stream(int32_t cmd, intptr_t arg, intptr_t &result) {
  // The window reads these settings on the playback thread, under
  // engine_lock: change them under it too.
  platform::Lock lock(engine().engine_lock);
  EngineState &s = engine().state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_FULL_SCREEN_ON:
    case VCMD_FULL_SCREEN_OFF:
      result = set_full_screen(cmd == VCMD_FULL_SCREEN_ON);
      return true;
    case VCMD_FULL_SCREEN_MODES:
      if (arg) *as_ptr<int32_t>(arg) = 0;
      result = 0;
      return true;
    case VCMD_PRESENTATION_PATH:
      result = 0;
      return true;
    case VCMD_ZERO_RECORD:
      if (arg) std::memset(as_ptr<void>(arg), 0, 16);
      result = 0;
      return true;
    case VCMD_FORBID_REFRESH:
      s.presentation.refresh_forbidden = 1;
      result = 0;
      return true;
    case VCMD_ALLOW_REFRESH:
      s.presentation.refresh_forbidden = 0;
      result = 0;
      return true;
    case VCMD_CAPTION_LINE1:
    case VCMD_CAPTION_LINE2:
      result = set_caption_line(cmd == VCMD_CAPTION_LINE1 ? 0 : 1, as_ptr<const char>(arg));
      return true;
    case VCMD_CAPTION_DRAWABLE:
      result = caption_drawable();
      return true;
    case VCMD_SET_BACKGROUND:
      repaint_background();
      return true;
    case VCMD_PLUGIN_LOAD:
    case VCMD_PLUGIN_UNLOAD:
    case VCMD_PLUGIN_LOADED:
      result = 0;  // no presentation plug-in
      return true;
    case VCMD_ZOOM:
      s.stored[VCMD_ZOOM] = arg;
      result = 1;
      return true;
    case VCMD_IS_ZOOMED:
      result = s.stored[VCMD_ZOOM] ? 1 : 0;
      return true;
    case VCMD_IS_WIDE:
      result = s.presentation.wide == 1 ? 1 : 0;
      return true;
    case VCMD_SET_WIDE:
      if (value == 0 || value == 1) s.presentation.wide = value;
      result = 0;
      return true;
    default:
      return false;
  }
}

}  // namespace kestrum::commands
