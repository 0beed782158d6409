#include "tools/common/gui/preview_widget.h"

#include <QMetaObject>
#include <QPainter>
#include <cstring>

namespace tools_gui {

PreviewWidget::PreviewWidget(QWidget *parent) : QWidget(parent) {
  display_.user = this;
  display_.present_rgb = &PreviewWidget::present_rgb;
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 120);
}

int32_t PreviewWidget::present_rgb(void *user, const uint8_t *pixels, int32_t pitch, int32_t width,
                                   int32_t height) {
  return static_cast<PreviewWidget *>(user)->present(pixels, pitch, width, height) ? 1 : 0;
}

bool PreviewWidget::present(const uint8_t *pixels, int32_t pitch, int32_t width, int32_t height) {
  if (!pixels || width <= 0 || height <= 0 || pitch < width * 4) return false;
  if (pending_.exchange(true)) {
    dropped_.fetch_add(1);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (image_.width() != width || image_.height() != height)
      image_ = QImage(width, height, QImage::Format_RGB32);
    // The engine leaves the fourth byte 0; a grab would take it as alpha.
    for (int32_t y = 0; y < height; ++y) {
      const auto *src = reinterpret_cast<const uint32_t *>(pixels + static_cast<size_t>(y) * pitch);
      auto *dst = reinterpret_cast<uint32_t *>(image_.scanLine(y));
      for (int32_t x = 0; x < width; ++x) dst[x] = src[x] | 0xFF000000u;
    }
  }
  presented_.fetch_add(1);
  QMetaObject::invokeMethod(this, &PreviewWidget::picture_arrived, Qt::QueuedConnection);
  return true;
}

void PreviewWidget::picture_arrived() {
  // A hidden widget gets no paint event: take the next picture anyway.
  if (isVisible())
    update();
  else
    pending_.store(false);
}

void PreviewWidget::clear() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    image_ = QImage();
  }
  update();
}

QImage PreviewWidget::picture() const {
  std::lock_guard<std::mutex> hold(lock_);
  return image_.copy();
}

void PreviewWidget::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  std::lock_guard<std::mutex> hold(lock_);
  pending_.store(false);
  if (image_.isNull()) return;
  QSize fit = image_.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - fit.width()) / 2, (height() - fit.height()) / 2), fit);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(target, image_);
}

}  // namespace tools_gui
