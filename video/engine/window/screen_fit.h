// Full screen where no window manager carries it out. SDL asks the window
// manager to make the window fill the screen and from then on believes it
// does; under an X server without a window manager nobody acts on the
// request, the window keeps its size and every picture is laid out for a
// screen-sized area the window does not have. There the window is sized
// to the screen directly, so the size SDL lays out for is the one it has.
#pragma once

#include <SDL.h>

namespace kestrum::window {

/// After SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP):
/// gives the window the bounds of its screen itself when no window manager
/// runs. true when it did.
bool fill_screen_without_manager(SDL_Window *window);

}  // namespace kestrum::window
