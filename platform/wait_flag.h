// A flag one side raises while it works and others wait to see lowered (or
// raised), with a bound: the waiter sleeps on a condition, not in polling
// steps.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/event.h"

namespace platform {

class WaitFlag {
 public:
  WaitFlag() = default;
  WaitFlag(const WaitFlag &) = delete;
  WaitFlag &operator=(const WaitFlag &) = delete;

  bool is_set() const { return on_.load(); }
  explicit operator bool() const { return is_set(); }
  void set() {
    {
      std::lock_guard<std::mutex> g(m_);
      on_.store(true);
    }
    cv_.notify_all();
  }
  void clear() {
    {
      std::lock_guard<std::mutex> g(m_);
      on_.store(false);
    }
    cv_.notify_all();
  }
  /// Raises the flag if it is lowered; -> false when it was raised already.
  bool try_set() {
    std::lock_guard<std::mutex> g(m_);
    if (on_.load()) return false;
    on_.store(true);
    return true;
  }
  /// Waits up to bound_ms (kInfinite: no bound) for the flag to be
  /// lowered; -> whether it is.
  bool wait_clear(uint32_t bound_ms) {
    std::unique_lock<std::mutex> g(m_);
    return wait_lowered(g, bound_ms);
  }
  /// Waits up to bound_ms (kInfinite: no bound) for the flag to be
  /// raised; -> whether it is.
  bool wait_set(uint32_t bound_ms) {
    std::unique_lock<std::mutex> g(m_);
    const auto raised = [&] { return on_.load(); };
    if (bound_ms == kInfinite) {
      cv_.wait(g, raised);
      return true;
    }
    return cv_.wait_for(g, std::chrono::milliseconds(bound_ms), raised);
  }
  /// Waits as wait_clear, then raises the flag; -> false (flag untouched)
  /// when the bound passed first.
  bool claim(uint32_t bound_ms) {
    std::unique_lock<std::mutex> g(m_);
    if (!wait_lowered(g, bound_ms)) return false;
    on_.store(true);
    return true;
  }

 private:
  bool wait_lowered(std::unique_lock<std::mutex> &g, uint32_t bound_ms) {
    const auto lowered = [&] { return !on_.load(); };
    if (bound_ms == kInfinite) {
      cv_.wait(g, lowered);
      return true;
    }
    return cv_.wait_for(g, std::chrono::milliseconds(bound_ms), lowered);
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::atomic<bool> on_{false};
};

/// A 0/1 word that wakes its waiters: it reads and writes as the integer
/// flag it stands for, and a waiter can sleep until it is raised.
class FlagWord {
 public:
  FlagWord() = default;
  FlagWord(const FlagWord &) = delete;
  FlagWord &operator=(const FlagWord &) = delete;

  FlagWord &operator=(int32_t value) {
    if (value) {
      flag_.set();
    } else {
      flag_.clear();
    }
    return *this;
  }
  operator int32_t() const { return flag_.is_set() ? 1 : 0; }
  int32_t load() const { return *this; }
  bool wait_raised(uint32_t bound_ms) { return flag_.wait_set(bound_ms); }

 private:
  WaitFlag flag_;
};

}  // namespace platform
