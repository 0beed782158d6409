// Stream calls: headers, format bytes, sample reads, key-frame search and
// sample/time conversion. Sample numbers count chunks when the sample size
// is 0, else bytes / sample size; both begin at the stream's dwStart.
#include <algorithm>

#include "platform/avi/avi_internal.h"

namespace platform::avi {

namespace {

constexpr int32_t kBitCountOffset = 14;
constexpr int32_t kClrUsedOffset = 32;
constexpr int32_t kCbSizeOffset = 16;
constexpr int32_t kPaletteEntryBytes = 4;

void put16(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// Rounds a * b / c to the nearest, in 128 bits.
int64_t mul_div(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  __int128 n = __int128(a) * b;
  __int128 q = (n >= 0 ? n + c / 2 : n - c / 2) / c;
  if (q > INT64_MAX) return INT64_MAX;
  if (q < INT64_MIN) return INT64_MIN;
  return int64_t(q);
}

// The entry holding byte `at` of the stream.
size_t entry_at_byte(const Stream *s, int64_t at) {
  auto it = std::upper_bound(s->index.begin(), s->index.end(), at,
                             [](int64_t v, const IndexEntry &e) { return v < e.bytes_before; });
  size_t i = size_t(it - s->index.begin());
  i = i == 0 ? 0 : i - 1;
  // Skip empty chunks that share the byte position.
  while (i + 1 < s->index.size() && s->index[i].size == 0) ++i;
  return i;
}

}  // namespace

const StreamHeader &stream_header(const Stream *s) { return s->header; }
int32_t stream_number(const Stream *s) { return s->number; }
int64_t stream_start(const Stream *s) { return s->header.start; }
int64_t stream_end(const Stream *s) { return int64_t(s->header.start) + s->header.length; }
const char *stream_name(const Stream *s) { return s->name.c_str(); }
const std::vector<IndexEntry> &stream_index(const Stream *s) { return s->index; }
const std::vector<uint8_t> &format(const Stream *s) { return s->format; }
int64_t key_count(const Stream *s) { return int64_t(s->keys.size()); }

int32_t read_format(const Stream *s, void *dst, int32_t cap) {
  const std::vector<uint8_t> &f = s->format;
  const bool video = s->header.type == kTypeVideo;
  const int32_t minimum = video ? kBitmapHeaderBytes : kWaveFormatBytes;
  const int32_t size = std::max<int32_t>(int32_t(f.size()), minimum);
  if (!dst) return size;
  if (cap < size) return size;
  auto *out = static_cast<uint8_t *>(dst);
  std::fill(out, out + size, 0);
  std::copy(f.begin(), f.end(), out);
  const int32_t extra = int32_t(f.size()) - minimum;
  if (video) {
    // A palette longer than the bytes present is cut to them.
    uint32_t bits = le16(out + kBitCountOffset), used = le32(out + kClrUsedOffset);
    uint32_t listed = used != 0 ? used : bits <= 8 ? 1u << bits : 0;
    uint32_t present = uint32_t(std::max(extra, 0)) / kPaletteEntryBytes;
    if (listed > present) put32(out + kClrUsedOffset, bits <= 8 || used != 0 ? present : 0);
    if (le32(out) < uint32_t(kBitmapHeaderBytes)) put32(out, kBitmapHeaderBytes);
  } else {
    uint32_t cb = int32_t(f.size()) >= minimum ? le16(out + kCbSizeOffset) : 0;
    put16(out + kCbSizeOffset, std::min<uint32_t>(cb, uint32_t(std::max(extra, 0))));
  }
  return size;
}

int32_t read(const Stream *s, int64_t start, int32_t samples, void *dst, int32_t cap, int32_t *bytes,
             int32_t *samples_read) {
  if (bytes) *bytes = 0;
  if (samples_read) *samples_read = 0;
  const int64_t first = stream_start(s), end = stream_end(s);
  if (start < first || start >= end || cap < 0 || (samples < 1 && samples != kReadConvenient)) return -1;
  const uint32_t ss = s->header.sample_size;
  auto *out = static_cast<uint8_t *>(dst);
  if (ss == 0) {
    const IndexEntry &e = s->index[size_t(start - first)];
    if (e.size > uint32_t(INT32_MAX)) return -1;
    if (bytes) *bytes = int32_t(e.size);
    if (samples_read) *samples_read = 1;
    if (!dst) return 0;
    if (int64_t(e.size) > cap) return -1;
    return read_at(s->file, e.offset, out, e.size) == int64_t(e.size) ? 0 : -1;
  }
  int64_t want = samples == kReadConvenient ? cap / ss : samples;
  want = std::min(want, end - start);
  if (dst) want = std::min<int64_t>(want, cap / ss);
  if (want <= 0) return -1;
  int64_t at = (start - first) * ss, left = want * ss;
  if (dst) {
    size_t i = entry_at_byte(s, at);
    int64_t done = 0;
    while (left > 0 && i < s->index.size()) {
      const IndexEntry &e = s->index[i++];
      int64_t skip = at - e.bytes_before, n = std::min<int64_t>(int64_t(e.size) - skip, left);
      if (n <= 0) continue;
      if (read_at(s->file, e.offset + skip, out + done, n) != n) return -1;
      done += n;
      at += n;
      left -= n;
    }
    want = done / ss;
  }
  if (bytes) *bytes = int32_t(want * ss);
  if (samples_read) *samples_read = int32_t(want);
  return want > 0 ? 0 : -1;
}

int64_t find_sample(const Stream *s, int64_t pos, int32_t flags) {
  const int64_t first = stream_start(s), end = stream_end(s);
  if (end <= first) return -1;
  const bool next = (flags & kFindNext) != 0;
  if (s->header.sample_size != 0 || !(flags & kFindKey)) {
    if (pos < first) return next ? first : -1;
    if (pos >= end) return next ? -1 : end - 1;
    return pos;
  }
  const int64_t entry = pos - first;
  if (next) {
    auto it = std::lower_bound(s->keys.begin(), s->keys.end(), entry);
    return it == s->keys.end() ? -1 : first + *it;
  }
  auto it = std::upper_bound(s->keys.begin(), s->keys.end(), entry);
  return it == s->keys.begin() ? -1 : first + *(it - 1);
}

int64_t sample_to_time(const Stream *s, int64_t sample) {
  return mul_div(sample, int64_t(s->header.scale) * 1000, s->header.rate);
}

int64_t time_to_sample(const Stream *s, int64_t ms) {
  return mul_div(ms, s->header.rate, int64_t(s->header.scale) * 1000);
}

}  // namespace platform::avi
