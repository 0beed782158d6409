// The converter's job engine: turns MPEG system streams and DVD title files
// into MPEG-1 system streams (optionally Video CD compliant), one row after
// another, on its own worker thread plus one encode thread per row. No Qt:
// the command line, the window and the tests drive the same engine.
//
//   fennick::JobEngine engine(&observer);
//   engine.StartJobs(settings, rows);  // snapshots both, returns at once
//   ...                                // observer reports on the engine's threads
//   engine.StopJobs();                 // optional: the current row ends early
//   engine.Wait();                     // or RunJobs(...) to run on this thread
//
// The engine libraries are one per process: while a run is going, only the
// engine calls them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/fennick/engine/job_types.h"

namespace fennick {

/// Reports of a run. Called on the engine's worker or encode thread, one
/// call at a time (RunJobs: on its caller's thread and the encode thread);
/// the one exception is StopJobs, which reports string 49 on the thread
/// that calls it. Implementations must not call back into the engine except
/// StopJobs.
class JobObserver {
 public:
  virtual ~JobObserver() = default;
  /// A status text for the window's message part: a string id of the
  /// engine's table (strings.h) with its arguments, and for failures a
  /// reason in plain words (empty otherwise).
  virtual void OnStatus(const StatusMessage &message) { (void)message; }
  /// The progress bar: percent of the current row's range, 0..100.
  virtual void OnProgress(int32_t percent) { (void)percent; }
  /// The position slider: percent of the current source, 0..100.
  virtual void OnPosition(int32_t percent) { (void)percent; }
  /// A row begins (index into the run's rows, count of rows).
  virtual void OnRowStarted(int32_t row, int32_t rows) { (void)row, (void)rows; }
  /// After each encoded output picture: counts and the source time reached.
  virtual void OnPictures(const PictureProgress &progress) { (void)progress; }
  /// A row ended (also rows refused before they started).
  virtual void OnRowDone(const RowResult &result) { (void)result; }
  /// The run ended; the last call of a run.
  virtual void OnRunEnded(const RunSummary &summary) { (void)summary; }
  /// A run that was not stopped ended with "shutdown when completed": the
  /// window closes and powers off (the engine calls the injected power-off
  /// itself only when the observer returns true here).
  virtual bool OnShutdownPending() { return false; }
};

/// Powers the machine off; returns true when the request was made. Injected
/// so that tests never power anything off.
using PowerOff = std::function<bool()>;

class JobEngine {
 public:
  /// observer may be null; power_off empty means "never power off".
  explicit JobEngine(JobObserver *observer, PowerOff power_off = {});
  /// Stops a run and waits for the worker.
  ~JobEngine();
  JobEngine(const JobEngine &) = delete;
  JobEngine &operator=(const JobEngine &) = delete;

  /// Starts a run on the worker thread with snapshots of settings and rows.
  /// False (nothing started) while a run is going.
  bool StartJobs(const JobSettings &settings, const std::vector<JobRow> &rows);
  /// The "Stop outputing" command: reports string 49, clears
  /// finished-normally and raises the stop counter. The row being converted
  /// ends at its next picture and keeps its shorter file; later rows are not
  /// started. Any thread.
  void StopJobs();
  /// Runs the rows on the calling thread (the worker's body); returns when
  /// the run has ended. False when a run was already going.
  bool RunJobs(const JobSettings &settings, const std::vector<JobRow> &rows, RunSummary *summary = nullptr);
  /// Waits for the worker of StartJobs to end (no-op when none).
  void Wait();
  /// True from StartJobs/RunJobs until the run has ended.
  bool Running() const { return running_.load(); }
  /// The stop counter (0 = go on).
  int32_t StopCount() const { return stop_.load(); }
  /// The summary of the last run that ended.
  RunSummary LastSummary() const;

 private:
  struct Run;
  void Work(JobSettings settings, std::vector<JobRow> rows);

  JobObserver *observer_;
  PowerOff power_off_;
  std::atomic<bool> running_{false};
  std::atomic<int32_t> stop_{0};
  std::atomic<bool> finished_normally_{true};
  std::thread worker_;
  std::shared_ptr<RunSummary> last_;
  mutable std::mutex last_mutex_;
};

}  // namespace fennick
