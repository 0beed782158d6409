#include "media/demux/clock_span.h"

#include <cstring>
#include <memory>

#include "media/demux/pack_parser.h"
#include "platform/file.h"

namespace {

constexpr int32_t kEndBytes = 0x10000;
constexpr uint8_t kPackStartCode[4] = {0x00, 0x00, 0x01, 0xBA};
constexpr int32_t kPackHeaderBytes = 14;

// Offset in b of the first (or last) pack header wholly inside n bytes,
// or -1.
int32_t find_pack(const uint8_t *b, int32_t n, bool last) {
  int32_t found = -1;
  for (int32_t i = 0; i + kPackHeaderBytes <= n;) {
    const void *hit = memmem(b + i, static_cast<size_t>(n - i), kPackStartCode, 4);
    if (!hit) break;
    const int32_t at = static_cast<int32_t>(static_cast<const uint8_t *>(hit) - b);
    if (at + kPackHeaderBytes > n) break;
    found = at;
    if (!last) break;
    i = at + 4;
  }
  return found;
}

struct FileCloser {
  int fd;
  ~FileCloser() { platform::file_close(fd); }
};

}  // namespace

extern "C" DRAVIK_API int32_t DravikGetClockSpan(const char *path, DravikClockSpan *span) {
  if (!span) return 0;
  *span = DravikClockSpan{};
  const int fd = platform::file_open(path);
  if (fd < 0) return 0;
  FileCloser closer{fd};
  const int64_t size = platform::file_size(fd);
  if (size < kPackHeaderBytes) return 0;
  auto buf = std::make_unique<uint8_t[]>(kEndBytes);
  const int32_t head = platform::file_read(fd, buf.get(), kEndBytes);
  const int32_t first = head > 0 ? find_pack(buf.get(), head, false) : -1;
  if (first < 0) return 0;
  span->first_offset = first;
  span->first_scr_half = dravik::pack_scr_half(buf.get() + first);

  const int64_t tail_at = size > kEndBytes ? size - kEndBytes : 0;
  if (platform::file_seek(fd, tail_at, 0) != tail_at) return 0;
  const int32_t tail = platform::file_read(fd, buf.get(), kEndBytes);
  const int32_t last = tail > 0 ? find_pack(buf.get(), tail, true) : -1;
  if (last < 0) return 0;
  span->last_offset = tail_at + last;
  span->last_scr_half = dravik::pack_scr_half(buf.get() + last);
  return span->last_offset > span->first_offset && span->last_scr_half > span->first_scr_half ? 1 : 0;
}
