// Between the converter engine and the window: runs the engine on its worker
// and hands its reports to the GUI thread by queued calls, as signals. No
// widget is touched off the GUI thread.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>

#include "tools/fennick/engine/job_engine.h"

namespace fennick_gui {

class JobBridge : public QObject, public fennick::JobObserver {
  Q_OBJECT

 public:
  explicit JobBridge(QObject *parent = nullptr);
  ~JobBridge() override;

  /// Starts a run with snapshots of settings and rows. False while one runs.
  bool start(const fennick::JobSettings &settings, const std::vector<fennick::JobRow> &rows);
  void stop();
  bool running() const { return engine_->Running(); }

 signals:
  void status(const QString &text);
  void progress(int percent);
  void position(int percent);
  void row_started(int row, int rows);
  void row_done(int row, int outcome);
  /// The last signal of a run. shutdown: the run asked for a power-off.
  void run_ended(bool stopped, bool shutdown);

 private:
  void OnStatus(const fennick::StatusMessage &message) override;
  void OnProgress(int32_t percent) override;
  void OnPosition(int32_t percent) override;
  void OnRowStarted(int32_t row, int32_t rows) override;
  void OnRowDone(const fennick::RowResult &result) override;
  void OnRunEnded(const fennick::RunSummary &summary) override;
  bool OnShutdownPending() override;

  std::unique_ptr<fennick::JobEngine> engine_;
  std::atomic<bool> shutdown_{false};
};

}  // namespace fennick_gui
