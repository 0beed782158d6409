#include "components/rivenne/capture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace rivenne {

namespace {

constexpr size_t kPacket = 188;
constexpr uint8_t kSync = 0x47;
constexpr size_t kMixWindow = 1 << 20;  // the streams show in the first MiB
constexpr int32_t kKindSystem = 0;
constexpr int32_t kKindCannotOpen = -1;

}  // namespace

int32_t stream_mix(const uint8_t *ts, size_t n) {
  int32_t first_video = -1;
  bool audio = false;
  for (size_t at = 0; at + kPacket <= n; at += kPacket) {
    const uint8_t *p = ts + at;
    if (p[0] != kSync || !(p[1] & 0x40)) continue;  // a PES starts in it
    const uint8_t control = (p[3] >> 4) & 3;
    if (!(control & 1)) continue;  // no payload
    size_t start = 4;
    if (control & 2) start += 1 + p[4];
    if (start + 4 > kPacket) continue;
    const uint8_t *pes = p + start;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1) continue;
    const uint8_t id = pes[3];
    if (id >= 0xE0 && id <= 0xEF && first_video < 0) first_video = id;
    if ((id >= 0xC0 && id <= 0xDF) || id == 0xBD) audio = true;
  }
  if (first_video >= 0 && audio) return first_video == 0xE0 ? 0 : 1;
  if (first_video >= 0) return 3;
  return 2;
}

bool Capture::open() {
  close();
  if (path_.empty()) return false;
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

void Capture::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int32_t Capture::read(void *buf, int32_t len) {
  if (fd_ < 0 || len <= 0) return 0;
  int32_t got = 0;
  while (got < len) {
    const ssize_t r = ::read(fd_, static_cast<uint8_t *>(buf) + got, static_cast<size_t>(len - got));
    if (r <= 0) break;
    got += static_cast<int32_t>(r);
  }
  return got;
}

int64_t Capture::seek(int64_t pos, int32_t origin) {
  if (fd_ < 0) return -1;
  const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  const off_t at = ::lseek(fd_, pos, whence);
  return at < 0 ? -1 : at;
}

int64_t Capture::size() const {
  struct stat st;
  const int ok = fd_ >= 0 ? ::fstat(fd_, &st) : ::stat(path_.c_str(), &st);
  if (ok != 0) return 0;
  return S_ISREG(st.st_mode) ? st.st_size : INT32_MAX;
}

int32_t Capture::kind() const {
  if (fd_ >= 0) return kKindSystem;
  const int fd = path_.empty() ? -1 : ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kKindCannotOpen;
  ::close(fd);
  return kKindSystem;
}

int32_t Capture::mix() const {
  const int fd = path_.empty() ? -1 : ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 2;
  std::vector<uint8_t> head(kMixWindow);
  size_t n = 0;
  while (n < head.size()) {
    const ssize_t r = ::pread(fd, head.data() + n, head.size() - n, static_cast<off_t>(n));
    if (r <= 0) break;
    n += static_cast<size_t>(r);
  }
  ::close(fd);
  // Packets start at the first sync byte.
  size_t first = 0;
  while (first < n && head[first] != kSync) ++first;
  return stream_mix(head.data() + first, n - first);
}

}  // namespace rivenne
