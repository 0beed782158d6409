// The read-ahead block reader: a library-owned thread keeps a small ring of
// 64 KiB source blocks filled ahead of the parser (16 blocks, locked in
// memory, for DVD sources; one prefetched block otherwise) and the parser
// takes them in order. Fill counts and indexes are single words written by
// one side each; the I/O lock covers a whole fill round of the thread and
// every synchronous read of the parser.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/event.h"
#include "platform/page_buffer.h"
#include "platform/thread.h"
#include "platform/wait_flag.h"

namespace dravik {

struct State;

constexpr int32_t kMaxReadAheadBlocks = 16;

class ReadAhead {
 public:
  ReadAhead();
  ~ReadAhead();
  ReadAhead(const ReadAhead &) = delete;
  ReadAhead &operator=(const ReadAhead &) = delete;

  /// 16 for DVD sources, 0 or 1 (single block) otherwise. Starts the
  /// thread on first use and allocates (or releases) the extra blocks.
  void set_count(State &s, int32_t count);
  int32_t count() const { return count_; }
  /// The next block of the source into dst; -> bytes, 0 at the end. Also
  /// reports the source position the block was read from.
  int32_t take(State &s, uint8_t *dst, int64_t *block_pos);
  void wake();
  /// While held, wake() does nothing: the rewind at the end of the opening
  /// analysis leaves the source where the parser stands until the first
  /// read asks for more.
  void hold(bool on) { held_.store(on); }
  /// Before the source moves: the thread finishes the block it reads, then
  /// stays paused until the next wake; everything read ahead is dropped.
  void stop_for_seek(State &s);
  /// Source position of the next block the parser will take: the start of
  /// the oldest block read ahead, or where the source stands when none is.
  int64_t next_position(State &s);
  /// At close: as for a seek, then back to single-block mode.
  void stop_for_close(State &s);
  /// The start-up fill after opening a large DVD source: waits (a bounded
  /// time) until a good part of the blocks is filled.
  void startup_fill(State &s);

  // Observers for tests and the benchmark.
  int32_t filled_blocks() const;
  int32_t producer() const { return producer_.load(); }

 private:
  void run(State &s, const std::atomic<bool> &quit);
  void fill_round(State &s);
  uint8_t *block(int32_t i);
  void drop_all();
  void wait_while_busy(uint32_t bound_ms);

  platform::Event event_{false, false};
  platform::Thread thread_;
  bool started_ = false;
  int32_t count_ = 1;
  std::unique_ptr<uint8_t[]> block0_;
  platform::PageBuffer extra_[kMaxReadAheadBlocks];  // [1..15] used
  std::atomic<int32_t> fill_[kMaxReadAheadBlocks] = {};
  int64_t block_pos_[kMaxReadAheadBlocks] = {};
  std::atomic<int32_t> producer_{0};
  std::atomic<int32_t> consumer_{0};
  std::atomic<int32_t> pending_single_{0};
  platform::WaitFlag busy_;  // a fill round runs
  // Told after each block the thread stores (the start-up fill sleeps on it).
  std::mutex progress_lock_;
  std::condition_variable progress_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> consumer_inside_{false};
  std::atomic<bool> quit_{false};
  std::atomic<bool> held_{false};
};

}  // namespace dravik
