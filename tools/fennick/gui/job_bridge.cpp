#include "tools/fennick/gui/job_bridge.h"

#include <QMetaObject>

#include "tools/fennick/gui/texts.h"

namespace fennick_gui {

JobBridge::JobBridge(QObject *parent)
    : QObject(parent), engine_(std::make_unique<fennick::JobEngine>(this)) {}

JobBridge::~JobBridge() {
  // The engine's destructor stops a run and joins its worker; the window
  // only gets here once the run has ended.
  engine_.reset();
}

bool JobBridge::start(const fennick::JobSettings &settings, const std::vector<fennick::JobRow> &rows) {
  if (engine_->Running()) return false;
  engine_->Wait();  // the previous run's worker has ended; join it
  shutdown_ = false;
  return engine_->StartJobs(settings, rows);
}

void JobBridge::stop() { engine_->StopJobs(); }

void JobBridge::OnStatus(const fennick::StatusMessage &message) {
  // The text is made on the GUI thread, in the language shown there.
  QMetaObject::invokeMethod(
      this,
      [this, message] {
        std::vector<tools_common::TextArg> args(message.args.begin(), message.args.end());
        QString t = text(message.string_id, args);
        if (!message.reason.empty()) t += QStringLiteral(": ") + QString::fromStdString(message.reason);
        emit status(t);
      },
      Qt::QueuedConnection);
}

void JobBridge::OnProgress(int32_t percent) {
  QMetaObject::invokeMethod(
      this, [this, percent] { emit progress(percent); }, Qt::QueuedConnection);
}

void JobBridge::OnPosition(int32_t percent) {
  QMetaObject::invokeMethod(
      this, [this, percent] { emit position(percent); }, Qt::QueuedConnection);
}

void JobBridge::OnRowStarted(int32_t row, int32_t rows) {
  QMetaObject::invokeMethod(
      this, [this, row, rows] { emit row_started(row, rows); }, Qt::QueuedConnection);
}

void JobBridge::OnRowDone(const fennick::RowResult &result) {
  const int row = result.row, outcome = static_cast<int>(result.outcome);
  QMetaObject::invokeMethod(
      this, [this, row, outcome] { emit row_done(row, outcome); }, Qt::QueuedConnection);
}

void JobBridge::OnRunEnded(const fennick::RunSummary &summary) {
  const bool stopped = summary.stopped;
  QMetaObject::invokeMethod(
      this, [this, stopped] { emit run_ended(stopped, shutdown_.load()); }, Qt::QueuedConnection);
}

bool JobBridge::OnShutdownPending() {
  // The window powers off itself, after writing its settings.
  shutdown_ = true;
  return false;
}

}  // namespace fennick_gui
