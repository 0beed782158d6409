// The header list: avih, and per stream strh, strf, strn and indx.
#include <algorithm>

#include "platform/avi/avi_internal.h"

namespace platform::avi {

namespace {

constexpr uint32_t kAvih = fourcc('a', 'v', 'i', 'h');
constexpr uint32_t kStrl = fourcc('s', 't', 'r', 'l');
constexpr uint32_t kStrh = fourcc('s', 't', 'r', 'h');
constexpr uint32_t kStrf = fourcc('s', 't', 'r', 'f');
constexpr uint32_t kStrn = fourcc('s', 't', 'r', 'n');
constexpr uint32_t kIndx = fourcc('i', 'n', 'd', 'x');
constexpr uint32_t kMaxStreams = 100;  // chunk ids carry two decimal digits

// Copies up to n little-endian words of a chunk into fields, zero beyond.
void read_words(const uint8_t *p, int64_t size, uint32_t *fields, int n) {
  for (int i = 0; i < n; ++i) fields[i] = (i + 1) * 4 <= size ? le32(p + i * 4) : 0;
}

void parse_main(MainHeader &m, const uint8_t *p, int64_t size) {
  uint32_t w[10];
  read_words(p, size, w, 10);
  m = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9]};
}

void parse_stream_header(StreamHeader &h, const uint8_t *p, int64_t size) {
  auto w = [&](int off) { return off + 4 <= size ? le32(p + off) : 0u; };
  auto hw = [&](int off) { return off + 2 <= size ? le16(p + off) : uint16_t(0); };
  h.type = w(0);
  h.handler = w(4);
  h.flags = w(8);
  h.priority = hw(12);
  h.language = hw(14);
  h.initial_frames = w(16);
  h.scale = w(20);
  h.rate = w(24);
  h.start = w(28);
  h.length = w(32);
  h.suggested_buffer_size = w(36);
  h.quality = w(40);
  h.sample_size = w(44);
  for (int i = 0; i < 4; ++i) h.frame[i] = int16_t(hw(48 + i * 2));
}

// A zero rate or scale comes from the format or the main header; a stream
// left without one is dropped by the open.
void fix_rate(const MainHeader &m, Stream &s) {
  StreamHeader &h = s.header;
  if (h.rate != 0 && h.scale != 0) return;
  if (h.type == kTypeVideo && m.micro_sec_per_frame != 0) {
    h.scale = m.micro_sec_per_frame;
    h.rate = 1000000;
  } else if (h.type == kTypeAudio && s.format.size() >= 16) {
    const uint8_t *f = s.format.data();
    uint32_t sample_rate = le32(f + 4), avg = le32(f + 8);
    uint16_t align = le16(f + 12);
    if (h.sample_size != 0 && avg != 0) {
      h.scale = std::max<uint32_t>(h.sample_size, 1);
      h.rate = avg;
    } else if (sample_rate != 0) {
      h.scale = align != 0 ? align : 1;
      h.rate = sample_rate;
    }
  }
  if (h.rate == 0 || h.scale == 0) h.rate = h.scale = 0;
}

// PCM formats that give no block alignment get channels x bytes.
void fix_pcm_align(Stream &s) {
  if (s.header.type != kTypeAudio || s.format.size() < 16) return;
  uint8_t *f = s.format.data();
  if (le16(f) != kWaveFormatPcm || le16(f + 12) != 0) return;
  uint32_t align = uint32_t(le16(f + 2)) * ((le16(f + 14) + 7) / 8);
  f[12] = uint8_t(align);
  f[13] = uint8_t(align >> 8);
  if (s.header.sample_size == 0 && align != 0) s.header.sample_size = align;
}

void parse_stream_list(File *file, const uint8_t *p, int64_t size) {
  if (file->all.size() >= kMaxStreams) return;
  auto s = std::make_unique<Stream>();
  s->file = file;
  s->number = int32_t(file->all.size());
  int64_t pos = 0;
  while (pos + 8 <= size) {
    uint32_t id = le32(p + pos), len = le32(p + pos + 4);
    int64_t body = std::min<int64_t>(len, size - pos - 8);
    const uint8_t *b = p + pos + 8;
    if (id == kStrh) parse_stream_header(s->header, b, body);
    if (id == kStrf) s->format.assign(b, b + body);
    if (id == kIndx) s->super_index.assign(b, b + body);
    if (id == kStrn)
      s->name.assign(reinterpret_cast<const char *>(b),
                     strnlen(reinterpret_cast<const char *>(b), size_t(body)));
    pos += 8 + int64_t(len) + (len & 1);
  }
  fix_pcm_align(*s);
  fix_rate(file->info.main, *s);
  s->intra_only = codec_is_intra_only(*s);
  file->all.push_back(std::move(s));
}

}  // namespace

void parse_header_list(File *file, const uint8_t *p, int64_t size) {
  int64_t pos = 0;
  while (pos + 8 <= size) {
    uint32_t id = le32(p + pos), len = le32(p + pos + 4);
    int64_t body = std::min<int64_t>(len, size - pos - 8);
    if (id == kAvih) parse_main(file->info.main, p + pos + 8, body);
    if (id == kList && body >= 4 && le32(p + pos + 8) == kStrl)
      parse_stream_list(file, p + pos + 12, body - 4);
    pos += 8 + int64_t(len) + (len & 1);
  }
}

int32_t chunk_stream(uint32_t id) {
  int d0 = int(id & 0xFF) - '0', d1 = int((id >> 8) & 0xFF) - '0';
  if (d0 < 0 || d0 > 9 || d1 < 0 || d1 > 9) return -1;
  return d0 * 10 + d1;
}

}  // namespace platform::avi
