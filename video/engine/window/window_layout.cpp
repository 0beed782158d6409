#include "video/engine/window/window_layout.h"

namespace kestrum::window {

namespace {
constexpr int32_t kAspectSlack = 2;
}  // namespace

void wheel_resize(int32_t *width, int32_t *height, int32_t notches) {
  for (int32_t i = 0; i < notches; ++i) {
    *width += *width / kWheelSizeDivisor;
    *height += *height / kWheelSizeDivisor;
  }
  for (int32_t i = 0; i > notches; --i) {
    *width -= *width / kWheelSizeDivisor;
    *height -= *height / kWheelSizeDivisor;
  }
  if (*width < 1) *width = 1;
  if (*height < 1) *height = 1;
}

Rect fit_picture(int32_t w, int32_t h, int32_t aspect_factor, bool keep_aspect, bool wide) {
  Rect r{0, 0, w, h};
  if (!keep_aspect || w <= 0 || h <= 0) return r;
  const int32_t factor = wide ? kWideScreenFactor : aspect_factor;
  if (factor <= 0) return r;
  const int64_t fitted_h = int64_t{w} * 256 / factor;
  const int64_t fitted_w = int64_t{h} * factor / 256;
  // Differences of a pixel or two are rounding of the factor, not another
  // shape: the picture keeps the whole target rather than being rescaled.
  if (fitted_h < h - kAspectSlack) {
    r.h = static_cast<int32_t>(fitted_h);
    r.y = (h - r.h) / 2;
  } else if (fitted_w < w - kAspectSlack) {
    r.w = static_cast<int32_t>(fitted_w);
    r.x = (w - r.w) / 2;
  }
  return r;
}

int32_t choose_overlay_format(const int32_t preferences[kFormatCount], bool (*supported)(int32_t index)) {
  for (int32_t i = 0; i < kFormatCount; ++i) {
    const int32_t index = preferences[i];
    if (index >= 0 && index < kFormatCount && supported(index)) return index;
  }
  return -1;
}

}  // namespace kestrum::window
