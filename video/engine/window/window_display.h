// The engine's own window (SDL2), used when VideoOpen gets no host display.
#pragma once

#include <cstdint>
#include <vector>

#include "video/engine/display.h"

struct SDL_Window;

namespace kestrum {

extern const DisplayDriver kWindowDisplayDriver;

/// true when SDL's video can be brought up (then VideoOpen without a host
/// display shows the pictures in the engine's own window).
bool window_display_available();

namespace window {
/// Reads the window's last presented pixels as 32-bit BGRA (SDL's
/// ARGB8888), row after row. 1/0.
int32_t read_pixels(std::vector<uint8_t> *pixels, int32_t *width, int32_t *height);
/// The window's outer size, and a wheel event of `notches` sent to it.
void window_size(int32_t *width, int32_t *height);
void wheel(int32_t notches);
/// The FourCC index of the overlay texture in use, -1 for the RGB path.
int32_t overlay_format();
/// Sets onTop: the window's stacking, and "VideoWinOnTop" in "KESTRUM.INI".
/// The key T in the window toggles it the same way; VCMD_GET_ON_TOP reads it
/// back (for a host's check mark). Returns the old value.
int32_t set_on_top(int32_t on);
/// Handles the window's pending events: the wheel sizes it, T toggles
/// onTop, closing hides it; a new size or place re-lays it out
/// (VideoUpdateWindow), an uncovered window gets its borders painted and
/// the picture refreshed (VideoRefresh). Every present does this too; call
/// it while no pictures come (stopped) so that the window keeps answering.
void pump_events();
/// Full screen on or off (keeps the aspect when keepAspect is on). 1/0.
int32_t set_full_screen(bool on);
/// Sets caption line 0 or 1 (drawn with every picture while captionOn);
/// null clears it. Returns 1 when the window can show it.
int32_t set_caption_line(int32_t line, const char *text);
/// The window exists and is not hidden.
bool shown();
/// The window exists and can draw the caption.
int32_t caption_drawable();
/// The SDL window itself (null before the first open), for a host that
/// moves or sizes it.
SDL_Window *sdl_window();
}  // namespace window

}  // namespace kestrum
