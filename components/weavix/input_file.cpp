#include "components/weavix/input_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "components/weavix/audio_framer.h"

namespace weavix {

StreamKind recognise_stream(const uint8_t *p, size_t n, bool whole_input) {
  size_t video_at = n;
  for (size_t at = 0; (at = find_start_code(p, n, at)) + 3 < n; ++at) {
    if (p[at + 3] == 0xB3) {
      video_at = at;
      break;
    }
  }
  size_t audio_at = n;
  for (size_t at = 0; at + 4 <= n && at < video_at; ++at) {
    AudioHeader first, second;
    if (!parse_audio_header(p + at, first)) continue;
    const size_t next = at + size_t(first.bytes);
    if ((whole_input && next == n) ||
        (next + 4 <= n && parse_audio_header(p + next, second) && second.id == first.id &&
         second.layer == first.layer && second.sampling_index == first.sampling_index)) {
      audio_at = at;
      break;
    }
  }
  if (video_at < audio_at) return StreamKind::video;
  if (audio_at < n) return StreamKind::audio;
  return StreamKind::unknown;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void InputFile::open(const char *path) {
  kind_ = StreamKind::absent;
  if (!path || !*path) return;
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return;
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    kind_ = StreamKind::unknown;
    return;
  }
  size_ = uint64_t(st.st_size);
  if (size_ == 0) return;
  std::vector<uint8_t> head(std::min<uint64_t>(size_, kRecognitionBytes));
  const int64_t got = read(head.data(), head.size());
  kind_ = got > 0 ? recognise_stream(head.data(), size_t(got), uint64_t(got) == size_) : StreamKind::unknown;
  rewind();
}

void InputFile::rewind() {
  if (fd_ >= 0) ::lseek(fd_, 0, SEEK_SET);
}

int64_t InputFile::read(uint8_t *dst, size_t n) {
  if (fd_ < 0) return -1;
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::read(fd_, dst + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? int64_t(done) : -1;
    }
    if (r == 0) break;
    done += size_t(r);
  }
  return int64_t(done);
}

int64_t MemorySource::read(uint8_t *dst, size_t n) {
  const size_t take = std::min(n, size_ - at_);
  if (take) std::memcpy(dst, data_ + at_, take);
  at_ += take;
  return int64_t(take);
}

}  // namespace weavix
