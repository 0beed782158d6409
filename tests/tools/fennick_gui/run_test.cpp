// Runs from the window: one at a time, the rows as at Start, stop, close
// during a run, and power-off after the settings are written.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "platform/ini.h"
#include "tools/common/gui/job_list.h"
#include "tools/common/gui/status_bar.h"
#include "tools/fennick/engine/strings.h"
#include "tools/fennick/gui/texts.h"
#include "window_fixture.h"

namespace fennick_gui_test {
namespace {

using fennick_gui::FennickWindow;

TEST(FennickRun, StopEndsTheFirstRowAndLeavesTheRestUntouched) {
  WindowHarness h;
  h.open({sample("dvd_sample.vob"), media("mpeg1_system.mpg")});
  auto *list = h.window->job_list();
  ASSERT_EQ(list->row_count(), 2);
  const QString out1 = list->output(0), out2 = list->output(1);
  QSignalSpy ended(h.window.get(), &FennickWindow::run_finished);
  ASSERT_TRUE(h.window->start_output());
  // While it runs: no second run, the list stays, no language switch.
  EXPECT_FALSE(h.window->start_output());
  h.window->delete_all();
  EXPECT_EQ(list->row_count(), 2);
  EXPECT_FALSE(list->isEnabled());
  EXPECT_FALSE(h.window->switch_language(936));
  EXPECT_FALSE(h.window->action(fennick_gui::kTxtOpen)->isEnabled());
  EXPECT_TRUE(h.window->action(fennick_gui::kTxtStopOutputing)->isEnabled());
  h.window->add_files({media("vob_ac3_lpcm.vob")});
  EXPECT_EQ(list->row_count(), 2);
  // Stop once the first row is converting.
  QTRY_VERIFY_WITH_TIMEOUT(h.window->status()->progress() > 0 || !ended.isEmpty(), 120000);
  ASSERT_TRUE(ended.isEmpty()) << "the first row ended before it could be stopped";
  h.window->stop_output();
  ASSERT_TRUE(ended.wait(300000));
  EXPECT_FALSE(h.window->running());
  EXPECT_EQ(h.window->status()->text(3), fennick_gui::text(fennick::kStrNotFinished));
  EXPECT_TRUE(QFileInfo::exists(out1));
  EXPECT_FALSE(QFileInfo::exists(out2));
  bool ok = false;
  const std::string probe =
      run_tool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", out1}, &ok);
  ASSERT_TRUE(ok) << "ffprobe must read the stopped row's file";
  EXPECT_NE(probe.find("mpeg1video"), std::string::npos) << probe;
  EXPECT_TRUE(list->isEnabled());
  EXPECT_TRUE(h.window->preview_open());
  h.window->grab().save(artifacts_dir() + "/run_stopped.png");
}

TEST(FennickRun, CloseDuringARunWaitsForTheWorker) {
  WindowHarness h;
  h.open({sample("dvd_sample.vob")});
  QSignalSpy ended(h.window.get(), &FennickWindow::run_finished);
  ASSERT_TRUE(h.window->start_output());
  EXPECT_FALSE(h.window->close());
  EXPECT_TRUE(h.window->isVisible());
  EXPECT_EQ(h.window->status()->text(3), fennick_gui::text(fennick::kStrQuitting));
  ASSERT_TRUE(ended.wait(300000));
  QTRY_VERIFY_WITH_TIMEOUT(!h.window->isVisible(), 10000);
  EXPECT_FALSE(h.window->running());
}

TEST(FennickRun, ShutdownAfterACompleteRunWritesSettingsFirst) {
  WindowHarness h;
  h.open({media("mpeg1_system.mpg")});
  h.window->shutdown_box()->setChecked(true);
  std::string output_at_power_off;
  h.prompts.on_power_off = [&] {
    output_at_power_off = platform::profile_get_string("FENNICK", "VDOPROCESS", "", "RAZAVORI.INI");
  };
  platform::profile_write_string("FENNICK", "VDOPROCESS", nullptr, "RAZAVORI.INI");
  QSignalSpy ended(h.window.get(), &FennickWindow::run_finished);
  ASSERT_TRUE(h.window->start_output());
  ASSERT_TRUE(ended.wait(300000));
  EXPECT_EQ(h.prompts.power_offs, 1);
  EXPECT_EQ(output_at_power_off, std::to_string(h.window->settings().video_processing));
  EXPECT_FALSE(h.window->isVisible());
  EXPECT_TRUE(QFileInfo::exists(h.out_dir + "/mpeg1_system.MPG"));
  EXPECT_FALSE(h.window->start_output());  // the list is not empty, but the window is closing
  EXPECT_EQ(h.prompts.power_offs, 1);
}

}  // namespace
}  // namespace fennick_gui_test

namespace fennick_gui_test {
namespace {

TEST(FennickProgram, WindowPathWithoutADisplayGivesAHintAndTwo) {
  const QString program = QString::fromLocal8Bit(std::getenv("RAZAVORI_BINARY_DIR")) + "/bin/fennick";
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  p.setProcessEnvironment(env);
  p.start(program, {media("mpeg1_system.mpg")});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 2);
  EXPECT_TRUE(p.readAllStandardError().contains("fennick convert"));
  p.start(program, {"--help"});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QByteArray help = p.readAllStandardOutput();
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(help.contains("fennick [FILE...]")) << help.toStdString();
  EXPECT_TRUE(help.contains("convert")) << help.toStdString();
}

}  // namespace
}  // namespace fennick_gui_test
