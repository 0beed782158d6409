// Critical sections: recursive, like the Windows ones the engine was
// designed around (a thread that holds one may enter it again).
#pragma once

#include <mutex>

namespace platform {

class CriticalSection {
 public:
  void lock() { m_.lock(); }
  bool try_lock() { return m_.try_lock(); }
  void unlock() { m_.unlock(); }

 private:
  std::recursive_mutex m_;
};

using Lock = std::lock_guard<CriticalSection>;

}  // namespace platform
