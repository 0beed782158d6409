// A count of holders that one side takes and gives back while another side
// steps around them: that side sleeps until the last holder lets go (with a
// bound), instead of looking again in fixed steps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/event.h"

namespace platform {

class HoldCount {
 public:
  HoldCount() = default;
  HoldCount(const HoldCount &) = delete;
  HoldCount &operator=(const HoldCount &) = delete;

  void hold() {
    std::lock_guard<std::mutex> g(m_);
    ++count_;
  }
  /// Gives one hold back; the last one wakes whoever waits for none.
  void release() {
    std::lock_guard<std::mutex> g(m_);
    if (count_ > 0 && --count_ == 0) cv_.notify_all();
  }
  /// Takes a hold only when nobody holds one; -> whether it did.
  bool try_hold_alone() {
    std::lock_guard<std::mutex> g(m_);
    if (count_ != 0) return false;
    count_ = 1;
    return true;
  }
  int32_t count() const {
    std::lock_guard<std::mutex> g(m_);
    return count_;
  }
  explicit operator bool() const { return count() != 0; }
  /// Waits up to bound_ms (kInfinite: no bound) until nobody holds;
  /// -> whether nobody does.
  bool wait_free(uint32_t bound_ms) {
    std::unique_lock<std::mutex> g(m_);
    const auto free = [&] { return count_ == 0; };
    if (bound_ms == kInfinite) {
      cv_.wait(g, free);
      return true;
    }
    return cv_.wait_for(g, std::chrono::milliseconds(bound_ms), free);
  }

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  int32_t count_ = 0;
};

}  // namespace platform
