#include "media/demux/transport_stream.h"

#include <cstring>

#include "media/blocks/block_reader.h"
#include "media/state.h"

namespace dravik {

namespace {

constexpr int32_t kTsPacket = 188;
constexpr int32_t kVideoPidBytes = 0x100000;
constexpr int32_t kAudioPidBytes = 0x10000;
constexpr int32_t kPieceBytes = 61440;
constexpr int32_t kPieceHeader = 9;
// Room for the rebuilt packets of one source block plus whatever the two
// PID buffers can release at once (at the end of the source).
constexpr int32_t kStagingBytes = kVideoPidBytes + 2 * kAudioPidBytes + 2 * kBlockBytes;
constexpr int32_t kWindowBytes = kBlockBytes + 2 * kTsPacket;

bool in_family(uint8_t id, uint8_t family) { return (id & 0xF0) == family; }

bool start_at(const uint8_t *b, int32_t i, int32_t fill, uint8_t family) {
  return i + 4 <= fill && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && in_family(b[i + 3], family);
}

// Offset of the first start code of the family at or after from, -1 if none.
int32_t find_start(const uint8_t *b, int32_t from, int32_t fill, uint8_t family) {
  static constexpr uint8_t kPrefix[3] = {0, 0, 1};
  while (from + 4 <= fill) {
    const void *hit = memmem(b + from, static_cast<size_t>(fill - from), kPrefix, 3);
    if (!hit) return -1;
    const int32_t i = static_cast<int32_t>(static_cast<const uint8_t *>(hit) - b);
    if (i + 4 > fill) return -1;
    if (in_family(b[i + 3], family)) return i;
    from = i + 1;
  }
  return -1;
}

void add_pid(int32_t *list, int32_t &count, int32_t pid) {
  for (int32_t i = 0; i < count; ++i)
    if (list[i] == pid) return;
  if (count < 32) list[count++] = pid;
}

bool has_pid(const int32_t *list, int32_t count, int32_t pid) {
  for (int32_t i = 0; i < count; ++i)
    if (list[i] == pid) return true;
  return false;
}

}  // namespace

struct TsConverter::PidBuffer {
  PidBuffer(int32_t capacity, uint8_t fam) : data(new uint8_t[capacity]), cap(capacity), family(fam) {}
  std::unique_ptr<uint8_t[]> data;
  int32_t cap;
  int32_t fill = 0;
  uint8_t family;       // 0xE0 video, 0xC0 audio
  uint8_t cont_id = 0;  // a packet cut short continues: its stream id
  int32_t scanned = 0;  // the packet at the front was searched this far
};

bool looks_like_transport_stream(const uint8_t *data, int32_t n) {
  if (!data || n < 3 * kTsPacket) return false;
  for (int32_t i = 0; i < n - 3 * kTsPacket; ++i) {
    if (data[i] != 0x47) continue;
    bool all = true;
    for (int32_t j = i + kTsPacket; j < n && all; j += kTsPacket) all = data[j] == 0x47;
    if (all) return true;
  }
  return false;
}

TsConverter::TsConverter()
    : window_(new uint8_t[kWindowBytes]),
      video_(new PidBuffer(kVideoPidBytes, 0xE0)),
      audio_(new PidBuffer(kAudioPidBytes, 0xC0)),
      staging_(new uint8_t[kStagingBytes]),
      raw_(new uint8_t[kBlockBytes + 16]) {}

TsConverter::~TsConverter() = default;

void TsConverter::reset() {
  window_fill_ = 0;
  video_->fill = audio_->fill = 0;
  video_->cont_id = audio_->cont_id = 0;
  video_->scanned = audio_->scanned = 0;
  staged_begin_ = staged_end_ = 0;
  source_done_ = false;
}

int32_t TsConverter::next_parse_block(State &s, uint8_t *dst) {
  while (staged() < kBlockBytes && !source_done_) {
    const int32_t n = take_next_block(s, raw_.get());
    if (n <= 0) {
      source_done_ = true;
      finish();
      break;
    }
    feed(raw_.get(), n);
  }
  int32_t n = staged() < kBlockBytes ? staged() : kBlockBytes;
  if (n <= 0) return 0;
  std::memcpy(dst, staging_.get() + staged_begin_, static_cast<size_t>(n));
  staged_begin_ += n;
  if (n < kBlockBytes) {
    // The last block is rounded up to whole words with zeros.
    const int32_t rounded = (n + 3) & ~3;
    std::memset(dst + n, 0, static_cast<size_t>(rounded - n));
    n = rounded;
  }
  return n;
}

void TsConverter::feed(const uint8_t *data, int32_t n) {
  // The window keeps fewer than two packets between blocks, so a block
  // always fits after them.
  if (n > kBlockBytes) n = kBlockBytes;
  std::memcpy(window_.get() + window_fill_, data, static_cast<size_t>(n));
  window_fill_ += n;
  const uint8_t *w = window_.get();
  int32_t i = 0;
  while (i + 2 * kTsPacket <= window_fill_) {
    if (w[i] != 0x47 || w[i + kTsPacket] != 0x47) {
      ++i;  // lost sync: slide until two sync bytes line up again
      continue;
    }
    packet(w + i);
    i += kTsPacket;
  }
  std::memmove(window_.get(), w + i, static_cast<size_t>(window_fill_ - i));
  window_fill_ -= i;
}

void TsConverter::finish() {
  const uint8_t *w = window_.get();
  int32_t i = 0;
  while (i + kTsPacket <= window_fill_) {
    if (w[i] == 0x47) {
      packet(w + i);
      i += kTsPacket;
    } else {
      ++i;
    }
  }
  window_fill_ = 0;
  cut(*video_, true);
  cut(*audio_, true);
}

void TsConverter::packet(const uint8_t *p) {
  const int32_t pid = (p[1] & 0x1F) << 8 | p[2];
  const bool unit_start = (p[1] & 0x40) != 0;
  const int32_t afc = (p[3] >> 4) & 3;
  int32_t off = 4;
  const bool is_video = video_count_ > 0 && pid == video_pids_[0];
  const bool is_audio = audio_count_ > 0 && pid == audio_pids_[0];
  if (afc & 2) {
    const int32_t af_len = p[4];
    off = 5 + af_len;
    if (af_len > 0 && 5 + af_len <= kTsPacket && (p[5] & 0x01) && (is_video || is_audio)) {
      // Step over PCR, OPCR, splice countdown and private data to reach the
      // extension with its piecewise rate.
      const uint8_t flags = p[5];
      int32_t q = 6;
      const int32_t end = 5 + af_len;
      if (flags & 0x10) q += 6;
      if (flags & 0x08) q += 6;
      if (flags & 0x04) q += 1;
      if ((flags & 0x02) && q < end) q += 1 + p[q];
      if (q + 2 <= end) {
        const uint8_t ext_flags = p[q + 1];
        int32_t r = q + 2;
        if (ext_flags & 0x80) r += 2;
        if ((ext_flags & 0x40) && r + 3 <= end) {
          const int32_t rate = (p[r] & 0x3F) << 16 | p[r + 1] << 8 | p[r + 2];
          (is_video ? video_rate_ : audio_rate_) = rate;
        }
      }
    }
  }
  if (!(afc & 1) || off >= kTsPacket) return;
  const uint8_t *payload = p + off;
  const int32_t n = kTsPacket - off;
  if (pid == 0) {
    parse_pat(payload, n, unit_start);
  } else if (pid < 16 || pid == 8191) {
    return;
  } else if (has_pid(pmt_pids_, pmt_count_, pid)) {
    parse_pmt(payload, n, unit_start);
  } else if (is_video) {
    append(*video_, payload, n);
  } else if (is_audio) {
    append(*audio_, payload, n);
  }
}

void TsConverter::parse_pat(const uint8_t *b, int32_t n, bool unit_start) {
  int32_t i = 0;
  if (unit_start) i = 1 + b[0];
  if (i + 8 > n) return;
  const int32_t section_length = (b[i + 1] & 0x0F) << 8 | b[i + 2];
  int32_t end = i + 3 + section_length - 4;  // before the CRC
  if (end > n) end = n;
  for (int32_t e = i + 8; e + 4 <= end; e += 4) {
    const int32_t program = b[e] << 8 | b[e + 1];
    const int32_t pid = (b[e + 2] & 0x1F) << 8 | b[e + 3];
    if (program != 0) add_pid(pmt_pids_, pmt_count_, pid);
  }
}

void TsConverter::parse_pmt(const uint8_t *b, int32_t n, bool unit_start) {
  int32_t i = 0;
  if (unit_start) i = 1 + b[0];
  if (i + 12 > n) return;
  const int32_t section_length = (b[i + 1] & 0x0F) << 8 | b[i + 2];
  int32_t end = i + 3 + section_length - 4;
  if (end > n) end = n;
  const int32_t info_length = (b[i + 10] & 0x0F) << 8 | b[i + 11];
  for (int32_t e = i + 12 + info_length; e + 5 <= end;) {
    const int32_t type = b[e];
    const int32_t pid = (b[e + 1] & 0x1F) << 8 | b[e + 2];
    const int32_t es_info = (b[e + 3] & 0x0F) << 8 | b[e + 4];
    if (type == 1 || type == 2) add_pid(video_pids_, video_count_, pid);
    if (type == 3 || type == 4) add_pid(audio_pids_, audio_count_, pid);
    e += es_info + 5;
  }
}

void TsConverter::append(PidBuffer &b, const uint8_t *data, int32_t n) {
  if (b.fill + n > b.cap) cut(b, false);
  if (b.fill + n > b.cap) {
    // One packet fills the whole buffer: hand out what is held as a piece
    // of it (keeping 3 bytes in case a start code straddles) and go on with
    // the rest as its continuation, instead of writing past the buffer.
    const int32_t keep = b.fill < 3 ? b.fill : 3;
    const int32_t out = b.fill - keep;
    if (b.cont_id == 0) {
      const uint8_t id = b.data[3];
      emit(b, b.data.get(), out, true);
      b.cont_id = id;
    } else {
      emit(b, b.data.get(), out, false);
    }
    std::memmove(b.data.get(), b.data.get() + out, static_cast<size_t>(keep));
    b.fill = keep;
    b.scanned = 0;
  }
  std::memcpy(b.data.get() + b.fill, data, static_cast<size_t>(n));
  b.fill += n;
  cut(b, false);
}

// Cuts the complete packets at the front of the buffer. A packet ends where
// its length says when the next start code of its family follows there;
// otherwise (length 0, or a length that does not match) at the next start
// code of the family.
void TsConverter::cut(PidBuffer &b, bool final) {
  uint8_t *d = b.data.get();
  int32_t at = 0;
  int32_t front = 0;
  for (;;) {
    if (at != front) {
      b.scanned = 0;  // a new packet is at the front
      front = at;
    }
    const int32_t fill = b.fill - at;
    const uint8_t *p = d + at;
    if (fill <= 0) break;
    if (b.cont_id != 0) {
      const int32_t k = find_start(p, 0, fill, b.family);
      if (k < 0 && !final) {
        // Hand out all but 3 bytes now; a start code may straddle.
        if (fill > 3) {
          emit(b, p, fill - 3, false);
          at += fill - 3;
        }
        break;
      }
      const int32_t len = k < 0 ? fill : k;
      if (len > 0) emit(b, p, len, false);
      at += len;
      b.cont_id = 0;
      continue;
    }
    if (!start_at(p, 0, fill, b.family)) {
      const int32_t k = find_start(p, 0, fill, b.family);
      if (k < 0) {
        // Bytes outside any packet are dropped, all but a possible prefix.
        const int32_t drop = final ? fill : (fill > 3 ? fill - 3 : 0);
        at += drop;
        break;
      }
      at += k;
      continue;
    }
    if (fill < 6) {
      if (final) at += fill;
      break;
    }
    const int32_t length = p[4] << 8 | p[5];
    if (length > 0) {
      const int32_t total = length + 6;
      if (total + 4 <= fill) {
        if (start_at(p, total, fill, b.family)) {
          emit(b, p, total, true);
          at += total;
          continue;
        }
        // The length does not match: the next start code ends the packet.
      } else if (total <= fill && final) {
        emit(b, p, total, true);
        at += total;
        continue;
      } else {
        break;  // wait for the bytes that tell
      }
    }
    // Resume the search where the last one stopped: a long packet grows by
    // 184 bytes at a time and is not scanned again from its start.
    const int32_t from = b.scanned > 4 ? b.scanned : 4;
    const int32_t k = find_start(p, from, fill, b.family);
    if (k < 0) {
      b.scanned = fill > 7 ? fill - 3 : 4;
      if (!final) break;
      emit(b, p, fill, true);
      at += fill;
      continue;
    }
    emit(b, p, k, true);
    at += k;
  }
  if (at > 0) {
    std::memmove(d, d + at, static_cast<size_t>(b.fill - at));
    b.fill -= at;
  }
}

// Stages one packet (or a continuation of one) as pieces of at most 61440
// bytes; every piece after the first gets a 9-byte header of its own, and
// every piece's length field tells its size.
void TsConverter::emit(PidBuffer &b, const uint8_t *data, int32_t n, bool with_header) {
  uint8_t id = with_header ? data[3] : b.cont_id;
  if (with_header) {
    if (n < 9) return;  // too short to be a packet
    int32_t first = n < kPieceBytes ? n : kPieceBytes;
    uint8_t head[6] = {0, 0, 1, id, static_cast<uint8_t>((first - 6) >> 8), static_cast<uint8_t>(first - 6)};
    stage(head, 6);
    stage(data + 6, first - 6);
    data += first;
    n -= first;
  }
  while (n > 0) {
    const int32_t body = n < kPieceBytes - kPieceHeader ? n : kPieceBytes - kPieceHeader;
    const int32_t size = body + kPieceHeader;
    uint8_t head[kPieceHeader] = {
        0, 0, 1, id, static_cast<uint8_t>((size - 6) >> 8), static_cast<uint8_t>(size - 6), 0x81, 0x00, 0x00};
    stage(head, kPieceHeader);
    stage(data, body);
    data += body;
    n -= body;
  }
}

void TsConverter::stage(const uint8_t *data, int32_t n) {
  if (staged_begin_ > 0 && staged_end_ + n > kStagingBytes) {
    std::memmove(staging_.get(), staging_.get() + staged_begin_, static_cast<size_t>(staged()));
    staged_end_ -= staged_begin_;
    staged_begin_ = 0;
  }
  if (staged_end_ + n > kStagingBytes) {
    dropped_ += n;
    return;
  }
  std::memcpy(staging_.get() + staged_end_, data, static_cast<size_t>(n));
  staged_end_ += n;
}

}  // namespace dravik
