// Where pictures go. A display driver is a const table of functions; the
// engine holds one Display that points at the driver chosen at open:
//   - host: the program's KestrumHostDisplay record (its preview widget, or
//     a recording display in tests);
//   - null: behaves like a device but shows nothing (counts pictures).
// The engine's own window joins as one more driver behind the same table.
#pragma once

#include <cstdint>
#include <vector>

#include "video/video_api.h"

namespace kestrum {

class Display;

struct DisplayDriver {
  const char *name;
  /// Prepares the target for pictures of width x height. Called on the
  /// controlling thread, under engine_lock. true when usable.
  bool (*open)(Display &display, int32_t width, int32_t height);
  /// Releases what open made. Under engine_lock.
  void (*close)(Display &display);
  /// Shows one picture (planes valid during the call). Playback thread or
  /// the controlling thread, always under engine_lock.
  bool (*present)(Display &display, const KestrumPicture &picture);
  /// Size of the area pictures are shown in; 0 x 0 = the picture's own.
  void (*target_size)(const Display &display, int32_t *width, int32_t *height);
  /// The target was resized, moved or uncovered: fits the last picture
  /// shown to the target as it is now and redraws it with its borders.
  /// Targets without borders of their own do nothing. Under engine_lock.
  void (*repaint)(Display &display);
};

extern const DisplayDriver kHostDisplayDriver;
extern const DisplayDriver kNullDisplayDriver;

class Display {
 public:
  /// Chooses the driver for a host record (null record = the null display
  /// until the engine's own window exists). Keeps a copy of the record.
  void attach(const KestrumHostDisplay *host);
  bool open(int32_t width, int32_t height);
  void close();
  bool present(const KestrumPicture &picture);
  void target_size(int32_t *width, int32_t *height) const;
  void repaint();

  /// The value VideoGetWindow hands out: the host record's address, or null.
  void *window() const { return host_ptr_; }
  const DisplayDriver *driver() const { return driver_; }
  bool is_open() const { return open_; }
  const KestrumHostDisplay &host() const { return host_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  /// Pictures presented since the last open.
  int64_t presented() const { return presented_; }
  /// RGB scratch for hosts that take RGB: 4 bytes per pixel of the coded
  /// size, sized at open (and grown when a picture is larger).
  std::vector<uint8_t> &rgb_scratch() { return rgb_; }

 private:
  const DisplayDriver *driver_ = &kNullDisplayDriver;
  KestrumHostDisplay host_{};
  void *host_ptr_ = nullptr;
  bool open_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int64_t presented_ = 0;
  std::vector<uint8_t> rgb_;
};

}  // namespace kestrum
