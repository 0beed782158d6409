// The window's controls, actions, menus and language; the files, preview,
// streams and runs live in window_*.cpp.
#include "tools/fennick/gui/fennick_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStringDecoder>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "tools/common/gui/job_list.h"
#include "tools/common/gui/language_loader.h"
#include "tools/common/gui/preview_widget.h"
#include "tools/common/gui/prompts.h"
#include "tools/common/gui/status_bar.h"
#include "tools/common/program_settings.h"
#include "tools/fennick/engine/strings.h"
#include "tools/fennick/gui/job_bridge.h"
#include "tools/fennick/gui/small_dialogs.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"

namespace fennick_gui {

namespace {

const char *const kFrameRates[] = {"23.976", "24", "25", "29.97", "30"};
const char *const kBitRates[] = {"32",  "48",  "56",  "64",  "80",  "96",  "112",
                                 "128", "160", "192", "224", "256", "320", "384"};
// The data rate field shows the Video CD figure.
constexpr int kDataRate = 150;
// Status bar parts and the part the progress bar covers.
constexpr int kPartProgress = 0, kPartBar = 1, kPartStatus = 2;

}  // namespace

int slider_percent(int64_t pos, int64_t length) {
  if (length < 100 || pos < 0) return 0;
  return static_cast<int>(std::min<int64_t>(pos * 100 / length, 100));
}

int64_t slider_position(int percent, int64_t length) {
  return length <= 0 ? 0 : static_cast<int64_t>(std::clamp(percent, 0, 100)) * length / 100;
}

int size_index(int32_t size) { return std::clamp((size >> 4) - 1, 0, kSizeEntries - 1); }

FennickWindow::FennickWindow(tools_gui::Prompts *prompts, tools_gui::LanguageLoader *languages,
                             QWidget *parent)
    : QMainWindow(parent), prompts_(prompts), languages_(languages) {
  settings_ = DialogSettings::load();
  load_language_names(QCoreApplication::applicationDirPath() + '/' +
                      QString::fromUtf8(english_text(kTxtLanguageFile)));
  VideoStartup();
  VideoCommand(VCMD_VALUE_86, 1);
  VideoCommand(VCMD_CAPTION_ON, 0);
  VideoCommand(VCMD_SPU_DRAW_MODE, 1);
  VideoCommand(VCMD_CONVERTER_COLUMN, 1);
  VideoCommand(VCMD_SET_FRAME_HOOK, 0);

  bridge_ = new JobBridge(this);
  build_controls();
  build_actions();
  connect(bridge_, &JobBridge::status, this, [this](const QString &t) { status_->set_text(3, t); });
  connect(bridge_, &JobBridge::progress, this, [this](int p) { status_->set_progress(p); });
  connect(bridge_, &JobBridge::position, this, [this](int p) { slider_->setValue(std::clamp(p, 0, 100)); });
  connect(bridge_, &JobBridge::run_ended, this, &FennickWindow::on_run_ended);
  timer_ = new QTimer(this);
  timer_->setInterval(kTimerMs);
  connect(timer_, &QTimer::timeout, this, &FennickWindow::tick);
  timer_->start();
  retranslate();
  reset_options();
  set_options_enabled(false);
  // Nothing runs yet: only a run can be stopped.
  action(kTxtStopOutputing)->setEnabled(false);
  resize(900, 640);
}

FennickWindow::~FennickWindow() {
  timer_->stop();
  if (running_) bridge_->stop();
  delete bridge_;  // joins the engine's worker (closeEvent waits for it first)
  bridge_ = nullptr;
  close_preview();
}

void FennickWindow::load_language_names(const QString &path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = f.read(1 << 20);
  // Not UTF-8: the bytes are in the interface's code page.
  const char *codec = languages_ && languages_->code_page() == tools_common::kCodePageSimplified    ? "GBK"
                      : languages_ && languages_->code_page() == tools_common::kCodePageTraditional ? "Big5"
                                                                                                    : nullptr;
  auto decode = [](std::string_view b, void *user) -> std::string {
    const char *name = static_cast<const char *>(user);
    QStringDecoder d(name);
    if (!d.isValid()) return tools_common::windows1252_to_utf8(b);
    const QString s = d.decode(QByteArrayView(b.data(), static_cast<qsizetype>(b.size())));
    return s.toStdString();
  };
  const std::string text =
      tools_common::decode_lcd_bytes(std::string_view(bytes.constData(), bytes.size()),
                                     codec ? +decode : nullptr, const_cast<char *>(codec));
  names_.apply_lcd(text);
  if (list_) refresh_streams();
}

void FennickWindow::build_controls() {
  auto *central = new QWidget(this);
  auto *outer = new QVBoxLayout(central);

  auto *top = new QHBoxLayout;
  // Preview with its stream buttons and the position slider.
  preview_box_ = new QGroupBox(central);
  auto *pv = new QVBoxLayout(preview_box_);
  preview_ = new tools_gui::PreviewWidget(preview_box_);
  preview_->setMinimumSize(320, 240);
  pv->addWidget(preview_, 1);
  auto *buttons = new QHBoxLayout;
  spu_button_ = new QPushButton(preview_box_);
  audio_button_ = new QPushButton(preview_box_);
  angle_button_ = new QPushButton(preview_box_);
  spu_menu_ = new QMenu(this);
  audio_menu_ = new QMenu(this);
  angle_menu_ = new QMenu(this);
  spu_button_->setMenu(spu_menu_);
  audio_button_->setMenu(audio_menu_);
  angle_button_->setMenu(angle_menu_);
  buttons->addWidget(spu_button_);
  buttons->addWidget(audio_button_);
  buttons->addWidget(angle_button_);
  pv->addLayout(buttons);
  slider_ = new QSlider(Qt::Horizontal, preview_box_);
  slider_->setRange(0, 100);
  slider_->setSingleStep(1);
  slider_->setPageStep(5);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setTickInterval(10);
  pv->addWidget(slider_);
  range_label_ = new QLabel(preview_box_);
  pv->addWidget(range_label_);
  connect(slider_, &QSlider::sliderMoved, this, &FennickWindow::on_slider_moved);
  connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
    if (action != QAbstractSlider::SliderMove) on_slider_moved(slider_->sliderPosition());
  });
  top->addWidget(preview_box_, 3);

  // Output options and stream choices.
  auto *options = new QWidget(central);
  auto *grid = new QGridLayout(options);
  int r = 0;
  width_label_ = new QLabel(options);
  height_label_ = new QLabel(options);
  width_ = new QComboBox(options);
  height_ = new QComboBox(options);
  for (int i = 1; i <= kSizeEntries; ++i) {
    width_->addItem(QString::number(i * kSizeStep));
    height_->addItem(QString::number(i * kSizeStep));
  }
  grid->addWidget(width_label_, r, 0);
  grid->addWidget(width_, r++, 1);
  grid->addWidget(height_label_, r, 0);
  grid->addWidget(height_, r++, 1);
  primal_ = new QCheckBox(options);
  grid->addWidget(primal_, r++, 0, 1, 2);
  force_rate_ = new QCheckBox(options);
  frame_ = new QComboBox(options);
  for (const char *f : kFrameRates) frame_->addItem(f);
  grid->addWidget(force_rate_, r, 0);
  grid->addWidget(frame_, r++, 1);
  layer_label_ = new QLabel(options);
  layer_ = new QComboBox(options);
  layer_->addItems({QString(), QString()});
  grid->addWidget(layer_label_, r, 0);
  grid->addWidget(layer_, r++, 1);
  bitrate_label_ = new QLabel(options);
  bitrate_ = new QComboBox(options);
  for (const char *b : kBitRates) bitrate_->addItem(b);
  grid->addWidget(bitrate_label_, r, 0);
  grid->addWidget(bitrate_, r++, 1);
  datarate_label_ = new QLabel(options);
  datarate_ = new QLineEdit(QString::number(kDataRate), options);
  datarate_->setReadOnly(true);
  grid->addWidget(datarate_label_, r, 0);
  grid->addWidget(datarate_, r++, 1);
  vcd_ = new QCheckBox(options);
  grid->addWidget(vcd_, r++, 0, 1, 2);
  shutdown_ = new QCheckBox(options);
  grid->addWidget(shutdown_, r++, 0, 1, 2);
  spu_label_ = new QLabel(options);
  spu_ = new QComboBox(options);
  grid->addWidget(spu_label_, r, 0);
  grid->addWidget(spu_, r++, 1);
  audio_label_ = new QLabel(options);
  audio_ = new QComboBox(options);
  grid->addWidget(audio_label_, r, 0);
  grid->addWidget(audio_, r++, 1);
  angle_label_ = new QLabel(options);
  angle_ = new QComboBox(options);
  grid->addWidget(angle_label_, r, 0);
  grid->addWidget(angle_, r++, 1);
  grid->setRowStretch(r, 1);
  top->addWidget(options, 2);
  outer->addLayout(top, 3);

  connect(primal_, &QCheckBox::toggled, this, [this](bool on) {
    width_->setEnabled(!on && !vcd_->isChecked() && list_->row_count() > 0);
    height_->setEnabled(!on && !vcd_->isChecked() && list_->row_count() > 0);
  });
  connect(force_rate_, &QCheckBox::toggled, this,
          [this](bool on) { frame_->setEnabled(on && !vcd_->isChecked() && list_->row_count() > 0); });
  connect(vcd_, &QCheckBox::toggled, this, &FennickWindow::on_vcd_toggled);
  connect(layer_, &QComboBox::currentIndexChanged, this, &FennickWindow::on_layer_changed);
  connect(audio_, &QComboBox::activated, this, [this](int i) {
    if (!filling_ && i >= 0) choose_audio(audio_->itemData(i).toInt());
  });
  connect(spu_, &QComboBox::activated, this, [this](int i) {
    if (!filling_ && i >= 0) choose_subpicture(spu_->itemData(i).toInt());
  });
  connect(angle_, &QComboBox::activated, this, [this](int i) {
    if (!filling_ && i >= 0) choose_angle(angle_->itemData(i).toInt());
  });

  toolbar_ = new QToolBar(central);
  outer->addWidget(toolbar_);
  list_ = new tools_gui::JobList(central);
  outer->addWidget(list_, 2);
  connect(list_, &tools_gui::JobList::files_dropped, this, [this](const QStringList &p) { add_files(p); });
  connect(list_, &tools_gui::JobList::delete_requested, this, &FennickWindow::delete_selected);
  connect(list_, &tools_gui::JobList::context_menu_requested, this, &FennickWindow::show_context_menu);

  status_ = new tools_gui::PartsStatusBar({3.0 / 32, 12.0 / 32, 14.0 / 32, 1.0}, kPartBar, central);
  outer->addWidget(status_);
  setCentralWidget(central);
  setAcceptDrops(false);
}

