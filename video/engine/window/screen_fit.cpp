#include "video/engine/window/screen_fit.h"

#ifdef RAZAVORI_HAVE_X11
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "platform/x11_dynamic.h"
#endif

// After every header that declares SDL functions.
#include "platform/sdl_dynamic.h"

namespace kestrum::window {

#ifdef RAZAVORI_HAVE_X11

namespace {

// A window manager that follows the desktop conventions names its check
// window on the root window; without one the request is never answered.
bool manager_running(Display *display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char *data = nullptr;
  const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                                        &type, &format, &items, &after, &data);
  const bool found = status == Success && type == XA_WINDOW && items == 1 && data;
  if (data) XFree(data);
  return found;
}

}  // namespace

bool fill_screen_without_manager(SDL_Window *window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  Display *display = info.info.x11.display;
  if (!platform::x11_loaded() || manager_running(display)) return false;
  SDL_Rect bounds{};
  if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &bounds) != 0) return false;
  XMoveResizeWindow(display, info.info.x11.window, bounds.x, bounds.y, static_cast<unsigned>(bounds.w),
                    static_cast<unsigned>(bounds.h));
  XRaiseWindow(display, info.info.x11.window);
  XSync(display, False);
  return true;
}

#else

bool fill_screen_without_manager(SDL_Window *) { return false; }

#endif

}  // namespace kestrum::window
