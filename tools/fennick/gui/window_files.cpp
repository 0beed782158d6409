// The window's rows and preview: adding files through the media layer's
// probe, output names, deleting, and the preview's play, range and slider.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>

#include "media/media_api.h"
#include "tools/common/gui/job_list.h"
#include "tools/common/gui/preview_widget.h"
#include "tools/common/gui/prompts.h"
#include "tools/common/output_name.h"
#include "tools/fennick/gui/fennick_window.h"
#include "tools/fennick/gui/small_dialogs.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"

namespace fennick_gui {

namespace {

QString from_fs(const std::string &bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
std::string to_fs(const QString &path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

QString FennickWindow::output_for(const QString &input, const QString &folder) const {
  const std::string path = tools_common::output_path(to_fs(input), to_fs(folder), "MPG");
  // An output that is an input or another row's output gets "_2", "_3"...
  std::vector<std::string> taken;
  for (int r = 0; r < list_->row_count(); ++r) {
    taken.push_back(to_fs(list_->input(r)));
    taken.push_back(to_fs(list_->output(r)));
  }
  taken.push_back(to_fs(input));
  return from_fs(tools_common::unique_output_path(path, taken));
}

int FennickWindow::add_files(const QStringList &paths) {
  if (running_) return 0;
  const bool was_empty = list_->row_count() == 0;
  int added = 0;
  for (const QString &path : paths) {
    const QFileInfo info(path);
    if (info.isDir()) continue;
    bool listed = false;
    for (int r = 0; r < list_->row_count() && !listed; ++r)
      listed = list_->input(r).compare(path, Qt::CaseInsensitive) == 0;
    if (listed) continue;
    const std::string fs = to_fs(path);
    const SourceKind kind = SysProbe(fs.c_str(), nullptr);
    if (kind != 0 && kind != 1) continue;  // system stream or video only
    list_->add_row(path, output_for(path, from_fs(settings_.output)));
    ++added;
  }
  if (was_empty && added > 0) open_preview(0);
  return added;
}

void FennickWindow::open_files() {
  if (running_) return;
  const QStringList filters = text(kTxtOpenFilter).split('@', Qt::SkipEmptyParts);
  QString filter;
  if (!filters.isEmpty()) filter = filters.value(0).replace("*.VOB)", "*.VOB *.vob)");
  if (filters.size() > 1) filter += QStringLiteral(";;") + filters.value(1);
  QStringList files = prompts_->choose_files(this, text(kTxtOpen), from_fs(settings_.open_path), filter);
  if (files.isEmpty()) return;
  if (files.size() > kMaxNamesPerOpen) files = files.mid(0, kMaxNamesPerOpen);
  settings_.open_path = to_fs(QFileInfo(files.front()).absolutePath());
  add_files(files);
}

void FennickWindow::choose_output_folder(bool selected_only) {
  if (running_) return;
  const QString folder = prompts_->choose_folder(this, text(kTxtChooseOutput), from_fs(settings_.output));
  if (folder.isEmpty()) return;
  QString with_slash = folder;
  if (!with_slash.endsWith('/')) with_slash += '/';
  if (!selected_only) settings_.output = to_fs(with_slash);
  const QList<int> rows = selected_only ? list_->selected_rows() : QList<int>();
  for (int r = 0; r < list_->row_count(); ++r) {
    if (selected_only && !rows.contains(r)) continue;
    list_->set_output(r, QString());  // its own old name is no clash
    list_->set_output(r, output_for(list_->input(r), with_slash));
  }
}

void FennickWindow::change_selected_name() {
  if (running_) return;
  const QList<int> rows = list_->selected_rows();
  if (rows.isEmpty()) return;
  bool ok = false;
  const QString typed =
      prompts_->ask_text(this, text(kTxtMenuChangeName), text(kTxtNameInput), QString(), &ok);
  if (!ok || typed.isEmpty()) return;
  const QString name = with_mpg_extension(typed.left(100));
  for (int r : rows) {
    const QString folder = QFileInfo(list_->output(r)).path();
    list_->set_output(r, QString());
    const QString wanted = QDir(folder).filePath(name);
    std::vector<std::string> taken;
    for (int k = 0; k < list_->row_count(); ++k) {
      taken.push_back(to_fs(list_->input(k)));
      taken.push_back(to_fs(list_->output(k)));
    }
    list_->set_output(r, from_fs(tools_common::unique_output_path(to_fs(wanted), taken)));
  }
}

void FennickWindow::delete_selected() {
  if (running_) return;
  const QList<int> rows = list_->selected_rows();
  if (rows.isEmpty()) return;
  const bool first_goes = rows.front() == 0;
  list_->remove_rows(rows);
  if (list_->row_count() == 0) {
    delete_all();
  } else if (first_goes) {
    open_preview(0);
  }
}

void FennickWindow::delete_all() {
  if (running_) return;
  list_->clear();
  close_preview();
  range_mode_ = false;
  range_start_ = 0;
  range_end_ = 100;
  if (QAction *loop = action(kTxtLoop)) loop->setChecked(false);
  range_label_->clear();
  slider_->setValue(0);
  reset_options();
  set_options_enabled(false);
  refresh_streams();
}

void FennickWindow::open_preview(int row) {
  close_preview();
  const std::string path = to_fs(list_->input(row));
  if (path.empty()) return;
  if (!VideoOpen(preview_->host_display(), path.c_str(), nullptr, 0)) {
    set_options_enabled(true);
    return;
  }
  preview_open_ = true;
  // A system stream has no picture decoded at open: step to the first.
  const int64_t shown = preview_->presented_count();
  VideoRefresh();
  if (preview_->presented_count() == shown) VideoStep();
  audio_chosen_ = spu_chosen_ = angle_chosen_ = false;
  int32_t h = 0;
  const int32_t w = static_cast<int32_t>(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&h)));
  source_height_ = h;
  vcd_->setChecked(false);
  width_->setCurrentIndex(size_index(w));
  height_->setCurrentIndex(size_index(h));
  frame_->setCurrentIndex(kDefaultFrameIndex);
  primal_->setChecked(true);
  slider_->setValue(0);
  set_options_enabled(true);
  refresh_streams();
}

void FennickWindow::close_preview() {
  if (preview_open_) VideoClose(0);
  preview_open_ = false;
  if (preview_) preview_->clear();
}

int64_t FennickWindow::length() const {
  return preview_open_ ? static_cast<int64_t>(static_cast<uint32_t>(VideoCommand(VCMD_TOTAL_LENGTH, 0))) : 0;
}

void FennickWindow::play() {
  if (!running_ && preview_open_) VideoCommand(VCMD_PLAY, 0);
}

void FennickWindow::stop_playing() {
  if (!running_ && preview_open_) VideoCommand(VCMD_STOP, 0);
}

void FennickWindow::toggle_loop() {
  if (running_) return;
  range_mode_ = !range_mode_;
  range_start_ = 0;
  range_end_ = 100;
  if (QAction *loop = action(kTxtLoop)) loop->setChecked(range_mode_);
  range_label_->setText(range_mode_ ? QStringLiteral("%1 - %2").arg(range_start_).arg(range_end_)
                                    : QString());
}

void FennickWindow::select_start() {
  if (running_ || !range_mode_) return;
  range_start_ = slider_->value();
  range_end_ = std::max(range_end_, range_start_);
  range_label_->setText(QStringLiteral("%1 - %2").arg(range_start_).arg(range_end_));
}

void FennickWindow::select_end() {
  if (running_ || !range_mode_) return;
  range_end_ = slider_->value();
  range_start_ = std::min(range_start_, range_end_);
  range_label_->setText(QStringLiteral("%1 - %2").arg(range_start_).arg(range_end_));
}

void FennickWindow::on_slider_moved(int value) {
  if (running_ || !preview_open_) return;
  VideoSeek(static_cast<int32_t>(slider_position(value, length())), 0);
}

void FennickWindow::tick() {
  if (running_ || !preview_open_) return;
  if (VideoCommand(VCMD_IS_PLAYING, 0)) {
    const int64_t len = length();
    const int64_t pos = static_cast<uint32_t>(VideoSeek(0, 1));
    if (!slider_->isSliderDown()) slider_->setValue(slider_percent(pos, len));
    if (range_mode_ && range_start_ < range_end_ && pos >= slider_position(range_end_, len)) {
      VideoCommand(VCMD_STOP, 0);
      VideoSeek(static_cast<int32_t>(slider_position(range_start_, len)), 0);
      VideoCommand(VCMD_PLAY, 0);
    } else if (VideoCommand(VCMD_AT_END, 0)) {
      VideoSeek(0, 0);
      if (!range_mode_) VideoCommand(VCMD_STOP, 0);
    }
  }
  refresh_streams();
}

}  // namespace fennick_gui
