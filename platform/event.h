// Events with Windows semantics: an auto-reset event wakes exactly one
// waiter and resets itself; a manual-reset event stays set until reset.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
 public:
  explicit Event(bool manual_reset = false, bool initially_set = false)
      : manual_(manual_reset), set_(initially_set) {}
  Event(const Event &) = delete;
  Event &operator=(const Event &) = delete;

  void set();
  void reset();
  /// Waits until the event is set or timeout_ms passes (kInfinite: no
  /// limit). Returns true when the event was set. An auto-reset event is
  /// consumed by the waiter that sees it.
  bool wait(uint32_t timeout_ms = kInfinite);
  bool is_set() const;

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  const bool manual_;
  bool set_;
};

}  // namespace platform
