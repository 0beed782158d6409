#include "audio/decode/stream_bit_reader.h"

#include <cstring>

namespace lunaret {

void StreamBitReader::reset() {
  cache_ = 0;
  cache_bits_ = 0;
  next_byte_ = 0;
  data_end_ = 0;
  window_start_ = 0;
  ended_ = false;
}

void StreamBitReader::clear_input_ended() {
  if (!ended_) return;
  int64_t position = bit_position();
  ended_ = false;
  if (next_byte_ > data_end_) {
    // The cache holds zero bytes made up past the old end: drop them.
    if (position > data_end_ * 8) position = data_end_ * 8;
    next_byte_ = position / 8;
    cache_ = 0;
    cache_bits_ = 0;
    int32_t rest = int32_t(position % 8);
    fill_cache();
    skip(rest);
  }
}

int64_t StreamBitReader::bits_left() const {
  if (!ended_) return INT64_MAX / 2;
  int64_t left = data_end_ * 8 - bit_position();
  return left > 0 ? left : 0;
}

// Reads one whole window. A short count is not the end: the media layer
// hands out what its ring holds, so the reader asks again until the window
// is full or a read returns nothing.
bool StreamBitReader::load_window() {
  if (ended_ || read_ == nullptr) {
    ended_ = true;
    return false;
  }
  int32_t offset = int32_t(data_end_ % (2 * kWindowBytes));
  int32_t room = kWindowBytes - int32_t(data_end_ % kWindowBytes);
  int64_t before = data_end_;
  while (room > 0) {
    int32_t got = read_(ctx_, ring_ + offset, room);
    if (got <= 0) {
      ended_ = true;
      break;
    }
    if (got > room) got = room;  // a misbehaving source must not overrun the ring
    offset += got;
    room -= got;
    data_end_ += got;
  }
  // The ring holds two windows: the oldest byte kept is one window back
  // from the start of the window just read.
  int64_t this_window = before - before % kWindowBytes;
  window_start_ = this_window >= kWindowBytes ? this_window - kWindowBytes : 0;
  return data_end_ > before;
}

void StreamBitReader::fill_cache() {
  // Eight bytes in hand and in one piece of the ring: take them in one
  // big-endian load and keep the whole bytes that fit. (Positions are
  // never negative, so the ring offset is a mask.)
  const uint32_t offset = uint32_t(next_byte_) & (2 * kWindowBytes - 1);
  if (next_byte_ + 8 <= data_end_ && offset <= 2 * kWindowBytes - 8 && cache_bits_ <= 56) {
    uint64_t word;
    std::memcpy(&word, ring_ + offset, 8);
    word = __builtin_bswap64(word);
    const int32_t bytes = (64 - cache_bits_) >> 3;
    const int32_t total = cache_bits_ + 8 * bytes;  // 57..64
    cache_ |= (word >> cache_bits_) & (~uint64_t(0) << (64 - total));
    cache_bits_ += 8 * bytes;
    next_byte_ += bytes;
    return;
  }
  fill_cache_bytes();
}

// A byte at a time, across the ring's end, loading windows and making up
// zeros past the end of the input.
void StreamBitReader::fill_cache_bytes() {
  while (cache_bits_ <= 56) {
    uint8_t byte = 0;
    if (next_byte_ < data_end_ || load_window()) byte = ring_[next_byte_ % (2 * kWindowBytes)];
    // Past the end the cache takes zero bytes; bit_position() still counts
    // them so overrun() can tell.
    cache_ |= uint64_t(byte) << (56 - cache_bits_);
    cache_bits_ += 8;
    ++next_byte_;
  }
}

void StreamBitReader::read_bytes(uint8_t *dst, int32_t n) {
  if (cache_bits_ & 7) {
    for (int32_t i = 0; i < n; ++i) dst[i] = uint8_t(read(8));
    return;
  }
  for (; n > 0 && cache_bits_ >= 8; --n) {
    *dst++ = uint8_t(cache_ >> 56);
    cache_ <<= 8;
    cache_bits_ -= 8;
  }
  while (n > 0) {
    if (next_byte_ >= data_end_ && !load_window()) {
      // Past the end: zeros, still counted so that overrun() tells.
      std::memset(dst, 0, size_t(n));
      next_byte_ += n;
      return;
    }
    const int32_t offset = int32_t(next_byte_ % (2 * kWindowBytes));
    int64_t chunk = data_end_ - next_byte_;
    if (chunk > n) chunk = n;
    if (chunk > 2 * kWindowBytes - offset) chunk = 2 * kWindowBytes - offset;
    std::memcpy(dst, ring_ + offset, size_t(chunk));
    dst += chunk;
    next_byte_ += chunk;
    n -= int32_t(chunk);
  }
}

bool StreamBitReader::seek_bit(int64_t position) {
  if (position < window_start_ * 8 || position > data_end_ * 8) return false;
  next_byte_ = position / 8;
  cache_ = 0;
  cache_bits_ = 0;
  int32_t rest = int32_t(position % 8);
  fill_cache();
  skip(rest);
  return true;
}

}  // namespace lunaret
