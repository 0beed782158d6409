#include "tools/razavori/input_reason.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace razavori_cli {

const char *input_failure_reason(const char *path) {
  if (!path) return std::strerror(EINVAL);
  struct stat st {};
  if (::stat(path, &st) != 0) {
    // A mapped drive's path ("V:/MPEGAV/AVSEQ01.DAT") is no file here: the
    // cause lies with the drive or the disc, not with the file system.
    const bool drive_form = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':';
    return drive_form ? nullptr : std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  // The media layer reads only files and disc devices: what has no end or
  // no size (a FIFO, a socket, a character device) is not read at all.
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return "not a file or a disc device";
  // Without blocking: the checks above leave only files and block devices.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return nullptr;
}

void report_input_failure(const char *command, const char *path, const char *otherwise) {
  const char *reason = input_failure_reason(path);
  std::fprintf(stderr, "razavori %s: %s: %s\n", command, path ? path : "", reason ? reason : otherwise);
}

}  // namespace razavori_cli
