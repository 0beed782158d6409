// Xlib loaded when first needed instead of linked: libX11 brings five more
// libraries (xcb, Xau, Xdmcp, bsd, md) that every process would load and
// relocate at start, though only full screen under an X server without a
// window manager calls it. Files that call Xlib include this header after
// Xlib's own; every Xlib function they use then goes through the table.
//
// Call x11_loaded() before the first Xlib call of a path; the entries are
// valid only after it returned true.
#pragma once

#include <X11/Xlib.h>

// Every Xlib function the engines call.
#define RAZAVORI_X11_FUNCTIONS(X) \
  X(XInternAtom)                  \
  X(XGetWindowProperty)           \
  X(XFree)                        \
  X(XMoveResizeWindow)            \
  X(XRaiseWindow)                 \
  X(XSync)

namespace platform {

struct X11Api {
#define RAZAVORI_X11_MEMBER(name) decltype(&::name) name;
  RAZAVORI_X11_FUNCTIONS(RAZAVORI_X11_MEMBER)
#undef RAZAVORI_X11_MEMBER
};

/// Loads libX11 once (any thread). true when it and every function above
/// were found.
bool x11_loaded();
/// The table; its entries are valid only after x11_loaded() returned true.
const X11Api &x11();

}  // namespace platform

#ifndef RAZAVORI_X11_LOADER
#define XInternAtom platform::x11().XInternAtom
#define XGetWindowProperty platform::x11().XGetWindowProperty
#define XFree platform::x11().XFree
#define XMoveResizeWindow platform::x11().XMoveResizeWindow
#define XRaiseWindow platform::x11().XRaiseWindow
#define XSync platform::x11().XSync
#endif
