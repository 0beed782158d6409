#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/clock.h"

namespace platform {

void set_current_thread_priority(ThreadPriority p) {
  // Real-time classes need privileges; a nice value per thread is the best
  // effort an unprivileged process gets. Raising priority may be refused,
  // which is fine.
  int nice_value = 0;
  switch (p) {
    case ThreadPriority::idle: nice_value = 19; break;
    case ThreadPriority::lowest: nice_value = 10; break;
    case ThreadPriority::below_normal: nice_value = 5; break;
    case ThreadPriority::normal: nice_value = 0; break;
    case ThreadPriority::above_normal: nice_value = -5; break;
    case ThreadPriority::highest: nice_value = -10; break;
    case ThreadPriority::time_critical: nice_value = -15; break;
  }
  if (nice_value != 0) setpriority(PRIO_PROCESS, 0, nice_value);
}

Thread::~Thread() { stop(2000); }

bool Thread::start(Body body, ThreadPriority priority) {
  if (running()) return false;
  if (thread_.joinable()) thread_.join();
  state_ = std::make_shared<State>();
  auto state = state_;
  thread_ = std::thread([state, body = std::move(body), priority] {
    set_current_thread_priority(priority);
    body(state->stop);
    state->done = true;
  });
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
  uint32_t start = tick_ms();
  while (!state_->done && tick_ms() - start < timeout_ms) sleep_ms(1);
  if (state_->done) {
    thread_.join();
    return true;
  }
  thread_.detach();
  return false;
}

}  // namespace platform