void FennickWindow::build_actions() {
  auto add = [this](int id, QStyle::StandardPixmap icon, auto slot) {
    auto *a = new QAction(style()->standardIcon(icon), QString(), this);
    connect(a, &QAction::triggered, this, slot);
    actions_.emplace_back(id, a);
    return a;
  };
  QAction *open = add(kTxtOpen, QStyle::SP_DialogOpenButton, [this] { open_files(); });
  QAction *out_path = add(kTxtSelectOutputPath, QStyle::SP_DirIcon, [this] { choose_output_folder(false); });
  QAction *play_a = add(kTxtPlay, QStyle::SP_MediaPlay, [this] { play(); });
  QAction *stop_a = add(kTxtStopPlaying, QStyle::SP_MediaStop, [this] { stop_playing(); });
  QAction *loop = add(kTxtLoop, QStyle::SP_BrowserReload, [this] { toggle_loop(); });
  loop->setCheckable(true);
  QAction *start = add(kTxtSelectStart, QStyle::SP_MediaSkipBackward, [this] { select_start(); });
  QAction *end = add(kTxtSelectEnd, QStyle::SP_MediaSkipForward, [this] { select_end(); });
  QAction *output = add(kTxtOutput, QStyle::SP_DialogSaveButton, [this] { start_output(); });
  QAction *stop_out = add(kTxtStopOutputing, QStyle::SP_BrowserStop, [this] { stop_output(); });
  QAction *del = add(kTxtDeleteSelected, QStyle::SP_TrashIcon, [this] { delete_selected(); });
  QAction *del_all = add(kTxtDeleteAll, QStyle::SP_DialogDiscardButton, [this] { delete_all(); });
  for (QAction *a : {open, out_path, play_a, stop_a, loop, start, end, output, stop_out, del, del_all})
    toolbar_->addAction(a);

  QAction *exit = add(kTxtMenuExit, QStyle::SP_DialogCloseButton, [this] { close(); });
  QAction *handle = add(kTxtMenuVideoHandle, QStyle::SP_ComputerIcon, [this] { video_handle(); });
  QAction *about = add(kTxtMenuAbout, QStyle::SP_MessageBoxInformation, [this] {
    prompts_->inform(this, text(kTxtMenuAbout), text(kTxtAboutText, {FENNICK_VERSION}));
  });
  QAction *english = add(kTxtMenuEnglish, QStyle::SP_FileIcon, [this] { switch_language(0); });
  QAction *simplified = add(kTxtMenuSimplified, QStyle::SP_FileIcon, [this] { switch_language(936); });
  QAction *traditional = add(kTxtMenuTraditional, QStyle::SP_FileIcon, [this] { switch_language(950); });
  auto *group = new QActionGroup(this);
  for (QAction *a : {english, simplified, traditional}) {
    a->setCheckable(true);
    group->addAction(a);
  }
  QAction *rename = add(kTxtMenuChangeName, QStyle::SP_FileIcon, [this] { change_selected_name(); });
  QAction *repath = add(kTxtMenuChangePath, QStyle::SP_DirIcon, [this] { choose_output_folder(true); });

  file_menu_ = menuBar()->addMenu(QString());
  file_menu_->addActions({open, out_path, del, del_all});
  file_menu_->addSeparator();
  file_menu_->addAction(exit);
  control_menu_ = menuBar()->addMenu(QString());
  control_menu_->addActions({play_a, stop_a, loop, start, end, output, stop_out});
  control_menu_->addSeparator();
  control_menu_->addAction(handle);
  help_menu_ = menuBar()->addMenu(QString());
  help_menu_->addAction(about);
  help_menu_->addSeparator();
  help_menu_->addActions({english, simplified, traditional});
  context_menu_ = new QMenu(this);
  context_menu_->addActions({open, out_path, del, del_all, rename, repath});
}

