#include "tools/common/gui/prompts.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>

namespace tools_gui {

QStringList DesktopPrompts::choose_files(QWidget *parent, const QString &title, const QString &folder,
                                         const QString &filter) {
  return QFileDialog::getOpenFileNames(parent, title, folder, filter);
}

QString DesktopPrompts::choose_folder(QWidget *parent, const QString &title, const QString &start) {
  return QFileDialog::getExistingDirectory(parent, title, start);
}

QString DesktopPrompts::ask_text(QWidget *parent, const QString &title, const QString &label,
                                 const QString &text, bool *ok) {
  return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, ok);
}

void DesktopPrompts::inform(QWidget *parent, const QString &title, const QString &text) {
  QMessageBox::information(parent, title, text);
}

bool DesktopPrompts::power_off() {
  return QProcess::startDetached(QStringLiteral("systemctl"), {"poweroff"});
}

}  // namespace tools_gui
