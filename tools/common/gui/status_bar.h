// A status bar cut into parts at fixed fractions of its width, with a
// progress bar lying over one part. The converters use four parts at 3/32,
// 12/32, 14/32 and 32/32: "Progress", the bar, "Status", messages.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QVector>
#include <QWidget>

namespace tools_gui {

class PartsStatusBar : public QWidget {
  Q_OBJECT

 public:
  /// edges: right edge of each part as a fraction of the width (ascending,
  /// the last 1). bar_part: the part the progress bar covers (-1 none).
  PartsStatusBar(const QVector<double> &edges, int bar_part, QWidget *parent = nullptr);

  void set_text(int part, const QString &text);
  QString text(int part) const;
  void set_progress(int percent);
  int progress() const;
  QProgressBar *progress_bar() const { return bar_; }
  /// The rectangle of a part in the bar's coordinates.
  QRect part_rect(int part) const;

 protected:
  void resizeEvent(QResizeEvent *event) override;

 private:
  QVector<double> edges_;
  int bar_part_;
  QVector<QLabel *> labels_;
  QProgressBar *bar_ = nullptr;
};

}  // namespace tools_gui
