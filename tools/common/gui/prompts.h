// Everything a window asks of the user or the system, behind one interface
// so that tests answer without modal loops and never power anything off.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tools_gui {

class Prompts {
 public:
  virtual ~Prompts() = default;
  /// Files to open (empty = cancelled).
  virtual QStringList choose_files(QWidget *parent, const QString &title, const QString &folder,
                                   const QString &filter) = 0;
  /// A folder (empty = cancelled).
  virtual QString choose_folder(QWidget *parent, const QString &title, const QString &start) = 0;
  /// A line of text (ok false = cancelled).
  virtual QString ask_text(QWidget *parent, const QString &title, const QString &label, const QString &text,
                           bool *ok) = 0;
  virtual void inform(QWidget *parent, const QString &title, const QString &text) = 0;
  /// Powers the machine off; true when the request was made.
  virtual bool power_off() = 0;
};

/// The desktop's dialogs and `systemctl poweroff`.
class DesktopPrompts : public Prompts {
 public:
  QStringList choose_files(QWidget *parent, const QString &title, const QString &folder,
                           const QString &filter) override;
  QString choose_folder(QWidget *parent, const QString &title, const QString &start) override;
  QString ask_text(QWidget *parent, const QString &title, const QString &label, const QString &text,
                   bool *ok) override;
  void inform(QWidget *parent, const QString &title, const QString &text) override;
  bool power_off() override;
};

}  // namespace tools_gui
