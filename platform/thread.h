// Threads with best-effort priorities and a cooperative stop. There is no
// forced termination: stop() asks, waits a bound, and leaves a thread that
// is still busy to finish on its own (detached).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

enum class ThreadPriority { idle, lowest, below_normal, normal, above_normal, highest, time_critical };

/// Applies a priority to the calling thread where the system allows it;
/// silently keeps the current one otherwise.
void set_current_thread_priority(ThreadPriority p);

class Thread {
 public:
  using Body = std::function<void(const std::atomic<bool> &stop_requested)>;

  Thread() = default;
  /// Stops the thread with a bounded wait of 2 s (see stop()).
  ~Thread();
  Thread(const Thread &) = delete;
  Thread &operator=(const Thread &) = delete;

  /// Starts body on a new thread (once; returns false if already running,
  /// including a thread that an earlier stop() left detached and busy).
  /// An exception escaping body ends the thread as a normal return would.
  bool start(Body body, ThreadPriority priority = ThreadPriority::normal);
  /// Sets the stop request, then waits up to timeout_ms for the body to
  /// return. Returns true when it finished; otherwise the thread is detached
  /// and left to finish by itself. Called from the thread itself it cannot
  /// wait: the thread is detached and false returned.
  bool stop(uint32_t timeout_ms);
  /// Waits up to timeout_ms (kInfinite from event.h waits without limit)
  /// for the body to return, without asking it to stop. Returns true when
  /// it has finished (or never started).
  bool wait(uint32_t timeout_ms);
  void request_stop() {
    if (state_) state_->stop = true;
  }
  bool running() const { return state_ && !state_->done; }

 private:
  struct State {
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::mutex m;
    std::condition_variable finished;
  };
  bool wait_done(uint32_t timeout_ms);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace platform
