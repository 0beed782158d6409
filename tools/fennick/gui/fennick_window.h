// Fennick's window: the job list, the preview with its position slider and
// range, the output options, the stream choices of the previewed source, the
// toolbar, menus and status bar. Conversions run in the engine through the
// job bridge; while one runs, everything that would change the rows or call
// the engine is greyed (only the engine's worker calls it then).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/language_names.h"
#include "tools/common/stream_choice.h"
#include "tools/fennick/gui/dialog_settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QTimer;
class QToolBar;

namespace tools_gui {
class JobList;
class LanguageLoader;
class PartsStatusBar;
class PreviewWidget;
class Prompts;
}  // namespace tools_gui

namespace fennick_gui {

class JobBridge;

/// The lists' sizes and defaults.
inline constexpr int kSizeEntries = 64;  // 16, 32, ... 1024
inline constexpr int kSizeStep = 16;
inline constexpr int kDefaultWidthIndex = 44;    // 720
inline constexpr int kDefaultHeightIndex = 29;   // 480
inline constexpr int kDefaultFrameIndex = 2;     // "25"
inline constexpr int kDefaultLayerIndex = 1;     // "Layer II"
inline constexpr int kDefaultBitRateIndex = 10;  // "224"
inline constexpr int kMaxNamesPerOpen = 2048;
inline constexpr int kTimerMs = 200;

/// Slider value for a position: pos * 100 / length in 64 bits, 0 when the
/// length is under 100 bytes.
int slider_percent(int64_t pos, int64_t length);
/// Byte position of a slider value.
int64_t slider_position(int percent, int64_t length);
/// List index of a source size: (size >> 4) - 1 clamped to the list.
int size_index(int32_t size);

class FennickWindow : public QMainWindow {
  Q_OBJECT

 public:
  /// prompts and languages must outlive the window.
  FennickWindow(tools_gui::Prompts *prompts, tools_gui::LanguageLoader *languages, QWidget *parent = nullptr);
  ~FennickWindow() override;

  // Commands (the toolbar, menus and tests call these).
  void open_files();
  /// Adds the playable files of paths; returns the number of rows added.
  int add_files(const QStringList &paths);
  void choose_output_folder(bool selected_only);
  void change_selected_name();
  void delete_selected();
  void delete_all();
  void play();
  void stop_playing();
  void toggle_loop();
  void select_start();
  void select_end();
  /// Starts a run over the rows as they are now. False while one runs or
  /// with an empty list.
  bool start_output();
  void stop_output();
  void video_handle();
  /// Switches the interface language; false (nothing changed) when refused
  /// or when its file does not load.
  bool switch_language(int code_page);
  /// Re-reads the stream lists of the previewed source, keeping the choice.
  void refresh_streams();
  void choose_audio(int32_t id);
  void choose_subpicture(int32_t id);
  void choose_angle(int32_t angle);
  /// Renames languages from a ".lcd" file (the window reads the one beside
  /// the program at start); the stream lists show the new names at once.
  void load_language_names(const QString &path);

  // For tests and the benchmark.
  tools_gui::JobList *job_list() const { return list_; }
  tools_gui::PreviewWidget *preview() const { return preview_; }
  tools_gui::PartsStatusBar *status() const { return status_; }
  QComboBox *width_list() const { return width_; }
  QComboBox *height_list() const { return height_; }
  QComboBox *frame_list() const { return frame_; }
  QComboBox *layer_list() const { return layer_; }
  QComboBox *bitrate_list() const { return bitrate_; }
  QComboBox *audio_list() const { return audio_; }
  QComboBox *subpicture_list() const { return spu_; }
  QComboBox *angle_list() const { return angle_; }
  QCheckBox *primal_size_box() const { return primal_; }
  QCheckBox *frame_rate_box() const { return force_rate_; }
  QCheckBox *vcd_box() const { return vcd_; }
  QCheckBox *shutdown_box() const { return shutdown_; }
  QSlider *slider() const { return slider_; }
  QAction *action(int text_id) const;
  bool running() const { return running_; }
  bool preview_open() const { return preview_open_; }
  const DialogSettings &settings() const { return settings_; }
  const tools_common::LanguageNames &language_names() const { return names_; }
  /// The audio pop-up's entries as shown (labels and ids).
  QMenu *audio_menu() const { return audio_menu_; }
  QMenu *subpicture_menu() const { return spu_menu_; }
  QMenu *angle_menu() const { return angle_menu_; }

