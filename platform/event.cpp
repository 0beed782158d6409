#include "platform/event.h"

#include <chrono>

namespace platform {

void Event::set() {
  // Notified under the lock: a waiter that returns may destroy the event at
  // once (a "done" event on its stack), so set() must not touch it after
  // the mutex is released.
  std::lock_guard<std::mutex> g(m_);
  set_ = true;
  if (manual_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void Event::reset() {
  std::lock_guard<std::mutex> g(m_);
  set_ = false;
}

bool Event::wait(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> g(m_);
  auto ready = [&] { return set_; };
  if (timeout_ms == kInfinite) {
    cv_.wait(g, ready);
  } else if (!cv_.wait_for(g, std::chrono::milliseconds(timeout_ms), ready)) {
    return false;
  }
  if (!manual_) set_ = false;
  return true;
}

bool Event::is_set() const {
  std::lock_guard<std::mutex> g(m_);
  return set_;
}

}  // namespace platform
