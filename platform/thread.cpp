#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "platform/event.h"

namespace platform {

void set_current_thread_priority(ThreadPriority p) {
  // Real-time classes need privileges; a nice value per thread is the best
  // effort an unprivileged process gets. On Linux each thread has its own
  // nice value and a new thread inherits its creator's, so "normal" is
  // applied too (it undoes an inherited lower priority). Raising priority
  // may be refused, which is fine.
  int nice_value = 0;
  switch (p) {
    case ThreadPriority::idle:
      nice_value = 19;
      break;
    case ThreadPriority::lowest:
      nice_value = 10;
      break;
    case ThreadPriority::below_normal:
      nice_value = 5;
      break;
    case ThreadPriority::normal:
      nice_value = 0;
      break;
    case ThreadPriority::above_normal:
      nice_value = -5;
      break;
    case ThreadPriority::highest:
      nice_value = -10;
      break;
    case ThreadPriority::time_critical:
      nice_value = -15;
      break;
  }
  auto tid = static_cast<id_t>(syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, tid, nice_value);
}

Thread::~Thread() { stop(2000); }

bool Thread::start(Body body, ThreadPriority priority) {
  if (running()) return false;
  if (thread_.joinable()) thread_.join();
  state_ = std::make_shared<State>();
  auto state = state_;
  thread_ = std::thread([state, body = std::move(body), priority] {
    set_current_thread_priority(priority);
    try {
      body(state->stop);
    } catch (...) {
      // Nothing may escape a thread; the owner sees a finished thread.
    }
    // Notify under the lock: the owner may destroy its handle right after
    // seeing done, but the shared state lives on in this lambda.
    std::lock_guard<std::mutex> g(state->m);
    state->done = true;
    state->finished.notify_all();
  });
  return true;
}

bool Thread::wait_done(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> g(state_->m);
  auto finished = [&] { return state_->done.load(); };
  if (timeout_ms == kInfinite) {
    state_->finished.wait(g, finished);
    return true;
  }
  return state_->finished.wait_for(g, std::chrono::milliseconds(timeout_ms), finished);
}

bool Thread::wait(uint32_t timeout_ms) {
  if (!state_) return true;
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return false;
  if (!wait_done(timeout_ms)) return false;
  if (thread_.joinable()) thread_.join();
  return true;
}

bool Thread::stop(uint32_t timeout_ms) {
  if (!state_) return true;
  state_->stop = true;
  if (!thread_.joinable()) return state_->done;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
    return false;
  }
  if (wait_done(timeout_ms)) {
    thread_.join();
    return true;
  }
  // Still busy after the bound: never killed (it might be half-way through
  // a file write); it finishes by itself and frees its own state.
  thread_.detach();
  return false;
}

}  // namespace platform
