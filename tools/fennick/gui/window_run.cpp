// Runs: the settings snapshot handed to the engine, greying while it runs,
// stop, close during a run, and power-off after a completed run.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "media/media_api.h"
#include "tools/common/gui/job_list.h"
#include "tools/common/gui/prompts.h"
#include "tools/common/gui/status_bar.h"
#include "tools/fennick/engine/strings.h"
#include "tools/fennick/gui/fennick_window.h"
#include "tools/fennick/gui/job_bridge.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"

namespace fennick_gui {

namespace {

// Actions that stay usable during a run.
bool usable_while_running(int id) {
  return id == kTxtStopOutputing || id == kTxtMenuStopOutput || id == kTxtMenuExit || id == kTxtMenuAbout;
}

}  // namespace

void FennickWindow::set_running_state(bool running) {
  running_ = running;
  for (const auto &[id, a] : actions_)
    a->setEnabled(running ? usable_while_running(id) : id != kTxtStopOutputing);
  list_->setEnabled(!running);
  slider_->setEnabled(!running);
  set_options_enabled(!running && list_->row_count() > 0);
  if (!running) refresh_streams();
}

bool FennickWindow::start_output() {
  if (running_ || closing_done_ || list_->row_count() == 0) return false;
  fennick::JobSettings s;
  s.frame_rate_code = force_rate_->isChecked() ? frame_->currentIndex() + 1 : -1;
  s.layer = layer_->currentIndex() + 1;
  s.audio_kbps = bitrate_->currentText().toInt();
  s.video_cd = vcd_->isChecked();
  s.original_size = primal_->isChecked();
  s.width = (width_->currentIndex() + 1) * kSizeStep;
  s.height = (height_->currentIndex() + 1) * kSizeStep;
  s.shutdown_when_done = shutdown_->isChecked();
  s.range_mode = range_mode_;
  s.range_start = range_start_;
  s.range_end = range_end_;
  s.processing = static_cast<fennick::VideoProcessing>(settings_.video_processing);
  s.smooth_zoom = settings_.smooth_zoom;
  s.overwrite = true;  // the window's outputs are named by the user
  // The rows as they are now; the preview's choices go with every row.
  fennick::StreamChoice streams;
  if (preview_open_) {
    if (audio_chosen_) streams.audio_id = static_cast<int32_t>(SysControl(CTL_AUDIO_CURRENT, 0));
    if (spu_chosen_) streams.subpicture_id = spu_->currentData().toInt();
    if (angle_chosen_) streams.angle = static_cast<int32_t>(SysControl(CTL_ANGLE_CURRENT, 0));
  }
  std::vector<fennick::JobRow> rows;
  for (int r = 0; r < list_->row_count(); ++r) {
    fennick::JobRow row;
    row.input = QFile::encodeName(list_->input(r)).toStdString();
    row.output = QFile::encodeName(list_->output(r)).toStdString();
    row.streams = streams;
    rows.push_back(std::move(row));
  }
  if (preview_open_ && VideoCommand(VCMD_IS_PLAYING, 0)) VideoCommand(VCMD_STOP, 0);
  // From here only the engine's worker calls the engine libraries.
  close_preview();
  set_running_state(true);
  if (!bridge_->start(s, rows)) {
    set_running_state(false);
    open_preview(0);
    return false;
  }
  return true;
}

void FennickWindow::stop_output() {
  if (!running_) return;
  bridge_->stop();
  if (QAction *a = action(kTxtStopOutputing)) a->setEnabled(false);
}

void FennickWindow::on_run_ended(bool stopped, bool shutdown) {
  set_running_state(false);
  status_->set_progress(0);
  if (shutdown && !stopped && !powered_off_) {
    // Settings first: on this system the power-off ends the program.
    settings_.save();
    powered_off_ = true;
    prompts_->power_off();
    emit run_finished();
    close();
    return;
  }
  if (close_pending_) {
    emit run_finished();
    close();
    return;
  }
  if (list_->row_count() > 0) open_preview(0);
  emit run_finished();
}

}  // namespace fennick_gui
