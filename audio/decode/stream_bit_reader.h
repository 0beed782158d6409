// Bit reader over the pulled elementary stream.
//
// Bytes arrive in 2,048-byte windows through the read callback. The reader
// keeps the last two windows in a 4,096-byte ring so that the open-time
// probe can step back to the frame it parsed, and a 64-bit cache so that a
// peek of up to 32 bits never needs to look at the ring. Past the end of the
// input it yields zero bits and counts them as overrun, which the frame
// decoders check once per frame.
#pragma once

#include <cstdint>

#include "audio/decode/mpeg_audio_decoder.h"

namespace lunaret {

class StreamBitReader {
 public:
  static constexpr int32_t kWindowBytes = 2048;

  void set_source(ReadFn read, void *ctx) {
    read_ = read;
    ctx_ = ctx;
  }

  /// Forgets everything buffered; the next bit comes from a fresh window.
  /// Clears the end-of-input state.
  void reset();

  /// Next n bits (0..32), most significant first, without consuming them.
  uint32_t peek(int32_t n) {
    if (cache_bits_ < n) fill_cache();
    return n == 0 ? 0u : uint32_t(cache_ >> (64 - n));
  }
  void skip(int32_t n) {
    if (cache_bits_ < n) fill_cache();
    cache_ <<= n;
    cache_bits_ -= n;
  }
  uint32_t read(int32_t n) {
    if (cache_bits_ < n) fill_cache();
    // Two shifts, so that n == 0 gives 0 without shifting by 64.
    const uint32_t v = uint32_t((cache_ >> 1) >> (63 - n));
    cache_ <<= n;
    cache_bits_ -= n;
    return v;
  }
  uint32_t read_bit() { return read(1); }
  /// Skips any number of bits (ancillary data up to a frame's end).
  void skip_bits(int64_t n) {
    for (; n > 32; n -= 32) skip(32);
    if (n > 0) skip(int32_t(n));
  }
  void align_byte() { skip(int32_t(cache_bits_ & 7)); }

  /// Copies n whole bytes (Layer III main data); any bit position works,
  /// byte-aligned ones take the fast path.
  void read_bytes(uint8_t *dst, int32_t n);

  /// A read returned 0: the input has ended (more bits may still be
  /// buffered).
  bool input_ended() const { return ended_; }
  /// Lets the reader ask the source again (the engine clears the flag on a
  /// mode change). Zero bits consumed past the old end are forgotten.
  void clear_input_ended();
  /// Absolute position of the next bit in the stream.
  int64_t bit_position() const { return next_byte_ * 8 - cache_bits_; }
  /// Bits still available before the end of the input (a large value while
  /// the input has not ended).
  int64_t bits_left() const;
  /// True once bits beyond the end of the input have been consumed.
  bool overrun() const { return ended_ && bit_position() > data_end_ * 8; }
  /// Moves back (or forward) to an absolute bit position still held in the
  /// ring. Returns false, leaving the position unchanged, when it is not.
  bool seek_bit(int64_t position);

 private:
  void fill_cache();
  __attribute__((noinline)) void fill_cache_bytes();
  bool load_window();

  ReadFn read_ = nullptr;
  void *ctx_ = nullptr;
  uint64_t cache_ = 0;        // next bits, left-aligned
  int32_t cache_bits_ = 0;    // valid bits in cache_
  int64_t next_byte_ = 0;     // absolute offset of the next byte to cache
  int64_t data_end_ = 0;      // absolute offset one past the last byte read
  int64_t window_start_ = 0;  // absolute offset of the oldest byte held
  bool ended_ = false;
  uint8_t ring_[2 * kWindowBytes] = {};
};

}  // namespace lunaret
