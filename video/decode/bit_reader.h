// Bit reader over the video elementary stream.
//
// The input buffer holds 4096 big-endian 32-bit words (16 KiB), filled by
// one pull of 16384 bytes. The reader looks at a 64-bit window made of the
// current and the next buffer word; bit_pos_ (0..31) counts the bits already
// consumed of the current word, so any peek of up to 32 bits is served from
// the window without a bounds check. When the word after the next one would
// be the last of the buffer, the whole buffer is refilled at once: the word
// about to be needed is already held in next_.
//
// Past the end of the data the buffer reads as zeros and end_of_data() is
// set; zeros never form a start code, so every search stops there.
#pragma once

#include <cstdint>
#include <cstring>

#include "video/decode/decoder.h"

namespace kestrum {

class BitReader {
 public:
  static constexpr int kWords = 4096;
  static constexpr int kRefillIndex = kWords - 1;
  static constexpr uint32_t kStartCodePrefix = 0x000001;

  void set_source(ReadVideoFn read, void *ctx) {
    read_ = read;
    ctx_ = ctx;
    reset();
  }

  /// Empties the buffer; the next ensure_loaded() pulls fresh data.
  void reset() {
    loaded_ = false;
    end_of_data_ = false;
    restart_ = false;
    bit_pos_ = 0;
    word_index_ = 0;
    cur_ = next_ = 0;
    window_ = 0;
  }
  void set_restart() { restart_ = true; }
  bool end_of_data() const { return end_of_data_; }

  /// Fills the buffer and loads the first two words if the reader is empty.
  void ensure_loaded() {
    if (!loaded_) {
      refill();
      loaded_ = true;
      word_index_ = 0;
      bit_pos_ = 0;
      cur_ = words_[0];
      next_ = words_[1];
      window_ = (uint64_t(cur_) << 32) | next_;
    }
  }

  /// The next n bits (1..32) without consuming them.
  uint32_t peek(int n) const { return uint32_t((window_ << bit_pos_) >> (64 - n)); }
  /// The next 32 bits, left-aligned.
  uint32_t peek_left() const { return uint32_t((window_ << bit_pos_) >> 32); }
  void skip(int n) {
    bit_pos_ += n;
    if (bit_pos_ >= 32) {
      bit_pos_ -= 32;
      advance();
    }
  }
  uint32_t get(int n) {
    const uint32_t v = peek(n);
    skip(n);
    return v;
  }
  uint32_t get1() { return get(1); }
  /// get(n) for n that may be 0.
  uint32_t get_maybe0(int n) { return n ? get(n) : 0; }

  /// Hot loops keep the window and the position in locals (registers) and
  /// hand them back with commit(): a copy of the reader's view, valid while
  /// pos stays below 32 plus the bits of one code.
  struct Cursor {
    uint64_t window;
    int pos;
    /// The next 32 bits, left-aligned.
    uint32_t peek_left() const { return uint32_t((window << pos) >> 32); }
  };
  Cursor cursor() const { return {window_, bit_pos_}; }
  /// Takes the cursor's position back; when a whole word was used up the
  /// reader advances and the cursor follows. Call after each code (codes
  /// are at most 32 bits).
  void commit(Cursor &k) {
    bit_pos_ = k.pos;
    if (bit_pos_ >= 32) {
      bit_pos_ -= 32;
      advance();
      k.window = window_;
      k.pos = bit_pos_;
    }
  }

  bool byte_aligned() const { return (bit_pos_ & 7) == 0; }

  /// Byte-aligns and advances to the next 0x000001 prefix. Returns false when
  /// the end of the data was reached without one.
  bool next_start_code();

  /// The next 32 bits as a start code value (0x000001xx) if the reader stands
  /// at a prefix; callers check the prefix with at_start_code().
  bool at_start_code() const { return peek(24) == kStartCodePrefix; }

  /// Bytes consumed since the last reset (for tests and diagnostics).
  int64_t position_bits() const { return words_consumed_ * 32 + bit_pos_; }

 private:
  void advance() {
    cur_ = next_;
    word_index_ = (word_index_ + 1) & (kWords - 1);
    const int following = (word_index_ + 1) & (kWords - 1);
    next_ = words_[following];
    window_ = (uint64_t(cur_) << 32) | next_;
    ++words_consumed_;
    if (following == kRefillIndex) refill();
  }
  void refill();

  ReadVideoFn read_ = nullptr;
  void *ctx_ = nullptr;
  uint32_t cur_ = 0;
  uint32_t next_ = 0;
  uint64_t window_ = 0;  // cur_ and next_ joined
  int bit_pos_ = 0;
  int word_index_ = 0;
  bool loaded_ = false;
  bool end_of_data_ = false;
  bool restart_ = false;
  int64_t words_consumed_ = 0;
  uint32_t words_[kWords] = {};
};

}  // namespace kestrum
