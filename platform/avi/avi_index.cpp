// The index of every stream: OpenDML indexes, else idx1, and the chunk
// headers for whatever those leave out (no index, a wrong one, a file cut
// short or a second part the index never reached).
#include <algorithm>
#include <cctype>

#include "platform/avi/avi_internal.h"

namespace platform::avi {

namespace {

constexpr uint8_t kIndexOfIndexes = 0;
constexpr uint8_t kIndexOfChunks = 1;
constexpr int64_t kSuperHeader = 24;
constexpr int64_t kChunkIndexHeader = 24;
constexpr uint32_t kNotKeyBit = 0x80000000u;
constexpr uint32_t kIdx1List = 0x1;
constexpr uint32_t kIdx1Key = 0x10;
constexpr int64_t kIdx1Entry = 16;
constexpr uint32_t kPaletteChange = fourcc(0, 0, 'p', 'c') >> 16;

// A scan over the chunk headers reads the file through one window: small
// chunks (sound, small pictures) share a read, a large chunk's header and
// the first bytes judged for its key flag come in one. Where headers lie
// far apart, a short read keeps from copying picture data nobody looks at.
constexpr int64_t kWindowBytes = 64 << 10;
constexpr int64_t kSparseRead = kKeyProbeBytes + 16;

class Window {
 public:
  explicit Window(const File *f) : f_(f), bytes_(size_t(kWindowBytes)) {}

  // -> n bytes at offset (valid until the next call), or nullptr when the
  // file holds fewer.
  const uint8_t *at(int64_t offset, int64_t n) {
    if (offset < 0 || n < 0 || n > kWindowBytes) return nullptr;
    if (offset < start_ || offset + n > start_ + filled_) {
      const int64_t gap = offset - last_;
      const bool dense = gap >= 0 && gap < kWindowBytes / 2;
      start_ = offset;
      filled_ = std::max<int64_t>(
          read_at(f_, offset, bytes_.data(), std::max(n, dense ? kWindowBytes : kSparseRead)), 0);
    }
    last_ = offset;
    return offset + n <= start_ + filled_ ? bytes_.data() + (offset - start_) : nullptr;
  }

