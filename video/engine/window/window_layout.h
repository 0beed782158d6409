// The geometry of the engine's own window: where the picture goes inside
// it, how the mouse wheel sizes it, and which overlay format is used.
// Pure functions, so that they are tested without a window.
#pragma once

#include <cstdint>

namespace kestrum::window {

struct Rect {
  int32_t x = 0, y = 0, w = 0, h = 0;
};

/// Each wheel notch changes the window's outer width and height by 1/24.
inline constexpr int32_t kWheelSizeDivisor = 24;
/// aspectFactor (width x 256 / height) above this: the height is reduced
/// to fit; below kNarrowAspect the width is.
inline constexpr int32_t kWideAspect = 384;
inline constexpr int32_t kNarrowAspect = 310;
/// aspectFactor of a 16:9 picture.
inline constexpr int32_t kWideScreenFactor = 16 * 256 / 9;

/// The outer size after `notches` wheel notches (negative: smaller).
void wheel_resize(int32_t *width, int32_t *height, int32_t notches);

/// Where a picture of `aspect_factor` goes in a target of w x h: the whole
/// target, or with keep_aspect a centred rectangle reduced on the side the
/// factor says (16:9 when wide).
Rect fit_picture(int32_t w, int32_t h, int32_t aspect_factor, bool keep_aspect, bool wide);

/// The overlay formats, in the order of the FourCC list
/// "YUY2YVYUUYVYVYUYY411Y211YV12YVU9IF09".
inline constexpr char kFourCcList[] = "YUY2YVYUUYVYVYUYY411Y211YV12YVU9IF09";
inline constexpr int32_t kFormatCount = 9;

/// The first index of `preferences` (nine indexes into the FourCC list)
/// that `supported` accepts, or -1.
int32_t choose_overlay_format(const int32_t preferences[kFormatCount], bool (*supported)(int32_t index));

}  // namespace kestrum::window
