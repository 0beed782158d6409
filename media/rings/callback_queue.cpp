#include "media/rings/callback_queue.h"

namespace dravik {

bool CallbackQueue::push(DravikCallback fn, void *item) {
  callback_.store(fn, std::memory_order_release);
  uint32_t w = write_.load(std::memory_order_relaxed);
  uint32_t next = (w + 1) & (kSlots - 1);
  if (next == read_.load(std::memory_order_acquire)) return false;
  items_[w] = item;
  write_.store(next, std::memory_order_release);
  return true;
}

bool CallbackQueue::take(void **item) {
  uint32_t r = read_.load(std::memory_order_relaxed);
  if (r == write_.load(std::memory_order_acquire)) return false;
  *item = items_[r];
  read_.store((r + 1) & (kSlots - 1), std::memory_order_release);
  return true;
}

void CallbackQueue::clear() {
  read_.store(0, std::memory_order_release);
  write_.store(0, std::memory_order_release);
}

}  // namespace dravik