QAction *FennickWindow::action(int text_id) const {
  for (const auto &[id, a] : actions_)
    if (id == text_id) return a;
  return nullptr;
}

void FennickWindow::retranslate() {
  setWindowTitle(text(kTxtTitle));
  preview_box_->setTitle(text(kTxtPreview));
  width_label_->setText(text(kTxtWidth));
  height_label_->setText(text(kTxtHeight));
  primal_->setText(text(kTxtPrimalSize));
  force_rate_->setText(text(kTxtFrameRate));
  layer_label_->setText(text(kTxtLayer));
  layer_->setItemText(0, text(kTxtLayerI));
  layer_->setItemText(1, text(kTxtLayerII));
  bitrate_label_->setText(text(kTxtBitRate));
  datarate_label_->setText(text(kTxtDataRate));
  vcd_->setText(text(kTxtVcdFormat));
  shutdown_->setText(text(kTxtShutdown));
  spu_label_->setText(text(kTxtSubpic));
  audio_label_->setText(text(kTxtLanguageLabel));
  angle_label_->setText(text(kTxtAngleLabel));
  spu_button_->setText(text(kTxtSubPictureButton));
  audio_button_->setText(text(kTxtLanguageLabel));
  angle_button_->setText(text(kTxtAngleLabel));
  for (const auto &[id, a] : actions_) {
    a->setText(text(id));
    a->setToolTip(text(id));
  }
  file_menu_->setTitle(text(kTxtMenuFile));
  control_menu_->setTitle(text(kTxtMenuControl));
  help_menu_->setTitle(text(kTxtMenuHelp));
  list_->set_titles(text(kTxtColumns));
  status_->set_text(kPartProgress, text(kTxtProgress));
  status_->set_text(kPartStatus, text(kTxtStatus));
  const int page = languages_ ? languages_->code_page() : 0;
  action(kTxtMenuEnglish)->setChecked(page == tools_common::kCodePageEnglish);
  action(kTxtMenuSimplified)->setChecked(page == tools_common::kCodePageSimplified);
  action(kTxtMenuTraditional)->setChecked(page == tools_common::kCodePageTraditional);
  refresh_streams();
}

