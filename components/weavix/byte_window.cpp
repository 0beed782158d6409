#include "components/weavix/byte_window.h"

#include <cstring>

namespace weavix {

namespace {
constexpr size_t kBlock = 64 * 1024;
}

bool ByteWindow::want(size_t n) {
  while (size() < n && !ended_) {
    // Move the live bytes to the front once the dead part dominates.
    if (begin_ > 0 && begin_ >= size()) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, size());
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() < end_ + kBlock) buffer_.resize(end_ + kBlock);
    const int64_t got = source_.read(buffer_.data() + end_, kBlock);
    if (got < 0) failed_ = true;
    if (got <= 0) {
      ended_ = true;
      break;
    }
    end_ += size_t(got);
  }
  return size() >= n;
}

void ByteWindow::consume(size_t n) {
  if (n > size()) n = size();
  begin_ += n;
  consumed_ += n;
  if (begin_ == end_) begin_ = end_ = 0;
}

size_t find_start_code(const uint8_t *p, size_t n, size_t from) {
  if (n < 3) return n;
  for (size_t i = from; i + 2 < n;) {
    if (p[i + 2] > 1) {
      i += 3;
    } else if (p[i + 2] == 1 && p[i + 1] == 0 && p[i] == 0) {
      return i;
    } else {
      ++i;
    }
  }
  return n;
}

}  // namespace weavix
