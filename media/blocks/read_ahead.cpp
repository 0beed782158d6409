#include "media/blocks/read_ahead.h"

#include <chrono>
#include <cstring>

#include "media/source/source.h"
#include "media/state.h"
#include "platform/clock.h"
#include "platform/lock.h"

namespace dravik {

namespace {
constexpr uint32_t kStopBoundMs = 2000;
// The start-up fill asks for a smaller part of the ring each round, and
// waits at most this long for each.
constexpr int kStartupRounds = 4;
constexpr uint32_t kStartupRoundMs = 300;
}  // namespace

ReadAhead::ReadAhead() : block0_(new uint8_t[kBlockBytes]) {}

ReadAhead::~ReadAhead() {
  quit_.store(true);
  stop_.store(true);
  event_.set();
  // The thread reads into this object's blocks for the state that owns it:
  // it must be gone before they are, however long its last read takes (the
  // process's own state is never freed; states of tests are).
  if (!thread_.wait(kStopBoundMs)) thread_.wait(platform::kInfinite);
  thread_.stop(0);
}

uint8_t *ReadAhead::block(int32_t i) { return i == 0 ? block0_.get() : extra_[i].data(); }

void ReadAhead::set_count(State &s, int32_t count) {
  if (count > kMaxReadAheadBlocks) count = kMaxReadAheadBlocks;
  if (count < 0) count = 0;
  if (!started_) {
    started_ = true;
    // The reader sits one step above normal so that a slow drive is kept
    // busy while the decoding threads run.
    thread_.start([this, &s](const std::atomic<bool> &) { run(s, quit_); },
                  platform::ThreadPriority::above_normal);
  }
  stop_for_seek(s);
  for (int32_t i = 1; i < kMaxReadAheadBlocks; ++i) {
    if (i < count) {
      if (!extra_[i]) extra_[i].allocate(kBlockBytes, true);
    } else {
      extra_[i].release();
    }
  }
  // A block that could not be allocated caps the count where it failed.
  int32_t usable = 1;
  while (usable < count && extra_[usable]) ++usable;
  count_ = count <= 1 ? count : usable;
  paused_.store(false);
}

void ReadAhead::run(State &s, const std::atomic<bool> &quit) {
  while (!quit.load()) {
    busy_.clear();
    event_.wait(platform::kInfinite);
    if (quit.load()) break;
    platform::Lock lock(s.io_lock);
    if (paused_.load() || stop_.load() || consumer_inside_.load()) continue;
    if (count_ <= 1 && pending_single_.load() != 0) continue;
    busy_.set();
    fill_round(s);
    busy_.clear();
  }
  busy_.clear();
}

// One round under the I/O lock: blocks are filled in turn from the producer
// index until the ring is full, a stop is asked for, or count blocks were
// read. A block that still holds data is never overwritten.
void ReadAhead::fill_round(State &s) {
  if (s.source.type == SourceType::none) return;
  if (count_ <= 1) {
    block_pos_[0] = s.source.position;
    const int32_t n = read_source_block(s, block0_.get());
    // 0 bytes is the end of the source: nothing pending, the parser's own
    // read then finds the end too.
    pending_single_.store(n);
    return;
  }
  for (int32_t done = 0; done < count_; ++done) {
    if (stop_.load() || paused_.load()) break;
    const int32_t p = producer_.load();
    const int32_t next = (p + 1) % count_;
    if (next == consumer_.load() || fill_[p].load(std::memory_order_acquire) != 0) break;
    block_pos_[p] = s.source.position;
    const int32_t n = read_source_block(s, block(p));
    if (n <= 0) break;
    fill_[p].store(n, std::memory_order_release);
    producer_.store(next);
    {
      // Taken once between the store and the notice: a waiter either saw
      // the new level or is already asleep when told.
      std::lock_guard<std::mutex> g(progress_lock_);
    }
    progress_.notify_all();
    platform::sleep_ms(0);
  }
}

int32_t ReadAhead::take(State &s, uint8_t *dst, int64_t *block_pos) {
  if (count_ > 1) {
    const int32_t c = consumer_.load();
    int32_t n = fill_[c].load(std::memory_order_acquire);
    if (n > 0) {
      std::memcpy(dst, block(c), static_cast<size_t>(n));
      if (block_pos) *block_pos = block_pos_[c];
      fill_[c].store(0, std::memory_order_release);
      consumer_.store((c + 1) % count_);
      return n;
    }
    stop_.store(true);
    {
      platform::Lock lock(s.io_lock);
      n = fill_[c].load(std::memory_order_acquire);
      if (n > 0) {
        std::memcpy(dst, block(c), static_cast<size_t>(n));
        if (block_pos) *block_pos = block_pos_[c];
        fill_[c].store(0, std::memory_order_release);
        consumer_.store((c + 1) % count_);
      } else {
        consumer_inside_.store(true);
        if (block_pos) *block_pos = s.source.position;
        n = read_source_block(s, dst);
        consumer_inside_.store(false);
      }
    }
    stop_.store(false);
    return n;
  }
  platform::Lock lock(s.io_lock);
  int32_t n = pending_single_.exchange(0);
  if (n > 0) {
    std::memcpy(dst, block0_.get(), static_cast<size_t>(n));
    if (block_pos) *block_pos = block_pos_[0];
    return n;
  }
  consumer_inside_.store(true);
  if (block_pos) *block_pos = s.source.position;
  n = read_source_block(s, dst);
  consumer_inside_.store(false);
  return n;
}

int64_t ReadAhead::next_position(State &s) {
  platform::Lock lock(s.io_lock);
  if (count_ <= 1) return pending_single_.load() > 0 ? block_pos_[0] : s.source.position;
  const int32_t c = consumer_.load();
  return fill_[c].load() > 0 ? block_pos_[c] : s.source.position;
}

void ReadAhead::wake() {
  if (held_.load()) return;
  paused_.store(false);
  event_.set();
}

void ReadAhead::drop_all() {
  for (auto &f : fill_) f.store(0);
  producer_.store(0);
  consumer_.store(0);
  pending_single_.store(0);
}

void ReadAhead::stop_for_seek(State &s) {
  paused_.store(true);
  stop_.store(true);
  wait_while_busy(600);
  stop_.store(false);
  // Under the I/O lock no round can be running; paused keeps the thread
  // from starting one at the old position until the next wake.
  platform::Lock lock(s.io_lock);
  drop_all();
}

// The thread finishes the block it is reading and then sees the stop
// request; the wait ends when its round does, within a bound (a drive that
// hangs is waited for by the I/O lock afterwards, which a round holds).
void ReadAhead::wait_while_busy(uint32_t bound_ms) {
  event_.reset();
  busy_.wait_clear(bound_ms);
  event_.reset();
}

void ReadAhead::stop_for_close(State &s) {
  paused_.store(true);
  stop_.store(true);
  wait_while_busy(1000);
  // A read still running holds the I/O lock; taking it waits for the block
  // to finish, so the thread never keeps a half-filled block.
  platform::Lock lock(s.io_lock);
  drop_all();
  count_ = 1;
  for (int32_t i = 1; i < kMaxReadAheadBlocks; ++i) extra_[i].release();
  event_.reset();
  stop_.store(false);
}

void ReadAhead::startup_fill(State &) {
  if (count_ <= 1) return;
  int32_t threshold = count_;
  for (int round = 0; round < kStartupRounds; ++round) {
    threshold = threshold * 3 / 4;
    if (threshold < 1) threshold = 1;
    event_.set();
    // Sleeps on the thread's notices: the bound stays, the wait ends as
    // soon as the blocks are in.
    std::unique_lock<std::mutex> g(progress_lock_);
    if (progress_.wait_for(g, std::chrono::milliseconds(kStartupRoundMs),
                           [&] { return producer_.load() >= threshold || filled_blocks() >= threshold; }))
      return;
  }
}

int32_t ReadAhead::filled_blocks() const {
  int32_t n = 0;
  for (int32_t i = 0; i < kMaxReadAheadBlocks; ++i) n += fill_[i].load() > 0;
  return n;
}

}  // namespace dravik