void FennickWindow::changeEvent(QEvent *event) {
  if (event->type() == QEvent::LanguageChange && list_) retranslate();
  QMainWindow::changeEvent(event);
}

bool FennickWindow::switch_language(int code_page) {
  if (running_ || !languages_) return false;
  if (code_page == languages_->code_page()) return true;
  // The translator change sends LanguageChange: the live window retranslates.
  if (!languages_->switch_to(code_page)) {
    retranslate();  // puts the check marks back
    return false;
  }
  tools_common::write_code_page(code_page);
  retranslate();  // at once; the LanguageChange event follows
  return true;
}

void FennickWindow::reset_options() {
  width_->setCurrentIndex(kDefaultWidthIndex);
  height_->setCurrentIndex(kDefaultHeightIndex);
  frame_->setCurrentIndex(kDefaultFrameIndex);
  layer_->setCurrentIndex(kDefaultLayerIndex);
  bitrate_->setCurrentIndex(kDefaultBitRateIndex);
  primal_->setChecked(false);
  force_rate_->setChecked(false);
  vcd_->setChecked(false);
  shutdown_->setChecked(false);
}

void FennickWindow::set_options_enabled(bool on) {
  const bool vcd = vcd_->isChecked();
  width_->setEnabled(on && !vcd && !primal_->isChecked());
  height_->setEnabled(on && !vcd && !primal_->isChecked());
  primal_->setEnabled(on && !vcd);
  force_rate_->setEnabled(on && !vcd);
  frame_->setEnabled(on && !vcd && force_rate_->isChecked());
  layer_->setEnabled(on && !vcd);
  bitrate_->setEnabled(on && !vcd);
  datarate_->setEnabled(on && !vcd);
  vcd_->setEnabled(on);
  shutdown_->setEnabled(on);
  if (!on) {
    audio_->setEnabled(false);
    spu_->setEnabled(false);
    angle_->setEnabled(false);
  }
  for (QPushButton *b : {spu_button_, audio_button_, angle_button_}) b->setEnabled(on);
}

