// A count one side moves on at every change of some state, so that others
// can sleep until the state may have changed. A waiter reads the count, then
// looks at the state, then sleeps until the count has moved past what it
// read: no change falls between its look and its sleep. The state itself
// stays where it lives (atomics, other locks); the count's own lock is never
// held while a waiter looks at it, so bumping under another lock is safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/event.h"

namespace platform {

class ChangeCount {
 public:
  ChangeCount() = default;
  ChangeCount(const ChangeCount &) = delete;
  ChangeCount &operator=(const ChangeCount &) = delete;

  /// Something changed: wakes every waiter.
  void bump() {
    {
      std::lock_guard<std::mutex> g(m_);
      ++count_;
    }
    cv_.notify_all();
  }
  uint64_t value() const {
    std::lock_guard<std::mutex> g(m_);
    return count_;
  }
  /// Waits up to bound_ms (kInfinite: no bound) for the count to move past
  /// `seen`; -> whether it has.
  bool wait_past(uint64_t seen, uint32_t bound_ms) {
    std::unique_lock<std::mutex> g(m_);
    const auto moved = [&] { return count_ != seen; };
    if (bound_ms == kInfinite) {
      cv_.wait(g, moved);
      return true;
    }
    return cv_.wait_for(g, std::chrono::milliseconds(bound_ms), moved);
  }
  /// Looks at `holds` after every change until it is true or bound_ms has
  /// passed; -> its last answer.
  template <typename Holds>
  bool wait_until(Holds holds, uint32_t bound_ms) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
    for (;;) {
      const uint64_t seen = value();
      if (holds()) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return holds();
      wait_past(seen, static_cast<uint32_t>(left));
    }
  }

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  uint64_t count_ = 0;
};

}  // namespace platform
