// The host and null display drivers and the Display that selects them.
#include "video/engine/display.h"

#include "video/engine/output_link.h"
#ifdef KESTRUM_HAVE_SDL
#include "video/engine/window/window_display.h"
#endif

namespace kestrum {

namespace {

bool host_open(Display &display, int32_t width, int32_t height) {
  if (display.host().present_rgb && width > 0 && height > 0) {
    display.rgb_scratch().resize(static_cast<size_t>((width + 15) & ~15) *
                                 static_cast<size_t>((height + 15) & ~15) * 4);
  }
  return true;
}
void host_close(Display &) {}

bool host_present(Display &display, const KestrumPicture &picture) {
  const KestrumHostDisplay &host = display.host();
  if (host.present_planes) return host.present_planes(host.user, &picture) != 0;
  if (!host.present_rgb || picture.width <= 0 || picture.height <= 0) return false;
  std::vector<uint8_t> &rgb = display.rgb_scratch();
  const size_t pitch = static_cast<size_t>(picture.width) * 4;
  const size_t need = pitch * static_cast<size_t>(picture.height);
  if (rgb.size() < need) rgb.resize(need);  // only when a sequence grows the picture
  // Without the colour converters a host that only takes RGB gets nothing
  // rather than wrong colours.
  if (!convert_rgb32(picture, 1, rgb.data(), static_cast<int32_t>(pitch))) return false;
  return host.present_rgb(host.user, rgb.data(), static_cast<int32_t>(pitch), picture.width,
                          picture.height) != 0;
}

void host_target_size(const Display &display, int32_t *width, int32_t *height) {
  const KestrumHostDisplay &host = display.host();
  *width = 0;
  *height = 0;
  if (host.target_size) host.target_size(host.user, width, height);
  if (*width < 0 || *height < 0) *width = *height = 0;
}

bool null_open(Display &, int32_t, int32_t) { return true; }
void null_close(Display &) {}
bool null_present(Display &, const KestrumPicture &) { return true; }
void null_target_size(const Display &, int32_t *width, int32_t *height) {
  *width = 0;
  *height = 0;
}
// A host draws its own preview area; the null display has nothing to draw.
void no_repaint(Display &) {}

}  // namespace

const DisplayDriver kHostDisplayDriver = {"host",       host_open,        host_close,
                                          host_present, host_target_size, no_repaint};
const DisplayDriver kNullDisplayDriver = {"null",       null_open,        null_close,
                                          null_present, null_target_size, no_repaint};

void Display::attach(const KestrumHostDisplay *host) {
  if (open_) close();
  if (host) {
    host_ = *host;
    host_ptr_ = const_cast<KestrumHostDisplay *>(host);
    driver_ = &kHostDisplayDriver;
  } else {
    host_ = KestrumHostDisplay{};
    host_ptr_ = nullptr;
    driver_ = &kNullDisplayDriver;
#ifdef KESTRUM_HAVE_SDL
    // No host display: the engine's own window, where there is a screen.
    if (window_display_available()) driver_ = &kWindowDisplayDriver;
#endif
  }
}

bool Display::open(int32_t width, int32_t height) {
  if (open_) close();
  width_ = width;
  height_ = height;
  presented_ = 0;
  open_ = driver_->open(*this, width, height);
  return open_;
}

void Display::close() {
  if (!open_) return;
  driver_->close(*this);
  open_ = false;
  rgb_ = std::vector<uint8_t>();
}

bool Display::present(const KestrumPicture &picture) {
  if (!open_) return false;
  if (!driver_->present(*this, picture)) return false;
  ++presented_;
  return true;
}

void Display::target_size(int32_t *width, int32_t *height) const {
  driver_->target_size(*this, width, height);
}

void Display::repaint() {
  if (open_) driver_->repaint(*this);
}

}  // namespace kestrum
