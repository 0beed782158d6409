// The window on a real X server (ctest runs this binary under xvfb-run with
// the xcb platform): open a file, preview, convert one row, close. The
// screenshots are the server's own pixels (a grab of the root window).
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "tools/common/gui/job_list.h"
#include "tools/common/gui/preview_widget.h"
#include "tools/common/program_settings.h"
#include "tools/fennick/gui/texts.h"
#include "window_fixture.h"

namespace fennick_gui_test {
namespace {

// Where the preview draws a picture: centred, its aspect kept.
QRect picture_rect(const tools_gui::PreviewWidget *preview, const QSize &picture) {
  const QSize fit = picture.scaled(preview->size(), Qt::KeepAspectRatio);
  return QRect(QPoint((preview->width() - fit.width()) / 2, (preview->height() - fit.height()) / 2), fit);
}

// That part of the screen, as the X server holds it.
QImage screen_picture(const tools_gui::PreviewWidget *preview, const QSize &picture) {
  const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  const QRect r = picture_rect(preview, picture);
  return screen.copy(QRect(preview->mapToGlobal(r.topLeft()), r.size()))
      .convertToFormat(QImage::Format_RGB32);
}

// Whether the server shows what the widget paints. Both come from the same
// raster painting, so they match closely; one missing line of text in the
// list costs about 10 dB.
bool screen_shows(QWidget *widget) {
  const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(
      QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()));
  const QImage painted = widget->grab().toImage();
  if (screen.size() != painted.size()) return false;
  return rgb_psnr(screen.convertToFormat(QImage::Format_RGB32),
                  painted.convertToFormat(QImage::Format_RGB32)) >= 35.0;
}

QImage small(const QImage &image) {
  return image.scaled(88, 72, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_RGB32);
}

TEST(FennickX11, OpenPreviewConvertCloseOnAnXServer) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under xvfb-run with QT_QPA_PLATFORM=xcb";
  WindowHarness h;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window->windowHandle()));
  const QString input = media("mpeg1_system.mpg");
  h.open({input});
  auto *list = h.window->job_list();
  ASSERT_EQ(list->row_count(), 1);
  EXPECT_FALSE(h.window->action(fennick_gui::kTxtStopOutputing)->isEnabled()) << "nothing runs yet";
  auto *preview = h.window->preview();

  // The first picture on the screen against ffmpeg's, both at 88x72.
  bool ok = false;
  const std::string rgb = run_tool("ffmpeg",
                                   {"-v", "error", "-i", input, "-frames:v", "1", "-vf",
                                    "scale=88:72:flags=area", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                                   &ok);
  ASSERT_TRUE(ok) << "ffmpeg is needed as the oracle";
  ASSERT_EQ(rgb.size(), 88u * 72 * 3);
  const QImage ref =
      QImage(reinterpret_cast<const uchar *>(rgb.data()), 88, 72, 88 * 3, QImage::Format_RGB888)
          .convertToFormat(QImage::Format_RGB32);
  const QSize picture = preview->picture().size();
  ASSERT_EQ(picture, QSize(352, 288));
  // Wait for the server to show what the widget painted.
  QTRY_VERIFY_WITH_TIMEOUT(rgb_psnr(small(screen_picture(preview, picture)), ref) >= 20.0, 30000);
  QTRY_VERIFY_WITH_TIMEOUT(screen_shows(h.window.get()), 30000);
  QGuiApplication::primaryScreen()->grabWindow(0).save(artifacts_dir() + "/x11_opened.png");

  // Preview: pictures keep reaching the screen while playing.
  const int64_t before = preview->presented_count();
  h.window->play();
  QTRY_VERIFY_WITH_TIMEOUT(preview->presented_count() >= before + 25 || h.window->slider()->value() > 50,
                           60000);
  h.window->stop_playing();
  QCoreApplication::processEvents();
  // The screen shows what the widget paints.
  const QImage widget_now = small(preview->grab().toImage().copy(picture_rect(preview, picture)));
  QTRY_VERIFY_WITH_TIMEOUT(rgb_psnr(small(screen_picture(preview, picture)), widget_now) >= 30.0, 30000);
  QGuiApplication::primaryScreen()->grabWindow(0).save(artifacts_dir() + "/x11_previewed.png");

  // Convert the row.
  QSignalSpy ended(h.window.get(), &fennick_gui::FennickWindow::run_finished);
  ASSERT_TRUE(h.window->start_output());
  ASSERT_TRUE(ended.wait(600000));
  // The window takes its controls back and previews the first row again.
  EXPECT_TRUE(list->isEnabled());
  EXPECT_TRUE(h.window->preview_open());
  QTRY_VERIFY_WITH_TIMEOUT(rgb_psnr(small(screen_picture(preview, picture)), ref) >= 20.0, 30000);
  QTRY_VERIFY_WITH_TIMEOUT(screen_shows(h.window.get()), 30000);
  const QString out = list->output(0);
  const std::string probe =
      run_tool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", out}, &ok);
  ASSERT_TRUE(ok) << "ffprobe must read " << out.toStdString();
  EXPECT_NE(probe.find("mpeg1video"), std::string::npos) << probe;
  EXPECT_NE(probe.find("mp2"), std::string::npos) << probe;
  QGuiApplication::primaryScreen()->grabWindow(0).save(artifacts_dir() + "/x11_converted.png");

  // Close: the window goes and the settings are written.
  const tools_common::ProgramSettings fennick("FENNICK");
  fennick.set_path("OPENPATH", "");
  EXPECT_TRUE(h.window->close());
  EXPECT_FALSE(h.window->isVisible());
  EXPECT_EQ(QString::fromStdString(fennick.get_path("OPENPATH", "")), QFileInfo(input).absolutePath());
}

}  // namespace
}  // namespace fennick_gui_test
