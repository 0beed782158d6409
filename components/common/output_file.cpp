#include "components/common/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace component_io {

namespace {

constexpr size_t kBufferSize = 256 * 1024;

bool write_all(int fd, const uint8_t *p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::create(const char *path) {
  discard();
  if (!path || !*path) return false;
  fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  path_ = path;
  final_path_.clear();
  ok_ = true;
  used_ = 0;
  written_ = 0;
  buffer_.resize(kBufferSize);
  return true;
}

bool OutputFile::create_beside(const char *final_path) {
  discard();
  if (!final_path || !*final_path) return false;
  std::string tmp = final_path;
  tmp += ".partXXXXXX";
  fd_ = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd_ < 0) return false;
  // mkstemp makes the file private; the final file gets the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  path_ = tmp;
  final_path_ = final_path;
  ok_ = true;
  used_ = 0;
  written_ = 0;
  buffer_.resize(kBufferSize);
  return true;
}

bool OutputFile::flush() {
  if (!ok_) return false;
  if (used_ > 0 && !write_all(fd_, buffer_.data(), used_)) ok_ = false;
  used_ = 0;
  return ok_;
}

bool OutputFile::write(const void *data, size_t size) {
  if (fd_ < 0 || !ok_) return false;
  if (size > 0 && !data) return false;
  const auto *p = static_cast<const uint8_t *>(data);
  written_ += size;
  if (used_ + size > buffer_.size()) {
    if (!flush()) return false;
    if (size >= buffer_.size()) {
      if (!write_all(fd_, p, size)) ok_ = false;
      return ok_;
    }
  }
  std::memcpy(buffer_.data() + used_, p, size);
  used_ += size;
  return true;
}

bool OutputFile::commit() {
  if (fd_ < 0) return false;
  bool ok = flush();
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  if (ok && !final_path_.empty() && ::rename(path_.c_str(), final_path_.c_str()) != 0) ok = false;
  if (!ok && !final_path_.empty()) ::unlink(path_.c_str());
  path_.clear();
  final_path_.clear();
  buffer_ = {};
  return ok;
}

void OutputFile::discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(path_.c_str());
  path_.clear();
  final_path_.clear();
  buffer_ = {};
}

}  // namespace component_io