 private:
  const File *f_;
  std::vector<uint8_t> bytes_;
  int64_t start_ = 0, filled_ = 0, last_ = -1;
};

bool read_exact(const File *f, int64_t off, void *dst, int64_t n) { return read_at(f, off, dst, n) == n; }

bool printable_id(uint32_t id) {
  for (int i = 0; i < 4; ++i) {
    int c = int((id >> (8 * i)) & 0xFF);
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool is_palette_change(uint32_t id) { return (id >> 16) == kPaletteChange; }

// A stream data chunk of the file: -> its stream, or nullptr.
Stream *data_stream(File *f, uint32_t id) {
  int32_t n = chunk_stream(id);
  if (n < 0 || n >= int32_t(f->all.size()) || is_palette_change(id)) return nullptr;
  return f->all[size_t(n)].get();
}

bool judge_key(Window &w, const Stream &s, int64_t offset, uint32_t size) {
  if (size == 0) return false;
  if (s.header.type != kTypeVideo) return true;
  if (s.intra_only) return true;
  const int64_t n = std::min<int64_t>(size, kKeyProbeBytes);
  const uint8_t *head = w.at(offset, n);
  return head && is_key_frame(s, head, n);
}

// Whether a chunk header of stream s with that size sits at data - 8.
bool chunk_at(const File *f, int64_t data, const Stream &s, uint32_t size) {
  uint8_t h[8];
  if (data < 8 || !read_exact(f, data - 8, h, 8)) return false;
  return chunk_stream(le32(h)) == s.number && le32(h + 4) == size;
}

bool in_file(const File *f, int64_t data, uint32_t size) {
  return data >= 8 && data + int64_t(size) <= f->info.file_size;
}

// One ix## chunk (or an indx that is itself a chunk index) -> false when it
// is unreadable or points outside the file.
bool read_chunk_index(File *f, Stream &s, const uint8_t *head, const uint8_t *entries, int64_t bytes) {
  int64_t stride = int64_t(le16(head)) * 4;
  if (head[3] != kIndexOfChunks || stride < 8) return false;
  int64_t n = std::min<int64_t>(le32(head + 4), bytes / stride);
  uint64_t base = le64(head + 12);
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t *e = entries + i * stride;
    int64_t data = int64_t(base + le32(e));
    uint32_t raw = le32(e + 4), size = raw & ~kNotKeyBit;
    if (!in_file(f, data, size)) return false;
    if (i == 0 && !chunk_at(f, data, s, size)) return false;
    s.index.push_back({data, size, (raw & kNotKeyBit) == 0, 0});
  }
  return true;
}

// -> false when the stream's OpenDML index stopped early.
bool read_super_index(File *f, Stream &s) {
  const std::vector<uint8_t> &x = s.super_index;
  if (x[3] == kIndexOfChunks) {
    return read_chunk_index(f, s, x.data(), x.data() + kChunkIndexHeader,
                            int64_t(x.size()) - kChunkIndexHeader);
  }
  if (x[3] != kIndexOfIndexes || le16(x.data()) != 4) return false;
  int64_t n = std::min<int64_t>(le32(x.data() + 4), (int64_t(x.size()) - kSuperHeader) / 16);
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t *e = x.data() + kSuperHeader + i * 16;
    int64_t at = int64_t(le64(e));
    uint8_t h[8 + kChunkIndexHeader];
    if (at < 0 || !read_exact(f, at, h, sizeof h)) return false;
    int64_t body = std::min<int64_t>(le32(h + 4), f->info.file_size - at - 8) - kChunkIndexHeader;
    if (body < 0) return false;
    std::vector<uint8_t> entries(static_cast<size_t>(body));
    if (!read_exact(f, at + 8 + kChunkIndexHeader, entries.data(), body)) return false;
    if (!read_chunk_index(f, s, h + 8, entries.data(), body)) return false;
  }
  return true;
}

bool read_odml(File *f) {
  bool any = false;
  for (auto &s : f->all) {
    if (s->super_index.size() < size_t(kSuperHeader)) continue;
    any = true;
    read_super_index(f, *s);
  }
  return any;
}

bool read_idx1(File *f) {
  if (f->idx1_offset < 0 || f->movi.empty()) return false;
  int64_t n = f->idx1_size / kIdx1Entry;
  std::vector<uint8_t> x(size_t(n * kIdx1Entry));
  if (n == 0 || !read_exact(f, f->idx1_offset, x.data(), int64_t(x.size()))) return false;
  // Offsets are relative to the 'movi' word or absolute: the first entry
  // of a stream decides which of the two lands on its chunk.
  int64_t base = -1;
  for (int64_t i = 0; i < n && base < 0; ++i) {
    const uint8_t *e = x.data() + i * kIdx1Entry;
    Stream *s = data_stream(f, le32(e));
    if (!s || (le32(e + 4) & kIdx1List)) continue;
    for (int64_t candidate : {f->movi[0].list_start, int64_t(0)})
      if (chunk_at(f, candidate + le32(e + 8) + 8, *s, le32(e + 12))) {
        base = candidate;
        break;
      }
    if (base < 0) return false;
  }
  if (base < 0) return false;
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t *e = x.data() + i * kIdx1Entry;
    Stream *s = data_stream(f, le32(e));
    if (!s || (le32(e + 4) & kIdx1List)) continue;
    int64_t data = base + le32(e + 8) + 8;
    uint32_t size = le32(e + 12);
    if (!in_file(f, data, size)) break;
    s->index.push_back({data, size, (le32(e + 4) & kIdx1Key) != 0, 0});
  }
  return true;
}

int64_t next_chunk(Window &w, int64_t pos, uint32_t size, int64_t end) {
  int64_t next = pos + 8 + int64_t(size);
  if ((size & 1) == 0) return next;
  // Writers that skip the pad byte: keep the position that lands on a header.
  const uint8_t *h = nullptr;
  if (next + 1 + 8 <= end && (h = w.at(next + 1, 4)) && printable_id(le32(h))) return next + 1;
  if (next + 8 <= end && (h = w.at(next, 4)) && printable_id(le32(h))) return next;
  return next + 1;
}

// Adds every data chunk between pos and end that lies past its stream's
// indexed chunks (last[n]); -> chunks added.
int64_t scan_chunks(File *f, int64_t pos, int64_t end, const std::vector<int64_t> &last) {
  int64_t added = 0;
  Window w(f);
  while (pos + 8 <= end) {
    const uint8_t *h = w.at(pos, 8);
    if (!h) break;
    uint32_t id = le32(h), size = le32(h + 4);
    if (id == kList) {
      if (!(h = w.at(pos + 8, 4))) break;
      if (le32(h) == kRec) {
        pos += 12;
        continue;
      }
    } else if (Stream *s = data_stream(f, id)) {
      if (pos + 8 + int64_t(size) > f->info.file_size) break;  // cut last chunk
      if (pos + 8 > last[size_t(s->number)])
        s->index.push_back({pos + 8, size, judge_key(w, *s, pos + 8, size), 0});
      added += pos + 8 > last[size_t(s->number)];
    } else if (!printable_id(id)) {
      break;  // not a chunk header: nothing after it can be trusted
    }
    pos = next_chunk(w, pos, size, end);
  }
  return added;
}

// Chunks after the last indexed one (a cut or unindexed tail).
int64_t complete_tail(File *f) {
  // Each stream's index may stop at a different place (an ix## of one
  // stream lost with the cut): start where the earliest one stopped.
  std::vector<int64_t> last(f->all.size(), 0);
  int64_t from = INT64_MAX;
  for (auto &s : f->all) {
    for (const IndexEntry &e : s->index)
      last[size_t(s->number)] = std::max(last[size_t(s->number)], e.offset);
    if (!s->index.empty()) from = std::min(from, last[size_t(s->number)] - 8);
  }
  if (from == INT64_MAX) from = 0;
  int64_t added = 0;
  for (const MoviRegion &m : f->movi)
    if (m.end > from) added += scan_chunks(f, std::max(from, m.data_start), m.end, last);
  return added;
}

void finish_stream(Stream &s) {
  // Entries from different sources may arrive out of order: by file offset.
  std::stable_sort(s.index.begin(), s.index.end(),
                   [](const IndexEntry &a, const IndexEntry &b) { return a.offset < b.offset; });
  int64_t bytes = 0;
  uint32_t largest = 0;
  s.keys.clear();
  for (size_t i = 0; i < s.index.size(); ++i) {
    IndexEntry &e = s.index[i];
    e.bytes_before = bytes;
    bytes += e.size;
    largest = std::max(largest, e.size);
    if (e.key) s.keys.push_back(int64_t(i));
  }
  s.total_bytes = bytes;
  StreamHeader &h = s.header;
  int64_t samples = h.sample_size == 0 ? int64_t(s.index.size()) : bytes / h.sample_size;
  h.length = uint32_t(std::min<int64_t>(samples, UINT32_MAX - int64_t(h.start)));
  h.suggested_buffer_size = std::max(h.suggested_buffer_size, largest);
}

}  // namespace

void build_index(File *f) {
  FileInfo &info = f->info;
  if (read_odml(f)) {
    info.index_source = IndexSource::odml;
  } else if (read_idx1(f)) {
    info.index_source = IndexSource::idx1;
  } else {
    for (auto &s : f->all) s->index.clear();
    info.index_source = IndexSource::rebuilt;
  }
  int64_t added = complete_tail(f);
  if (added > 0 && info.index_source != IndexSource::rebuilt) info.index_completed = true;
  for (auto &s : f->all) finish_stream(*s);
}

}  // namespace platform::avi
