#include "platform/file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int file_open(const char *path, OpenMode mode) {
  if (!path) return -1;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::read:
      flags |= O_RDONLY;
      break;
    case OpenMode::write:
      flags |= O_WRONLY;
      break;
    case OpenMode::read_write:
      flags |= O_RDWR;
      break;
  }
  // Not blocking in the open itself: a FIFO without a writer would wait
  // there forever. Only files and block devices (disc drives) have an end
  // and a size; folders, FIFOs, sockets and character devices are refused.
  int fd = ::open(path, flags | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  const bool known = fstat(fd, &st) == 0;
  if (!known || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    const int reason = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    ::close(fd);
    errno = reason;
    return -1;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status != -1) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

int file_create(const char *path) {
  if (!path) return -1;
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd < 0 ? -1 : fd;
}

int32_t file_read(int fd, void *buf, int32_t len) {
  if (fd < 0 || len < 0 || (!buf && len)) return -1;
  auto *p = static_cast<unsigned char *>(buf);
  int32_t done = 0;
  while (done < len) {
    ssize_t n = ::read(fd, p + done, size_t(len - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done ? done : -1;
    }
    if (n == 0) break;
    done += int32_t(n);
  }
  return done;
}

int32_t file_write(int fd, const void *buf, int32_t len) {
  if (fd < 0 || len < 0 || (!buf && len)) return -1;
  auto *p = static_cast<const unsigned char *>(buf);
  int32_t done = 0;
  while (done < len) {
    ssize_t n = ::write(fd, p + done, size_t(len - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += int32_t(n);
  }
  return done;
}

int32_t file_write_at(int fd, int64_t offset, const void *buf, int32_t len) {
  if (fd < 0 || offset < 0 || len < 0 || (!buf && len)) return -1;
  auto *p = static_cast<const unsigned char *>(buf);
  int32_t done = 0;
  while (done < len) {
    ssize_t n = ::pwrite(fd, p + done, size_t(len - done), off_t(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += int32_t(n);
  }
  return done;
}

bool file_truncate(int fd, int64_t size) { return fd >= 0 && size >= 0 && ::ftruncate(fd, off_t(size)) == 0; }

int64_t file_seek(int fd, int64_t offset, int origin) {
  if (fd < 0 || origin < 0 || origin > 2) return -1;
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(fd, off_t(offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

int64_t file_size(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return -1;
  if (S_ISBLK(st.st_mode)) {
    // A disc device reports no size through stat; ask the block layer.
    uint64_t bytes = 0;
    return ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? int64_t(bytes) : -1;
  }
  return int64_t(st.st_size);
}

int64_t file_size(const char *path) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

void file_close(int fd) {
  if (fd >= 0) ::close(fd);
}

bool file_exists(const char *path) {
  struct stat st;
  return path && ::stat(path, &st) == 0;
}

bool file_remove(const char *path) { return path && ::unlink(path) == 0; }

bool file_is_same(const char *path, int fd) {
  struct stat a, b;
  if (!path || fd < 0 || ::stat(path, &a) != 0 || fstat(fd, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace platform
