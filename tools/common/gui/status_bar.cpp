#include "tools/common/gui/status_bar.h"

#include <algorithm>

namespace tools_gui {

PartsStatusBar::PartsStatusBar(const QVector<double> &edges, int bar_part, QWidget *parent)
    : QWidget(parent), edges_(edges), bar_part_(bar_part) {
  for (int i = 0; i < edges_.size(); ++i) {
    auto *label = new QLabel(this);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labels_ << label;
  }
  if (bar_part_ >= 0 && bar_part_ < edges_.size()) {
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setStyleSheet("QProgressBar::chunk { background: #2050c0; }");
  }
  setFixedHeight(fontMetrics().height() + 8);
}

void PartsStatusBar::set_text(int part, const QString &text) {
  if (part >= 0 && part < labels_.size()) labels_[part]->setText(text);
}

QString PartsStatusBar::text(int part) const {
  return part >= 0 && part < labels_.size() ? labels_[part]->text() : QString();
}

void PartsStatusBar::set_progress(int percent) {
  if (bar_) bar_->setValue(std::clamp(percent, 0, 100));
}

int PartsStatusBar::progress() const { return bar_ ? bar_->value() : 0; }

QRect PartsStatusBar::part_rect(int part) const {
  if (part < 0 || part >= edges_.size()) return {};
  const int left = part == 0 ? 0 : static_cast<int>(edges_[part - 1] * width());
  const int right = static_cast<int>(edges_[part] * width());
  return QRect(left, 0, std::max(0, right - left), height());
}

void PartsStatusBar::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  for (int i = 0; i < labels_.size(); ++i) labels_[i]->setGeometry(part_rect(i));
  if (bar_) bar_->setGeometry(part_rect(bar_part_).adjusted(1, 2, -1, -2));
}

}  // namespace tools_gui
