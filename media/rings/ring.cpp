#include "media/rings/ring.h"

#include <cstring>
#include <new>

namespace dravik {

Ring::Ring(uint32_t size)
    : size_(size), mask_(size - 1), data_(static_cast<uint8_t *>(std::calloc(size, 1))) {
  if (!data_) throw std::bad_alloc();
}

void Ring::write(const uint8_t *src, uint32_t n) {
  uint32_t w = write_index();
  while (n) {
    uint32_t run = size_ - w < n ? size_ - w : n;
    std::memcpy(data_.get() + w, src, run);
    src += run;
    n -= run;
    w = (w + run) & mask_;
  }
  write_.store(w, std::memory_order_release);
}

void Ring::peek(uint8_t *dst, uint32_t n) const {
  uint32_t r = read_index();
  while (n) {
    uint32_t run = size_ - r < n ? size_ - r : n;
    std::memcpy(dst, data_.get() + r, run);
    dst += run;
    n -= run;
    r = (r + run) & mask_;
  }
}

void Ring::read(uint8_t *dst, uint32_t n) {
  peek(dst, n);
  read_.store((read_index() + n) & mask_, std::memory_order_release);
}

void Ring::zero_front(uint32_t n) {
  uint32_t r = read_index();
  while (n) {
    uint32_t run = size_ - r < n ? size_ - r : n;
    std::memset(data_.get() + r, 0, run);
    n -= run;
    r = (r + run) & mask_;
  }
}

void Ring::clear() {
  write_.store(0, std::memory_order_release);
  read_.store(0, std::memory_order_release);
}

int64_t Ring::find_picture_or_end() const {
  const uint32_t r = read_index();
  const uint32_t avail = available();
  if (avail < 4) return -1;
  const uint8_t *d = data_.get();
  // Look for the 01 of a start code prefix with memchr over the contiguous
  // stretches, then check the bytes around it (they may straddle the wrap).
  uint32_t i = 2;                   // offset (from r) of the candidate 01 byte
  const uint32_t last = avail - 1;  // the code byte must lie before write
  while (i < last) {
    uint32_t pos = (r + i) & mask_;
    uint32_t run = size_ - pos;
    if (run > last - i) run = last - i;
    const void *hit = std::memchr(d + pos, 0x01, run);
    if (!hit) {
      i += run;
      continue;
    }
    uint32_t off = i + static_cast<uint32_t>(static_cast<const uint8_t *>(hit) - (d + pos));
    if (at(r + off - 1) == 0 && at(r + off - 2) == 0) {
      uint8_t code = at(r + off + 1);
      if (code == 0x00) return (r + off - 2) & mask_;
      if (code == 0xB7) return (r + off + 2) & mask_;
    }
    i = off + 1;
  }
  return -1;
}

}  // namespace dravik
