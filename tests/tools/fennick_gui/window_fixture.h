// What the window tests share: prompts answered by the test, a window made
// with them, the artifacts folder for grabs, and small helpers.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "tools/common/gui/language_loader.h"
#include "tools/common/gui/prompts.h"
#include "tools/fennick/gui/fennick_window.h"

namespace fennick_gui_test {

class ScriptedPrompts : public tools_gui::Prompts {
 public:
  QStringList files;
  QString folder;
  QString typed;
  int power_offs = 0;
  std::function<void()> on_power_off;

  QStringList choose_files(QWidget *, const QString &, const QString &, const QString &) override {
    return files;
  }
  QString choose_folder(QWidget *, const QString &, const QString &) override { return folder; }
  QString ask_text(QWidget *, const QString &, const QString &, const QString &, bool *ok) override {
    *ok = !typed.isEmpty();
    return typed;
  }
  void inform(QWidget *, const QString &, const QString &) override {}
  bool power_off() override {
    ++power_offs;
    if (on_power_off) on_power_off();
    return true;
  }
};

/// Folder for the window's grabs: <build>/test-artifacts/fennick.
inline QString artifacts_dir() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  QDir d(QString::fromLocal8Bit(bin ? bin : ".") + "/test-artifacts/fennick");
  d.mkpath(".");
  return d.path();
}

inline QString media(const char *name) {
  const char *dir = std::getenv("RAZAVORI_TEST_MEDIA");
  return QString::fromLocal8Bit(dir ? dir : ".") + '/' + name;
}

inline QString sample(const char *name) {
  const char *dir = std::getenv("RAZAVORI_SOURCE_DIR");
  return QString::fromLocal8Bit(dir ? dir : ".") + "/samples/" + name;
}

/// Runs a command; its standard output, with *ok false when it failed.
std::string run_tool(const QString &program, const QStringList &args, bool *ok);

/// PSNR in dB over the R, G and B samples of two pictures of one size.
double rgb_psnr(const QImage &a, const QImage &b);

struct WindowHarness {
  ScriptedPrompts prompts;
  tools_gui::LanguageLoader languages{QStringLiteral("Tovik")};
  std::unique_ptr<fennick_gui::FennickWindow> window;
  QString out_dir;

  WindowHarness();
  ~WindowHarness();
  /// Opens files through the injected chooser.
  void open(const QStringList &files);
};

}  // namespace fennick_gui_test