 signals:
  /// A run ended (after the window took back its controls).
  void run_finished();

 protected:
  void closeEvent(QCloseEvent *event) override;
  void changeEvent(QEvent *event) override;

 private:
  void build_controls();
  void build_actions();
  void retranslate();
  void set_options_enabled(bool on);
  void reset_options();
  void set_running_state(bool running);
  void open_preview(int row);
  void close_preview();
  void tick();
  void on_vcd_toggled(bool on);
  void on_layer_changed();
  void on_slider_moved(int value);
  void on_run_ended(bool stopped, bool shutdown);
  void show_context_menu(const QPoint &global_pos);
  QString output_for(const QString &input, const QString &folder) const;
  void fill_choice(QComboBox *list, const tools_common::StreamChoice &choice);
  void fill_menu(QMenu *menu, const tools_common::StreamChoice &choice, int kind);
  tools_common::StreamLabelTexts label_texts() const;
  int64_t length() const;

  tools_gui::Prompts *prompts_;
  tools_gui::LanguageLoader *languages_;
  DialogSettings settings_;
  tools_common::LanguageNames names_;
  JobBridge *bridge_ = nullptr;

  tools_gui::JobList *list_ = nullptr;
  tools_gui::PreviewWidget *preview_ = nullptr;
  tools_gui::PartsStatusBar *status_ = nullptr;
  QToolBar *toolbar_ = nullptr;
  QGroupBox *preview_box_ = nullptr;
  QSlider *slider_ = nullptr;
  QLabel *range_label_ = nullptr;
  QLabel *width_label_ = nullptr, *height_label_ = nullptr, *layer_label_ = nullptr,
         *bitrate_label_ = nullptr;
  QLabel *datarate_label_ = nullptr, *spu_label_ = nullptr, *audio_label_ = nullptr, *angle_label_ = nullptr;
  QComboBox *width_ = nullptr, *height_ = nullptr, *frame_ = nullptr, *layer_ = nullptr, *bitrate_ = nullptr;
  QComboBox *audio_ = nullptr, *spu_ = nullptr, *angle_ = nullptr;
  QCheckBox *primal_ = nullptr, *force_rate_ = nullptr, *vcd_ = nullptr, *shutdown_ = nullptr;
  QLineEdit *datarate_ = nullptr;
  QPushButton *spu_button_ = nullptr, *audio_button_ = nullptr, *angle_button_ = nullptr;
  QMenu *file_menu_ = nullptr, *control_menu_ = nullptr, *help_menu_ = nullptr, *context_menu_ = nullptr;
  QMenu *audio_menu_ = nullptr, *spu_menu_ = nullptr, *angle_menu_ = nullptr;
  std::vector<std::pair<int, QAction *>> actions_;
  QTimer *timer_ = nullptr;

  bool running_ = false;
  bool close_pending_ = false;
  bool closing_done_ = false;
  bool powered_off_ = false;
  bool preview_open_ = false;
  bool range_mode_ = false;
  int range_start_ = 0, range_end_ = 100;
  int32_t source_height_ = 0;
  bool filling_ = false;       // lists being refilled: their signals are not choices
  bool audio_chosen_ = false;  // the user picked an audio stream for the run
  bool spu_chosen_ = false;
  bool angle_chosen_ = false;
};

}  // namespace fennick_gui