void FennickWindow::on_vcd_toggled(bool on) {
  if (on) {
    width_->setCurrentIndex(size_index(352));
    const bool pal = source_height_ == 288 || source_height_ == 576;
    height_->setCurrentIndex(size_index(pal ? 288 : 240));
    primal_->setChecked(false);
    force_rate_->setChecked(false);
    frame_->setCurrentIndex(kDefaultFrameIndex);
    layer_->setCurrentIndex(kDefaultLayerIndex);
    bitrate_->setCurrentIndex(kDefaultBitRateIndex);
  }
  set_options_enabled(list_->row_count() > 0 && !running_);
}

void FennickWindow::on_layer_changed() {
  // Layer I has no 48, 56, 80 or 112 kbit/s; a chosen one moves up.
  auto *model = qobject_cast<QStandardItemModel *>(bitrate_->model());
  const bool layer1 = layer_->currentIndex() == 0;
  for (int i = 0; i < bitrate_->count(); ++i) {
    const int rate = bitrate_->itemText(i).toInt();
    const bool missing = layer1 && (rate == 48 || rate == 56 || rate == 80 || rate == 112);
    if (model) model->item(i)->setEnabled(!missing);
  }
  int i = bitrate_->currentIndex();
  while (i >= 0 && i < bitrate_->count() - 1 && model && !model->item(i)->isEnabled()) ++i;
  bitrate_->setCurrentIndex(i);
}

void FennickWindow::video_handle() {
  VideoHandleDialog d(settings_.video_processing, settings_.smooth_zoom, cpu_has_mmx(), this);
  if (d.exec() == QDialog::Accepted) {
    settings_.video_processing = d.processing();
    settings_.smooth_zoom = d.smooth_zoom();
  }
}

void FennickWindow::show_context_menu(const QPoint &global_pos) {
  if (!running_) context_menu_->popup(global_pos);
}

void FennickWindow::closeEvent(QCloseEvent *event) {
  if (running_) {
    // Stop, say so, and close once the worker has ended (on_run_ended).
    close_pending_ = true;
    status_->set_text(3, text(fennick::kStrQuitting));
    bridge_->stop();
    event->ignore();
    return;
  }
  if (!closing_done_) {
    closing_done_ = true;
    timer_->stop();
    close_preview();
    settings_.save();
  }
  event->accept();
}

}  // namespace fennick_gui
