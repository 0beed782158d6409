// A second thread that makes part of each picture while the run's thread
// makes the rest: one job at a time, posted and waited for.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace fennick {

class PartThread {
 public:
  PartThread() = default;
  ~PartThread();
  PartThread(const PartThread &) = delete;
  PartThread &operator=(const PartThread &) = delete;

  /// Runs job(arg) on the thread (started on first use).
  void post(void (*job)(void *), void *arg);
  /// Waits until the posted job is done.
  void wait();

 private:
  void run();

  std::mutex lock_;
  std::condition_variable changed_;
  void (*job_)(void *) = nullptr;
  void *arg_ = nullptr;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace fennick
