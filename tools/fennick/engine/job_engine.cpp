#include "tools/fennick/engine/job_engine.h"

#include "tools/fennick/engine/convert_file.h"
#include "tools/fennick/engine/row_checks.h"
#include "tools/fennick/engine/strings.h"
#include "tools/fennick/engine/temp_folder.h"
#include "video/video_api.h"

namespace fennick {

JobEngine::JobEngine(JobObserver *observer, PowerOff power_off)
    : observer_(observer), power_off_(std::move(power_off)), last_(std::make_shared<RunSummary>()) {}

JobEngine::~JobEngine() {
  if (running_.load()) stop_.store(1);
  Wait();
}

bool JobEngine::StartJobs(const JobSettings &settings, const std::vector<JobRow> &rows) {
  bool idle = false;
  if (!running_.compare_exchange_strong(idle, true)) return false;
  if (worker_.joinable()) worker_.join();
  stop_.store(0);
  worker_ = std::thread([this, settings, rows] { Work(settings, rows); });
  return true;
}

void JobEngine::StopJobs() {
  if (observer_) observer_->OnStatus(StatusMessage{kStrProcessing, {}, {}});
  finished_normally_.store(false);
  stop_.fetch_add(1);
}

bool JobEngine::RunJobs(const JobSettings &settings, const std::vector<JobRow> &rows, RunSummary *summary) {
  bool idle = false;
  if (!running_.compare_exchange_strong(idle, true)) return false;
  stop_.store(0);
  Work(settings, rows);
  if (summary) *summary = LastSummary();
  return true;
}

void JobEngine::Wait() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

RunSummary JobEngine::LastSummary() const {
  std::lock_guard<std::mutex> lock(last_mutex_);
  return *last_;
}

void JobEngine::Work(JobSettings settings, std::vector<JobRow> rows) {
  VideoStartup();
  auto summary = std::make_shared<RunSummary>();
  TempFolder temp(settings.temp_parent);
  const auto count = static_cast<int32_t>(rows.size());
  for (int32_t i = 0; i < count; ++i) {
    RowResult r;
    r.row = i;
    if (stop_.load() != 0) {
      r.outcome = RowOutcome::kSkipped;
      r.reason = "not started: the run was stopped";
    } else {
      if (observer_) observer_->OnRowStarted(i, count);
      std::string refused = refuse_reason(rows, static_cast<size_t>(i), settings.overwrite);
      if (refused.empty() && !temp.ok()) refused = temp.error();
      if (!refused.empty()) {
        r.outcome = RowOutcome::kFailure;
        r.reason = refused;
        if (observer_) observer_->OnStatus(StatusMessage{kStrFailure, {}, refused});
      } else {
        r = ConvertFile(settings, rows[static_cast<size_t>(i)], i, temp, stop_, observer_);
      }
    }
    if (r.outcome == RowOutcome::kFailure) ++summary->failed;
    if (observer_) observer_->OnRowDone(r);
    summary->rows.push_back(std::move(r));
  }
  summary->stopped = !finished_normally_.load() || stop_.load() != 0;
  if (!summary->stopped && settings.shutdown_when_done) {
    summary->shutdown_pending = true;
    const bool go = observer_ && observer_->OnShutdownPending();
    if (go && power_off_) power_off_();
  }
  {
    std::lock_guard<std::mutex> lock(last_mutex_);
    last_ = summary;
  }
  finished_normally_.store(true);
  stop_.store(0);
  if (observer_) observer_->OnRunEnded(*summary);
  running_.store(false);
}

}  // namespace fennick
