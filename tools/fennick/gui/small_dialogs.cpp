#include "tools/fennick/gui/small_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "tools/fennick/gui/texts.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace fennick_gui {

namespace {
// Field length of the name dialog.
constexpr int kNameMax = 100;
constexpr int kMmxBit = 1 << 23;
}  // namespace

bool cpu_has_mmx() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (d & kMmxBit) != 0;
#else
  return false;
#endif
}

VideoHandleDialog::VideoHandleDialog(int processing, bool smooth_zoom, bool mmx, QWidget *parent)
    : QDialog(parent) {
  setWindowTitle(text(kTxtVideoHandle));
  auto *layout = new QVBoxLayout(this);
  const int ids[3] = {kTxtFastSpeed, kTxtMmx, kTxtHighQuality};
  for (int i = 0; i < 3; ++i) {
    choice_[i] = new QRadioButton(text(ids[i]), this);
    layout->addWidget(choice_[i]);
  }
  choice_[1]->setEnabled(mmx);
  if (processing == 1 && !mmx) processing = 2;
  choice_[processing >= 0 && processing <= 2 ? processing : 2]->setChecked(true);
  smooth_ = new QCheckBox(text(kTxtSmoothZoom), this);
  smooth_->setChecked(smooth_zoom);
  layout->addWidget(smooth_);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(text(kTxtOk));
  buttons->button(QDialogButtonBox::Cancel)->setText(text(kTxtCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

int VideoHandleDialog::processing() const {
  for (int i = 0; i < 3; ++i)
    if (choice_[i]->isChecked()) return i;
  return 2;
}

bool VideoHandleDialog::smooth_zoom() const { return smooth_->isChecked(); }

QString with_mpg_extension(const QString &name) {
  if (name.size() >= 5 && name.endsWith(QStringLiteral(".MPG"), Qt::CaseInsensitive)) return name;
  return name + QStringLiteral(".MPG");
}

OutNameDialog::OutNameDialog(QWidget *parent) : QDialog(parent) {
  setWindowTitle(text(kTxtMenuChangeName));
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(text(kTxtNameNotice), this));
  layout->addWidget(new QLabel(text(kTxtNameInput), this));
  field_ = new QLineEdit(this);
  field_->setMaxLength(kNameMax);
  layout->addWidget(field_);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setText(text(kTxtOk));
  ok_->setEnabled(false);
  buttons->button(QDialogButtonBox::Cancel)->setText(text(kTxtCancel));
  connect(field_, &QLineEdit::textChanged, this, [this](const QString &t) { ok_->setEnabled(!t.isEmpty()); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QString OutNameDialog::file_name() const { return with_mpg_extension(field_->text()); }

}  // namespace fennick_gui
