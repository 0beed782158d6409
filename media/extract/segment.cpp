#include "media/extract/segment.h"

#include <cstring>
#include <vector>

#include "media/blocks/block_reader.h"
#include "media/extract/output_file.h"
#include "media/extract/segment_packs.h"
#include "media/source/source.h"
#include "media/state.h"

namespace dravik {

namespace {

// Blocks searched for the codes a head or a tail needs.
constexpr int32_t kSearchBlocks = 16;
// SCR step between written packs: one 2324-byte pack at 176400 bytes/s.
constexpr uint64_t kScrStep = 1200;

int32_t clamp32(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

bool is_mpeg_audio(int32_t id) { return id >= 0xC0 && id <= 0xDF; }
bool is_video(int32_t id) { return id >= 0xE0 && id <= 0xEF; }

// Moves the source so that the next block read starts at pos (snapped as
// a seek would snap it); nothing is parsed.
void position_at(State &s, int64_t pos) {
  stop_block_reader_for_seek(s);
  Source &src = s.source;
  if (src.raw_sector) pos = snap_raw_sector(pos);
  if (src.type == SourceType::cd_track) pos -= pos % kRawSectorBytes;
  if (pos < src.lowest_start) pos = src.lowest_start;
  if (pos < 0) pos = 0;
  if (src.dvd && !src.sector_scale) pos &= ~static_cast<int64_t>(kDvdSectorBytes - 1);
  src.position = pos;
  s.end.store(false);
}

// Raw sectors to their 2324-byte payloads, in place. Sectors that hold no
// pack (the empty sectors around a track's data) are left out.
int32_t raw_payloads(uint8_t *b, int32_t n) {
  int32_t out = 0;
  for (int32_t at = 0; at + kRawSectorBytes <= n; at += kRawSectorBytes) {
    const uint8_t *p = b + at + kRawSectorHeader;
    if (!start_code_at(p, 0, 0xBA)) continue;
    std::memmove(b + out, p, kVcdPayloadBytes);
    out += kVcdPayloadBytes;
  }
  return out;
}

// The next block of the source into the segment's buffer. -> bytes, 0 at
// the end of the source.
int32_t next_block(State &s) {
  SegmentState &g = s.segment;
  for (;;) {
    int32_t n = take_next_block(s, g.block.get());
    if (s.read_ahead.count() > 1) wake_block_reader(s);  // a single block is read in hand
    if (n <= 0) {
      g.fill = 0;
      return 0;
    }
    if (g.raw) n = raw_payloads(g.block.get(), n);
    g.fill = n;
    if (n > 0) return n;
  }
}

// The first audio packet of a raw-sector segment starts at a frame: the
// bytes before the first sync word go, the packet shrinks and its freed
// tail is zeroed.
void cut_audio_to_sync(SegmentState &g, uint8_t *unit) {
  for_each_packet(unit, kVcdPayloadBytes, 0, [&](const PacketSpan &p) {
    if (!is_mpeg_audio(p.id)) return true;
    int32_t sync = p.payload;
    while (sync + 1 < p.end && !(unit[sync] == 0xFF && (unit[sync + 1] & 0xF0) == 0xF0)) ++sync;
    if (sync + 1 >= p.end) sync = p.end;  // no frame starts here: nothing kept
    const int32_t drop = sync - p.payload;
    if (drop > 0) {
      std::memmove(unit + p.payload, unit + sync, static_cast<size_t>(p.end - sync));
      std::memset(unit + p.end - drop, 0, static_cast<size_t>(drop));
      const int32_t length = (unit[p.start + 4] << 8 | unit[p.start + 5]) - drop;
      unit[p.start + 4] = static_cast<uint8_t>(length >> 8);
      unit[p.start + 5] = static_cast<uint8_t>(length);
    }
    g.audio_started = sync < p.end;
    return false;
  });
}

bool write_bytes(State &s, int fd, const uint8_t *data, int32_t n) {
  SegmentState &g = s.segment;
  if (g.failed) return false;
  if (n > 0 && !output_write(fd, data, n)) g.failed = true;
  return !g.failed;
}

// Writes bytes [from, to) of the block. Raw-sector packs (whole 2324-byte
// units) get the next SCRs of the counter on the way.
bool write_range(State &s, int fd, int32_t from, int32_t to) {
  SegmentState &g = s.segment;
  uint8_t *b = g.block.get();
  if (g.raw) {
    for (int32_t u = from; u + kVcdPayloadBytes <= to; u += kVcdPayloadBytes) {
      if ((b[u + 4] >> 4) == 2) put_mpeg1_scr(b + u, g.scr);
      g.scr += kScrStep;
      if (!g.audio_started) cut_audio_to_sync(g, b + u);
    }
  }
  return write_bytes(s, fd, b + from, to - from);
}

bool write_unit(State &s, int fd, uint8_t *unit) {
  s.segment.scr += kScrStep;
  return write_bytes(s, fd, unit, kVcdPayloadBytes);
}

struct CodeAt {
  int32_t pack = -1;  // the pack start before the code
  int32_t code = -1;  // 00 00 01 B3 or 00 00 01 B8 inside a video packet
  PacketSpan packet;
};

// The first sequence header or GOP start in a video packet of the block
// that has a pack start before it.
CodeAt find_video_start(const uint8_t *b, int32_t n) {
  CodeAt found;
  int32_t pack = -1;
  for (int32_t i = 0; i + 4 <= n; ++i) {
    if (b[i + 2] > 1) {
      i += 2;
      continue;
    }
    if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
    const uint8_t code = b[i + 3];
    if (code == 0xBA) pack = i;
    if ((code != 0xB3 && code != 0xB8) || pack < 0) continue;
    const PacketSpan p = packet_holding(b, n, pack, i);
    if (!is_video(p.id)) continue;
    found.pack = pack;
    found.code = i;
    found.packet = p;
    return found;
  }
  return found;
}

// The next pack start at or after from, or -1.
int32_t find_pack(const uint8_t *b, int32_t from, int32_t n) {
  for (int32_t i = from; i + 4 <= n; ++i)
    if (start_code_at(b, i, 0xBA)) return i;
  return -1;
}

// The first GOP header after the code, before any picture: its B pictures
// lost the pictures they refer to unless the GOP is closed.
void mark_broken_link(uint8_t *b, int32_t from, int32_t n) {
  for (int32_t i = from; i + 8 <= n; ++i) {
    if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
    if (b[i + 3] == 0x00) return;
    if (b[i + 3] != 0xB8) continue;
    if (!(b[i + 7] & 0x40)) b[i + 7] |= 0x20;  // closed_gop 0: broken_link 1
    return;
  }
}

// The video elementary bytes of the first sequence header of the source,
// up to the first GOP or picture start after it, for the template pack.
std::vector<uint8_t> first_sequence_header(State &s) {
  SegmentState &g = s.segment;
  std::vector<uint8_t> es;
  for (int32_t blocks = 0; blocks < kSearchBlocks && next_block(s) > 0; ++blocks) {
    const uint8_t *b = g.block.get();
    for (int32_t pack = find_pack(b, 0, g.fill); pack >= 0; pack = find_pack(b, pack + 4, g.fill)) {
      for_each_packet(b, g.fill, pack, [&](const PacketSpan &p) {
        if (is_video(p.id) && p.end > p.payload) es.insert(es.end(), b + p.payload, b + p.end);
        return true;
      });
    }
    for (size_t i = 0; i + 4 <= es.size(); ++i) {
      if (!start_code_at(es.data(), static_cast<int32_t>(i), 0xB3)) continue;
      for (size_t j = i + 12; j + 4 <= es.size(); ++j) {
        if (es[j] != 0 || es[j + 1] != 0 || es[j + 2] != 1) continue;
        if (es[j + 3] == 0xB2 || es[j + 3] == 0xB5) continue;  // user data, extensions
        size_t n = j - i;
        if (n > static_cast<size_t>(kMaxTemplateSequenceHeader)) n = kMaxTemplateSequenceHeader;
        return std::vector<uint8_t>(es.begin() + static_cast<long>(i), es.begin() + static_cast<long>(i + n));
      }
      break;
    }
  }
  return {};
}

void restore(State &s) {
  SegmentState &g = s.segment;
  stop_block_reader_for_seek(s);
  s.source.position = g.saved_next;
  s.parse.source_pos = g.saved_block_pos;
  s.end.store(g.saved_end);
  wake_block_reader(s);
  g.active = false;
}

// The last pack of a raw-sector segment: its video packet ends right after
// the sequence end code, padding fills the pack up to a program end code in
// its last four bytes.
void end_pack_after(uint8_t *b, const PacketSpan &packet, int32_t after, int32_t unit_end) {
  const int32_t length = after - packet.start - 6;
  b[packet.start + 4] = static_cast<uint8_t>(length >> 8);
  b[packet.start + 5] = static_cast<uint8_t>(length);
  const int32_t pad_end = unit_end - 4;
  if (pad_end - after >= 6) {
    pad_packet(b, after, pad_end);
  } else {
    std::memset(b + after, 0, static_cast<size_t>(pad_end - after));
  }
  std::memcpy(b + pad_end, "\0\0\1\xB9", 4);
}

// The end of a segment that reaches the end of the source.
bool write_end_codes(State &s, int fd, bool mpeg2) {
  SegmentState &g = s.segment;
  if (g.raw) {
    uint8_t unit[kVcdPayloadBytes];
    end_template(unit, g.scr);
    return write_unit(s, fd, unit);
  }
  static constexpr uint8_t kMpeg1[] = {0, 0, 1, 0xE0, 0, 5, 0x0F, 0, 0, 1, 0xB7, 0, 0, 1, 0xB9};
  static constexpr uint8_t kMpeg2[] = {0, 0, 1, 0xE0, 0, 7, 0x80, 0, 0, 0, 0, 1, 0xB7, 0, 0, 1, 0xB9};
  return mpeg2 ? write_bytes(s, fd, kMpeg2, sizeof kMpeg2) : write_bytes(s, fd, kMpeg1, sizeof kMpeg1);
}

}  // namespace

int32_t segment_begin(State &s) {
  const SourceType t = s.source.type;
  if (t != SourceType::file && t != SourceType::cd_track) return 0;
  if (s.settings.segment_start >= s.settings.segment_end) return 0;
  // Saved afresh each time: a segment left unfinished (its source closed)
  // must not bring back a state of another source.
  SegmentState &g = s.segment;
  g.saved_next = s.read_ahead.next_position(s);
  g.saved_block_pos = s.parse.source_pos;
  g.saved_end = s.end.load();
  if (!g.block) g.block = std::make_unique<uint8_t[]>(kBlockBytes + 16);
  g.active = true;
  g.raw = s.source.raw_sector || t == SourceType::cd_track;
  g.scr = 0;
  g.audio_started = false;
  g.failed = false;
  g.mpeg2 = false;
  position_at(s, s.source.data_start);
  g.sequence_header = first_sequence_header(s);
  position_at(s, s.settings.segment_start);
  return 1;
}

int32_t segment_head(State &s, int fd) {
  SegmentState &g = s.segment;
  if (!g.active || g.failed) return 0;
  uint8_t unit[kVcdPayloadBytes];
  system_header_template(unit, true, g.scr);
  if (!write_unit(s, fd, unit)) return 0;
  system_header_template(unit, false, g.scr);
  if (!write_unit(s, fd, unit)) return 0;
  int64_t written = 2 * kVcdPayloadBytes;
  for (int32_t blocks = 0; blocks < kSearchBlocks; ++blocks) {
    if (next_block(s) <= 0) return 0;
    uint8_t *b = g.block.get();
    const CodeAt at = find_video_start(b, g.fill);
    if (at.code < 0) continue;
    g.mpeg2 = (b[at.pack + 4] >> 6) == 1;
    if (b[at.code + 3] == 0xB8) {
      if (g.sequence_header.empty()) return 0;
      sequence_header_template(unit, g.sequence_header.data(), static_cast<int32_t>(g.sequence_header.size()),
                               g.scr);
      if (!write_unit(s, fd, unit)) return 0;
      written += kVcdPayloadBytes;
    }
    std::memset(b + at.packet.payload, 0, static_cast<size_t>(at.code - at.packet.payload));
    mark_broken_link(b, at.code, g.fill);
    if (!write_range(s, fd, at.pack, g.fill)) return 0;
    written += g.fill - at.pack;
    return clamp32(written);
  }
  return 0;
}

int32_t segment_copy(State &s, int fd) {
  SegmentState &g = s.segment;
  if (!g.active || g.failed) return -1;
  if (next_block(s) <= 0) return -1;
  if (!write_range(s, fd, 0, g.fill)) return -1;
  return clamp32(s.read_ahead.next_position(s) - s.settings.segment_start);
}

int32_t segment_finish(State &s, int fd) {
  SegmentState &g = s.segment;
  if (!g.active) return 0;
  bool done = false;
  for (int32_t blocks = 0; blocks < kSearchBlocks && !g.failed && !done; ++blocks) {
    if (next_block(s) <= 0) {
      // The segment reaches the end of the source: it is complete there.
      done = write_end_codes(s, fd, g.mpeg2);
      break;
    }
    uint8_t *b = g.block.get();
    const CodeAt at = find_video_start(b, g.fill);
    if (at.code < 0) {
      write_range(s, fd, 0, g.fill);
      continue;
    }
    b[at.code + 3] = 0xB7;  // the sequence ends where the next one would begin
    const int32_t after = at.code + 4;
    if (g.raw) {
      // The pack of the code is the last: zeroed after the code, with the
      // program end code in its last four bytes.
      const int32_t unit_end = (at.code / kVcdPayloadBytes + 1) * kVcdPayloadBytes;
      end_pack_after(b, at.packet, after, unit_end);
      done = write_range(s, fd, 0, unit_end);
    } else {
      int32_t next = find_pack(b, after, g.fill);
      const int32_t zero_end = next < 0 ? g.fill : next;
      std::memset(b + after, 0, static_cast<size_t>(zero_end - after));
      if (next >= 0) {
        b[next + 3] = 0xB9;
        done = write_range(s, fd, 0, next + 4);
      } else {
        static constexpr uint8_t kProgramEnd[4] = {0, 0, 1, 0xB9};
        done = write_range(s, fd, 0, g.fill) && write_bytes(s, fd, kProgramEnd, 4);
      }
    }
  }
  const bool ok = done && !g.failed;
  restore(s);
  return ok ? 1 : 0;
}

}  // namespace dravik
