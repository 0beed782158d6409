// What the window tests share (see window_fixture.h).
#include "window_fixture.h"

#include <QProcess>
#include <cmath>

#include "platform/ini.h"

namespace fennick_gui_test {

std::string run_tool(const QString &program, const QStringList &args, bool *ok) {
  QProcess p;
  p.start(program, args);
  *ok = p.waitForStarted(-1) && p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit &&
        p.exitCode() == 0;
  return p.readAllStandardOutput().toStdString();
}

WindowHarness::WindowHarness() {
  static int serial = 0;
  out_dir = QDir::temp().filePath(
      QStringLiteral("fennick-gui-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial));
  QDir(out_dir).removeRecursively();
  QDir().mkpath(out_dir);
  platform::profile_write_string("FENNICK", "OUTPUT", (out_dir + '/').toLocal8Bit().constData(),
                                 "RAZAVORI.INI");
  window = std::make_unique<fennick_gui::FennickWindow>(&prompts, &languages);
  window->show();
}

WindowHarness::~WindowHarness() {
  if (window && window->running()) {
    window->stop_output();
    QSignalSpy ended(window.get(), &fennick_gui::FennickWindow::run_finished);
    ended.wait(600000);
  }
  window.reset();
  QDir(out_dir).removeRecursively();
}

void WindowHarness::open(const QStringList &files) {
  prompts.files = files;
  window->open_files();
  QCoreApplication::processEvents();
}

double rgb_psnr(const QImage &a, const QImage &b) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) sum += d * d;
      n += 3;
    }
  const double mse = sum / n;
  return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace fennick_gui_test
