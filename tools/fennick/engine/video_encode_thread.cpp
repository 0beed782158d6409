#include "tools/fennick/engine/video_encode_thread.h"

#include "components/pikran/pikran.h"

namespace fennick {

bool VideoEncodeThread::start(int32_t width, int32_t height) {
  finish();
  for (auto &b : bitmaps_)
    if (!b.allocate(width, height)) return false;
  queued_.fill(0);
  queue_head_ = queued_count_ = 0;
  ending_ = false;
  last_ = nullptr;
  thread_ = std::thread([this] { run(); });
  return true;
}

tools_common::PictureBitmap *VideoEncodeThread::next_free() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    for (int i = 0; i < kBitmaps; ++i)
      if (queued_[i] == 0 && &bitmaps_[i] != last_) return &bitmaps_[i];
    changed_.wait(hold);
  }
}

void VideoEncodeThread::encode(tools_common::PictureBitmap *picture) {
  const int i = static_cast<int>(picture - bitmaps_.data());
  {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return queued_count_ < kQueueLength; });
    ++queued_[i];
    queue_[(queue_head_ + queued_count_++) % kQueueLength] = i;
    last_ = picture;
  }
  changed_.notify_all();
}

void VideoEncodeThread::finish() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void VideoEncodeThread::run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return ending_ || queued_count_ > 0; });
    if (queued_count_ == 0) return;
    const int i = queue_[queue_head_];
    queue_head_ = (queue_head_ + 1) % kQueueLength;
    --queued_count_;
    const tools_common::PictureBitmap &b = bitmaps_[i];
    // Nobody writes a queued bitmap: it is read without the lock.
    hold.unlock();
    PikranEncodeFrame(b.block(), b.block_size());
    hold.lock();
    --queued_[i];
    changed_.notify_all();
  }
}

}  // namespace fennick
