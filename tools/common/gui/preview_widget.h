// The preview area: shows RGB32 pictures from any feeder, scaled to the
// widget with the picture's aspect kept. The video engine feeds it through
// the KestrumHostDisplay record it hands out; others call present().
//
// present() may run on any thread. One buffer is reused; a picture that
// arrives before the last one was painted is dropped (the painter is behind,
// so copying it would only waste the feeder's time).
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "video/video_api.h"

namespace tools_gui {

class PreviewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewWidget(QWidget *parent = nullptr);

  /// The record to hand to VideoOpen; valid as long as the widget.
  const KestrumHostDisplay *host_display() const { return &display_; }

  /// Takes one picture of B, G, R, x bytes, top-down. Returns false when it
  /// was dropped. Any thread.
  bool present(const uint8_t *pixels, int32_t pitch, int32_t width, int32_t height);
  /// Forgets the picture (the area shows black).
  void clear();

  /// A copy of the picture shown last (null when none). For tests and grabs.
  QImage picture() const;
  int64_t presented_count() const { return presented_.load(); }
  int64_t dropped_count() const { return dropped_.load(); }

 protected:
  void paintEvent(QPaintEvent *event) override;

 private:
  void picture_arrived();
  static int32_t present_rgb(void *user, const uint8_t *pixels, int32_t pitch, int32_t width, int32_t height);

  KestrumHostDisplay display_{};
  mutable std::mutex lock_;
  QImage image_;  // guarded by lock_
  std::atomic<bool> pending_{false};
  std::atomic<int64_t> presented_{0};
  std::atomic<int64_t> dropped_{0};
};

}  // namespace tools_gui
