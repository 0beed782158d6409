// The video encoder on a thread of its own: the run converts and scales the
// next picture while the encoder codes the last ones. Pictures travel in a
// few fixed bitmaps; a repeated picture is queued again, not copied.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "tools/common/picture_bitmap.h"

namespace fennick {

class VideoEncodeThread {
 public:
  VideoEncodeThread() = default;
  ~VideoEncodeThread() { finish(); }
  VideoEncodeThread(const VideoEncodeThread &) = delete;
  VideoEncodeThread &operator=(const VideoEncodeThread &) = delete;

  /// Sizes the bitmaps (output size) and starts the thread; the encoder is
  /// open. False for sizes the bitmaps refuse.
  bool start(int32_t width, int32_t height);
  /// A bitmap no queued picture uses, to fill with the next picture; waits
  /// while the encoder holds them all.
  tools_common::PictureBitmap *next_free();
  /// Queues `picture` (one of this thread's bitmaps) for encoding; waits
  /// while the queue is full.
  void encode(tools_common::PictureBitmap *picture);
  /// The picture queued last, or null before the first.
  tools_common::PictureBitmap *last() const { return last_; }
  /// Encodes what is queued and ends the thread (before the encoder closes).
  void finish();

 private:
  static constexpr int kBitmaps = 3;
  // Pictures waiting, repeats included: a fixed ring, no allocation.
  static constexpr int kQueueLength = 32;
  void run();

  std::array<tools_common::PictureBitmap, kBitmaps> bitmaps_;
  std::array<int32_t, kBitmaps> queued_{};  // queue entries per bitmap
  std::array<int, kQueueLength> queue_{};
  int queue_head_ = 0;
  int queued_count_ = 0;
  std::mutex lock_;
  std::condition_variable changed_;
  bool ending_ = false;
  tools_common::PictureBitmap *last_ = nullptr;
  std::thread thread_;
};

}  // namespace fennick
