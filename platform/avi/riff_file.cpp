// Opening: the walk over the RIFF parts and their top-level chunks, the
// header list, and the release.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/avi/avi_internal.h"
#include "platform/file.h"

namespace platform::avi {

int64_t read_at(const File *file, int64_t offset, void *dst, int64_t n) {
  if (offset < 0 || n < 0) return -1;
  auto *out = static_cast<uint8_t *>(dst);
  int64_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(file->fd, out + done, size_t(n - done), off_t(offset + done));
    if (r < 0) return -1;
    if (r == 0) break;
    done += r;
  }
  return done;
}

namespace {

bool read_exact(const File *file, int64_t offset, void *dst, int64_t n) {
  return read_at(file, offset, dst, n) == n;
}

// Reads and parses the header list whose data starts at pos (after 'hdrl').
bool load_header_list(File *file, int64_t pos, int64_t end) {
  int64_t size = std::min(end - pos, kMaxHeaderList);
  if (size <= 0) return false;
  std::vector<uint8_t> bytes(size_t(size), 0);
  if (!read_exact(file, pos, bytes.data(), size)) return false;
  parse_header_list(file, bytes.data(), size);
  return true;
}

// Walks the chunks of one RIFF part between pos and end.
bool walk_part(File *file, int64_t pos, int64_t end, bool first) {
  bool have_header = !first;
  while (pos + 8 <= end) {
    uint8_t h[12];
    if (!read_exact(file, pos, h, 8)) break;
    uint32_t id = le32(h), size = le32(h + 4);
    int64_t body_end = std::min(pos + 8 + int64_t(size), end);
    if (id == kList && pos + 12 <= end && read_exact(file, pos + 8, h + 8, 4)) {
      uint32_t type = le32(h + 8);
      // An unfinished writer leaves a movi size of 0: the list runs on.
      if (type == kMovi) {
        if (size < 4) body_end = end;
        file->movi.push_back({pos + 8, pos + 12, body_end});
      } else if (type == kHdrl && first && !have_header) {
        have_header = load_header_list(file, pos + 12, body_end);
        if (!have_header) return false;
      }
    } else if (id == kIdx1 && first && file->idx1_offset < 0) {
      file->idx1_offset = pos + 8;
      file->idx1_size = uint32_t(body_end - (pos + 8));
    }
    if (first && !have_header) return false;  // the header list comes first
    int64_t next = pos + 8 + int64_t(size) + (size & 1);
    if (next <= pos) break;
    pos = next;
  }
  return have_header;
}

}  // namespace

File *open(const char *path, OpenDepth depth) {
  int fd = platform::file_open(path);
  if (fd < 0) return nullptr;
  auto file = std::make_unique<File>();
  file->fd = fd;
  file->info.file_size = platform::file_size(fd);
  const int64_t file_size = file->info.file_size;
  int64_t pos = 0;
  while (pos + 12 <= file_size) {
    uint8_t h[12];
    if (!read_exact(file.get(), pos, h, 12) || le32(h) != kRiff) break;
    const bool first = file->info.riffs == 0;
    uint32_t type = le32(h + 8), size = le32(h + 4);
    if (first ? type != kAvi : type != kAvix) break;
    int64_t end = size < 4 ? file_size : std::min(pos + 8 + int64_t(size), file_size);
    if (!walk_part(file.get(), pos + 12, end, first)) {
      if (first) {
        release(file.release());
        return nullptr;
      }
      break;
    }
    ++file->info.riffs;
    if (depth == OpenDepth::headers) break;
    int64_t next = pos + 8 + int64_t(size) + (size & 1);
    if (size < 4 || next <= pos) break;
    pos = next;
  }
  if (file->info.riffs == 0) {
    release(file.release());
    return nullptr;
  }
  if (depth == OpenDepth::full) build_index(file.get());
  for (auto &s : file->all)
    if (s->header.rate != 0 && s->header.scale != 0) file->kept.push_back(s.get());
  file->info.streams = int32_t(file->kept.size());
  return file.release();
}

void release(File *file) {
  if (!file) return;
  if (file->fd >= 0) platform::file_close(file->fd);
  delete file;
}

const FileInfo &file_info(const File *file) { return file->info; }
int32_t stream_count(const File *file) { return file->info.streams; }
Stream *stream(const File *file, int32_t i) {
  if (!file || i < 0 || i >= int32_t(file->kept.size())) return nullptr;
  return file->kept[size_t(i)];
}
const File *stream_file(const Stream *s) { return s->file; }

const char *index_source_name(IndexSource source) {
  switch (source) {
    case IndexSource::odml:
      return "OpenDML indx";
    case IndexSource::idx1:
      return "idx1";
    case IndexSource::rebuilt:
      return "rebuilt";
    default:
      return "none";
  }
}

}  // namespace platform::avi
