// A sliding window over an input: bytes are read in blocks from a source,
// looked at in place, and consumed from the front. The framers cut units
// out of it without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace weavix {

/// Where input bytes come from: a file or, for the fuzz harness, memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// Up to n bytes into dst; 0 at the end, -1 on a read error.
  virtual int64_t read(uint8_t *dst, size_t n) = 0;
};

class ByteWindow {
 public:
  explicit ByteWindow(ByteSource &source) : source_(source) {}

  /// Reads until at least n bytes are in view or the input ends. False when
  /// fewer than n are in view afterwards.
  bool want(size_t n);
  const uint8_t *data() const { return buffer_.data() + begin_; }
  size_t size() const { return end_ - begin_; }
  /// Drops n bytes (at most size()) from the front.
  void consume(size_t n);
  /// Input ended (or failed) and nothing more will come.
  bool at_end() const { return ended_; }
  bool read_failed() const { return failed_; }
  /// Bytes consumed since the start.
  uint64_t consumed() const { return consumed_; }

 private:
  ByteSource &source_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  uint64_t consumed_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

/// Offset of the next 00 00 01 prefix at or after `from` in [p, p + n), or n.
size_t find_start_code(const uint8_t *p, size_t n, size_t from);

}  // namespace weavix
