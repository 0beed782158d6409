#include "platform/page_buffer.h"

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {
// Straight to the kernel: sanitizer run-times replace mlock with a call
// that does nothing yet reports success, which would make locked() lie.
bool lock_pages(void *p, size_t len) { return syscall(SYS_mlock, p, len) == 0; }
void unlock_pages(void *p, size_t len) { syscall(SYS_munlock, p, len); }
}  // namespace

PageBuffer &PageBuffer::operator=(PageBuffer &&o) noexcept {
  if (this != &o) {
    release();
    data_ = o.data_;
    size_ = o.size_;
    mapped_ = o.mapped_;
    locked_ = o.locked_;
    o.data_ = nullptr;
    o.size_ = o.mapped_ = 0;
    o.locked_ = false;
  }
  return *this;
}

bool PageBuffer::allocate(size_t size, bool lock) {
  release();
  if (size == 0) return false;
  size_t page = size_t(sysconf(_SC_PAGESIZE));
  size_t mapped = (size + page - 1) / page * page;
  void *p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<uint8_t *>(p);
  size_ = size;
  mapped_ = mapped;
  locked_ = lock && lock_pages(p, mapped);
  return true;
}

void PageBuffer::release() {
  if (!data_) return;
  if (locked_) unlock_pages(data_, mapped_);
  munmap(data_, mapped_);
  data_ = nullptr;
  size_ = mapped_ = 0;
  locked_ = false;
}

}  // namespace platform
