#include "tools/fennick/engine/part_thread.h"

namespace fennick {

PartThread::~PartThread() {
  if (!thread_.joinable()) return;
  wait();
  {
    const std::lock_guard<std::mutex> hold(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void PartThread::post(void (*job)(void *), void *arg) {
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  {
    const std::lock_guard<std::mutex> hold(lock_);
    job_ = job;
    arg_ = arg;
  }
  changed_.notify_all();
}

void PartThread::wait() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return job_ == nullptr; });
}

void PartThread::run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return ending_ || job_ != nullptr; });
    if (!job_) return;
    void (*job)(void *) = job_;
    void *arg = arg_;
    hold.unlock();
    job(arg);
    hold.lock();
    job_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace fennick
