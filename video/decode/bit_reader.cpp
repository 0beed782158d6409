// Buffer refill and the start-code search of the bit reader.
#include "video/decode/bit_reader.h"

namespace kestrum {

void BitReader::refill() {
  // Pull until the buffer is full or the source reports the end: a short
  // read in the middle of a stream is not the end of it.
  uint8_t bytes[kWords * 4];
  int32_t have = 0;
  if (read_ != nullptr) {
    while (have < int32_t(sizeof bytes)) {
      const int32_t got = read_(ctx_, bytes + have, int32_t(sizeof bytes) - have);
      if (got <= 0 || got > int32_t(sizeof bytes) - have) break;
      have += got;
    }
  }
  if (have == 0) end_of_data_ = true;
  // A trailing partial word keeps its bytes; the rest reads as zeros.
  std::memset(bytes + have, 0, sizeof bytes - size_t(have));
  for (int i = 0; i < kWords; ++i) {
    const uint8_t *b = bytes + 4 * i;
    words_[i] = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  }
}

bool BitReader::next_start_code() {
  ensure_loaded();
  if (bit_pos_ & 7) skip(8 - (bit_pos_ & 7));
  if (peek(24) == kStartCodePrefix) return true;
  if (restart_) {
    // The buffer was refilled behind the reader's back (a seek): start over
    // from the current buffer word.
    restart_ = false;
    bit_pos_ = 0;
    cur_ = words_[word_index_];
    next_ = words_[(word_index_ + 1) & (kWords - 1)];
    window_ = (uint64_t(cur_) << 32) | next_;
  }
  for (;;) {
    if (end_of_data_) return false;
    // A prefix starts with a zero byte: a word without one is passed whole.
    if (bit_pos_ == 0 && ((cur_ - 0x01010101u) & ~cur_ & 0x80808080u) == 0) {
      skip(32);
      if (peek(24) == kStartCodePrefix) return true;
      continue;
    }
    skip(8);
    if (peek(24) == kStartCodePrefix) return true;
  }
}

}  // namespace kestrum
