// The play loop's own measure of each picture against the sound. Tests
// judge the sync by the audio clock readings the loop acted on: a loaded
// machine can hold the sound's clock back or make a picture late, but it
// cannot change what the loop read and did about it.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "video/engine/play/audio_sync.h"

namespace playback_test {

/// Observes the sync while it lives; construct and destroy it while
/// nothing plays.
class SyncLog {
 public:
  SyncLog() { kestrum::play::set_sync_observer(&SyncLog::observe, this); }
  ~SyncLog() { kestrum::play::set_sync_observer(nullptr, nullptr); }
  SyncLog(const SyncLog &) = delete;
  SyncLog &operator=(const SyncLog &) = delete;

  /// The measure taken since the previous call, if any. The loop measures
  /// a picture just before presenting it, so a present callback gets the
  /// measure of the picture it is given.
  std::optional<kestrum::play::SyncSample> take() {
    std::lock_guard<std::mutex> g(lock_);
    std::optional<kestrum::play::SyncSample> s = pending_;
    pending_.reset();
    return s;
  }
  /// Every measure so far, in order.
  std::vector<kestrum::play::SyncSample> all() {
    std::lock_guard<std::mutex> g(lock_);
    return samples_;
  }
  void clear() {
    std::lock_guard<std::mutex> g(lock_);
    pending_.reset();
    samples_.clear();
  }

 private:
  static void observe(void *user, const kestrum::play::SyncSample &s) {
    auto *log = static_cast<SyncLog *>(user);
    std::lock_guard<std::mutex> g(log->lock_);
    log->pending_ = s;
    log->samples_.push_back(s);
  }
  std::mutex lock_;
  std::optional<kestrum::play::SyncSample> pending_;
  std::vector<kestrum::play::SyncSample> samples_;
};

}  // namespace playback_test
