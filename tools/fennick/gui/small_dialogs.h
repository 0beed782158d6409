// The window's two small dialogs: Video Handle (processing and smooth zoom)
// and Change Selected OutFilename.
#pragma once

#include <QDialog>

class QRadioButton;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace fennick_gui {

class VideoHandleDialog : public QDialog {
  Q_OBJECT

 public:
  /// mmx: the MMX entry is offered (the processor has it).
  VideoHandleDialog(int processing, bool smooth_zoom, bool mmx, QWidget *parent = nullptr);
  int processing() const;
  bool smooth_zoom() const;

 private:
  QRadioButton *choice_[3];
  QCheckBox *smooth_;
};

class OutNameDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OutNameDialog(QWidget *parent = nullptr);
  /// The typed name with ".MPG" appended unless it already ends so.
  QString file_name() const;
  QLineEdit *field() const { return field_; }
  QPushButton *ok_button() const { return ok_; }

 private:
  QLineEdit *field_;
  QPushButton *ok_;
};

/// The rule of the name dialog: name + ".MPG" unless the name is at least 5
/// characters long and ends in ".MPG" in any case.
QString with_mpg_extension(const QString &name);

/// True when the processor reports MMX (always on x86-64).
bool cpu_has_mmx();

}  // namespace fennick_gui
