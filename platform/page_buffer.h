// Page-allocated buffers, locked in memory where the system allows it
// (best effort: an unprivileged process may have a small lock limit).
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class PageBuffer {
 public:
  PageBuffer() = default;
  /// Allocates size bytes (rounded up to whole pages), zero-filled.
  explicit PageBuffer(size_t size, bool lock = true) { allocate(size, lock); }
  ~PageBuffer() { release(); }
  PageBuffer(PageBuffer &&o) noexcept { *this = static_cast<PageBuffer &&>(o); }
  PageBuffer &operator=(PageBuffer &&o) noexcept;
  PageBuffer(const PageBuffer &) = delete;
  PageBuffer &operator=(const PageBuffer &) = delete;

  bool allocate(size_t size, bool lock = true);
  void release();

  uint8_t *data() { return data_; }
  const uint8_t *data() const { return data_; }
  size_t size() const { return size_; }
  bool locked() const { return locked_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  uint8_t *data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;
  bool locked_ = false;
};

}  // namespace platform
