#include "media/demux/pack_parser.h"

#include "media/demux/byte_cursor.h"
#include "media/demux/stream_select.h"
#include "media/extract/extract.h"
#include "media/state.h"

namespace dravik {

namespace {

constexpr uint32_t kPackStart = 0x000001BA;
constexpr uint32_t kSystemHeader = 0x000001BB;

// SCR fields as the pack header lays them out: 3 bits, marker, 15 bits,
// marker, 15 bits, marker; kept halved (45 kHz ticks in 32 bits).
uint32_t scr_from(uint64_t bits36) {
  const uint32_t hi = static_cast<uint32_t>(bits36 >> 33) & 7;
  const uint32_t mid = static_cast<uint32_t>(bits36 >> 17) & 0x7FFF;
  const uint32_t lo = static_cast<uint32_t>(bits36 >> 1) & 0x7FFF;
  return hi << 29 | mid << 14 | lo >> 1;
}

uint64_t be_bits(const uint8_t *p, int32_t bytes) {
  uint64_t v = 0;
  for (int32_t i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

void parse_system_header(State &s) {
  DemuxState &d = s.demux;
  d.system_header_seen = true;
  cursor_skip(s, 4);
  const int32_t length = static_cast<int32_t>(cursor_read16(s));
  // rate bound, audio bound, flags, video bound, reserved byte: 6 bytes.
  cursor_skip(s, 6);
  int32_t left = length - 6;
  while (left >= 3 && (cursor_peek8(s) & 0x80) && !s.end.load(std::memory_order_relaxed)) {
    const int32_t id = static_cast<int32_t>(cursor_read8(s));
    cursor_skip(s, 2);  // '11', buffer bound scale, buffer size bound
    left -= 3;
    if (!s.mpeg2) {
      if (id >= 0xE0 && id <= 0xEF) add_seen_unaged(s, SeenKind::video, id);
      if (id >= 0xC0 && id <= 0xDF) add_seen_unaged(s, SeenKind::audio, id);
    }
  }
  cursor_skip(s, left);
}

// MPEG audio and video payloads (n bytes at the cursor).
PackResult dispatch(State &s, int32_t id, int32_t n) {
  PackResult r;
  if (id >= 0xE0 && id <= 0xEF) {
    note_seen(s, SeenKind::video, id);
    if (extraction_on(s)) {
      extract_payload(s, ExtractKind::video, id - 0xE0, n);
    } else {
      r.video = store_video(s, id, n);
    }
  } else if ((id >= 0xC0 && id <= 0xC7) || (id >= 0xD0 && id <= 0xD7)) {
    note_seen(s, SeenKind::audio, id);
    if (extraction_on(s)) {
      const bool ext = id >= 0xD0;
      extract_payload(s, ext ? ExtractKind::ext_audio : ExtractKind::mpeg_audio, id - (ext ? 0xD0 : 0xC0), n);
    } else {
      r.audio = store_audio(s, id, n, nullptr, 0);
    }
  } else {
    cursor_skip(s, n);
  }
  return r;
}

PackResult resync() {
  PackResult r;
  r.resync = true;
  return r;
}

// Private stream 1 while extracting: every known sub-stream goes to its
// file; an unknown one is left unconsumed and the parser resynchronises.
PackResult extract_private_stream_1(State &s, int32_t sub, int32_t n) {
  if (sub >= 0x20 && sub <= 0x3F) {
    ++s.rings.spu_packets;
    note_seen(s, SeenKind::spu, sub & 0x1F);
    extract_payload(s, ExtractKind::subpicture, sub & 0x1F, n);
  } else if (sub >= 0x80 && sub <= 0x87) {
    note_seen(s, SeenKind::audio, sub);
    if (n < 3) {
      cursor_skip(s, n);  // not even the frame count and pointer
    } else {
      cursor_skip(s, 3);
      extract_payload(s, ExtractKind::ac3, sub - 0x80, n - 3);
    }
  } else if (sub >= 0xA0 && sub <= 0xA7) {
    note_seen(s, SeenKind::audio, sub);
    extract_payload(s, ExtractKind::lpcm, sub - 0xA0, n);
  } else if (sub >= 0x88 && sub <= 0x8F) {
    extract_payload(s, ExtractKind::dts, sub - 0x88, n);
  } else if (sub >= 0x90 && sub <= 0x97) {
    extract_payload(s, ExtractKind::sdds, sub - 0x90, n);
  } else {
    return resync();
  }
  return {};
}

PackResult private_stream_1(State &s, int32_t n) {
  PackResult r;
  const int32_t sub = static_cast<int32_t>(cursor_read8(s));
  n -= 1;
  if (extraction_on(s)) return extract_private_stream_1(s, sub, n);
  if (sub >= 0x20 && sub <= 0x3F) {
    ++s.rings.spu_packets;
    note_seen(s, SeenKind::spu, sub & 0x1F);
    take_subpicture(s, sub & 0x1F, n);
  } else if (sub >= 0x80 && sub <= 0x87) {
    note_seen(s, SeenKind::audio, sub);
    if (s.path_mode.load(std::memory_order_relaxed) == 1 || n < 3) {
      cursor_skip(s, n);
    } else {
      cursor_skip(s, 3);  // frame count and first access unit pointer
      r.audio = store_audio(s, sub, n - 3, nullptr, 0);
    }
  } else if (sub >= 0xA0 && sub <= 0xA7) {
    note_seen(s, SeenKind::audio, sub);
    if (s.path_mode.load(std::memory_order_relaxed) == 1) {
      cursor_skip(s, n);
    } else {
      const uint32_t len = static_cast<uint32_t>(n);
      const uint8_t head[8] = {'L',
                               'P',
                               'C',
                               'M',
                               static_cast<uint8_t>(len),
                               static_cast<uint8_t>(len >> 8),
                               static_cast<uint8_t>(len >> 16),
                               static_cast<uint8_t>(len >> 24)};
      r.audio = store_audio(s, sub, n, head, 8);
    }
  } else {
    cursor_skip(s, n);  // DTS, SDDS and unknown sub-streams
  }
  return r;
}

void navigation(State &s, int32_t n) {
  DemuxState &d = s.demux;
  const uint32_t sub = cursor_read8(s);
  if (sub == 0) d.pci_seen = true;
  if (sub == 1) {
    d.dsi_seen = true;
    d.angle_aware = true;
  }
  cursor_skip(s, n - 1);
}

// A payload this long is taken for damage: it is left unconsumed and the
// next scan finds the following pack inside or after it.
bool payload_too_long(const State &s, int32_t n) { return n > kMaxPacketPayload && !s.demux.ts_mode; }

// The packet at the cursor in MPEG-1 syntax.
PackResult mpeg1_packet(State &s) {
  const uint32_t code = cursor_read32(s);
  const int32_t id = static_cast<int32_t>(code & 0xFF);
  int32_t n = static_cast<int32_t>(cursor_read16(s));
  if (id >= 0xC0 && id <= 0xEF) {
    while (n > 0 && cursor_peek8(s) == 0xFF && !s.end.load(std::memory_order_relaxed)) {
      cursor_skip(s, 1);
      --n;
    }
    if ((cursor_peek8(s) >> 6) == 1) {
      cursor_skip(s, 2);  // STD buffer scale and size
      n -= 2;
    }
    const uint32_t flags = cursor_peek8(s) >> 4;
    const int32_t header = flags == 2 ? 5 : flags == 3 ? 10 : 1;
    cursor_skip(s, header);
    n -= header;
  }
  if (n <= 0) return {};
  if (payload_too_long(s, n)) return resync();
  return dispatch(s, id, n);
}

}  // namespace

uint32_t pack_scr_half(const uint8_t *p) {
  if ((p[4] >> 6) == 1) return scr_from(be_bits(p + 4, 5) >> 2);
  return scr_from(be_bits(p + 4, 5) & 0xFFFFFFFFFull);
}

bool parse_pack_header(State &s) {
  DemuxState &d = s.demux;
  if (!cursor_ensure(s, 10)) {
    cursor_skip(s, 10);
    return s.mpeg2;
  }
  uint8_t h[10];
  for (int32_t i = 0; i < 10; ++i) h[i] = cursor_byte(s, i);
  if ((h[0] >> 6) == 0) {
    // MPEG-1: '0010', SCR (36 bits with markers), marker, mux rate, marker.
    if (s.scr_capture) d.scr_half = scr_from(be_bits(h, 5) & 0xFFFFFFFFFull);
    cursor_skip(s, 8);
    return false;
  }
  // MPEG-2: '01', SCR, SCR extension and marker, mux rate (22), markers,
  // reserved bits and the stuffing length.
  if (s.scr_capture) d.scr_half = scr_from(be_bits(h, 5) >> 2);
  d.mux_rate = static_cast<int32_t>(be_bits(h + 6, 3) >> 2);
  cursor_skip(s, 10);
  cursor_skip(s, h[9] & 7);
  return true;
}

PackResult parse_mpeg2_packet(State &s) {
  const uint32_t code = cursor_read32(s);
  const int32_t id = static_cast<int32_t>(code & 0xFF);
  int32_t n = static_cast<int32_t>(cursor_read16(s));
  switch (id) {
    case 0xBC:
    case 0xBE:
    case 0xF0:
    case 0xF1:
    case 0xF2:
    case 0xF8:
    case 0xFF:
      cursor_skip(s, n);
      return {};
    case 0xBF:
      if (n <= 0) return {};
      if (payload_too_long(s, n)) return resync();
      navigation(s, n);
      return {};
    default:
      break;
  }
  // PES header: '10', scrambling, priority, alignment, copyright, original;
  // then the seven flags and the header data length.
  cursor_skip(s, 1);
  const uint32_t flags = cursor_read8(s);
  const int32_t header_length = static_cast<int32_t>(cursor_read8(s));
  n -= 3;
  int32_t used = 0;
  const uint32_t pts_dts = flags >> 6;
  if (pts_dts == 2) used += 5;
  if (pts_dts == 3) used += 10;
  if (flags & 0x20) used += 6;  // ESCR
  if (flags & 0x10) used += 3;  // ES rate
  if (flags & 0x08) used += 1;  // DSM trick mode
  if (flags & 0x04) used += 1;  // additional copy info
  if (flags & 0x02) used += 2;  // previous PES CRC
  cursor_skip(s, used);
  if ((flags & 0x01) && used < header_length) {
    const uint32_t ext = cursor_read8(s);
    used += 1;
    if (ext & 0x80) {
      cursor_skip(s, 16);  // PES private data
      used += 16;
    }
    if (ext & 0x40) {
      // An embedded pack header: its length, then the header itself.
      const int32_t len = static_cast<int32_t>(cursor_read8(s));
      used += 1;
      const int64_t start = s.demux.pos;
      if (len >= 14 && cursor_peek32(s) == kPackStart) {
        cursor_skip(s, 4);
        parse_pack_header(s);
      }
      const int64_t taken = s.demux.pos - start;
      if (taken < len) cursor_skip(s, len - taken);
      used += len;
    }
    if (ext & 0x20) {
      cursor_skip(s, 2);  // program packet sequence counter
      used += 2;
    }
    if (ext & 0x10) {
      cursor_skip(s, 2);  // P-STD buffer
      used += 2;
    }
    if (ext & 0x01) {
      const int32_t len = static_cast<int32_t>(cursor_read8(s) & 0x7F);
      cursor_skip(s, len);
      used += 1 + len;
    }
  }
  // Stuffing and whatever else the header length still covers.
  if (used < header_length) {
    cursor_skip(s, header_length - used);
    used = header_length;
  }
  n -= used;
  if (n <= 0) return {};
  if (payload_too_long(s, n)) return resync();
  if (id == 0xBD) return private_stream_1(s, n);
  return dispatch(s, id, n);
}

PackResult parse_pack(State &s) {
  PackResult result;
  if (cursor_read32(s) != kPackStart) return result;
  if (!cursor_ensure(s, 1)) return result;
  const uint32_t kind = cursor_byte(s, 0) >> 6;
  if (kind == 1 && !s.mpeg2) clear_seen(s);
  s.mpeg2 = parse_pack_header(s);
  if (cursor_peek32(s) == kSystemHeader) parse_system_header(s);
  for (;;) {
    if (s.end.load(std::memory_order_relaxed)) break;
    const uint32_t next = cursor_peek32(s);
    if (next == kSystemHeader) {
      parse_system_header(s);
      break;
    }
    if ((next >> 8) != 1 || (next & 0xFF) < 0xBC) break;
    PackResult r = s.mpeg2 ? parse_mpeg2_packet(s) : mpeg1_packet(s);
    result.video |= r.video;
    result.audio |= r.audio;
    if (r.resync) break;
  }
  return result;
}

}  // namespace dravik
