// The queue between a plug-in that pushes PCM from its own thread and the
// engine's fills: up to kMaxBlocks blocks of 16-bit PCM (8-bit pushes
// widened, more than two channels folded to stereo), the oldest dropped
// when a push finds the queue full. Used blocks are kept for reuse.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/wait_flag.h"

namespace lunaret {

/// What a plug-in pushes.
struct PushFormat {
  static constexpr int32_t kMaxChannels = 8;
  static constexpr int32_t kMinRate = 1000;
  static constexpr int32_t kMaxRate = 192000;

  int32_t rate = 44100;
  int32_t bits = 16;  // 8 (unsigned) or 16 (signed, little-endian)
  int32_t channels = 2;

  bool valid() const {
    return rate >= kMinRate && rate <= kMaxRate && (bits == 8 || bits == 16) && channels >= 1 &&
           channels <= kMaxChannels;
  }
  int32_t frame_bytes() const { return channels * bits / 8; }
  /// Channels of the queued PCM: mono stays, the rest is stereo.
  int32_t out_channels() const { return channels == 1 ? 1 : 2; }
};

class PushQueue {
 public:
  static constexpr int32_t kMaxBlocks = 128;

  enum class Wait { ready, stopped, timeout };

  PushQueue();

  /// Empties the queue and takes the format of the pushes that follow.
  void configure(const PushFormat &f);
  /// Pushes are kept only while accepting (the source is open).
  void set_accepting(bool on);
  /// Converts and appends one push; a partial frame at its end waits for
  /// the next push. -> blocks queued afterwards (0 when not accepting).
  int32_t push(const void *data, int32_t length);
  /// Drops every queued block and any partial frame.
  void clear();
  int32_t queued() const;

  /// Waits up to step_ms for a block, or until any push (an empty one
  /// too) or wake(). `stop` is read under the queue's lock: raise it, then
  /// call wake(), and the wait ends at once. timeout: look again.
  Wait wait(const std::atomic<bool> &stop, uint32_t step_ms);
  void wake();
  /// Takes up to max_values 16-bit values (whole frames of the queued
  /// channels) from the oldest blocks; a block longer than that keeps its
  /// rest for the next take. -> values.
  int32_t take(int16_t *dst, int32_t max_values);

  /// Raised while a reader waits for a block (tests wait on it).
  platform::WaitFlag reader_waiting;

 private:
  struct Block {
    std::vector<int16_t> pcm;
    size_t pos = 0;
  };
  std::unique_ptr<Block> spare_block();
  void retire(std::unique_ptr<Block> b);
  void pop_front();
  void convert(const uint8_t *src, int32_t frames, int16_t *dst) const;

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::array<std::unique_ptr<Block>, kMaxBlocks> ring_;
  int32_t head_ = 0;
  int32_t count_ = 0;
  std::vector<std::unique_ptr<Block>> spare_;
  // Bytes of a frame the last push cut short.
  std::array<uint8_t, PushFormat::kMaxChannels * 2> carry_{};
  int32_t carry_bytes_ = 0;
  bool accepting_ = false;
  uint64_t wakes_ = 0;  // counts pushes and wakes: a waiter looks again
  PushFormat format_;
};

}  // namespace lunaret
