// The callback queue: the audio engine queues its buffer refills here and
// the video engine's playback thread runs them while it waits for the next
// picture. One producer and one consumer at a time, no lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/media_api.h"

namespace dravik {

class CallbackQueue {
 public:
  static constexpr uint32_t kSlots = 128;

  /// Stores item and makes fn the callback. A queue already holding 127
  /// unread items refuses the item (returns false): overwriting would hand
  /// an old item out twice or lose it silently.
  bool push(DravikCallback fn, void *item);
  /// Takes the next item; false when empty.
  bool take(void **item);
  bool empty() const {
    return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire);
  }
  uint32_t unread() const { return (write_.load() - read_.load()) & (kSlots - 1); }
  DravikCallback callback() const { return callback_.load(std::memory_order_acquire); }
  /// Both indexes to 0 (items not taken are dropped).
  void clear();

 private:
  void *items_[kSlots] = {};
  std::atomic<DravikCallback> callback_{nullptr};
  std::atomic<uint32_t> write_{0};
  std::atomic<uint32_t> read_{0};
};

}  // namespace dravik
