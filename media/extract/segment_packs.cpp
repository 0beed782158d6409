#include "media/extract/segment_packs.h"

#include <cstring>

namespace dravik {

namespace {

constexpr int32_t kMpeg1PackHeader = 12;
// The Video CD rate: 3528 units of 50 bytes per second.
constexpr uint32_t kVcdMuxRate = 3528;

void put16(uint8_t *p, int32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void put_code(uint8_t *p, uint8_t code) {
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = code;
}

// A time stamp field: prefix (4 bits), 33 bits with markers.
void put_timestamp(uint8_t *p, uint8_t prefix, uint64_t t) {
  p[0] = static_cast<uint8_t>(prefix << 4 | ((t >> 29) & 0x0E) | 1);
  p[1] = static_cast<uint8_t>(t >> 22);
  p[2] = static_cast<uint8_t>(((t >> 14) & 0xFE) | 1);
  p[3] = static_cast<uint8_t>(t >> 7);
  p[4] = static_cast<uint8_t>(((t << 1) & 0xFE) | 1);
}

void mpeg1_pack_header(uint8_t *b, uint64_t scr) {
  put_code(b, 0xBA);
  put_mpeg1_scr(b, scr);
  const uint32_t m = 1u << 23 | kVcdMuxRate << 1 | 1;
  b[9] = static_cast<uint8_t>(m >> 16);
  b[10] = static_cast<uint8_t>(m >> 8);
  b[11] = static_cast<uint8_t>(m);
}

}  // namespace

void pad_packet(uint8_t *b, int32_t at, int32_t end) {
  put_code(b + at, 0xBE);
  put16(b + at + 4, end - at - 6);
  std::memset(b + at + 6, 0xFF, static_cast<size_t>(end - at - 6));
}

int32_t pack_header_bytes(const uint8_t *b) {
  if ((b[4] >> 6) == 1) return 14 + (b[13] & 7);
  return kMpeg1PackHeader;
}

int32_t packet_payload_offset(const uint8_t *b, int32_t start, int32_t end, bool mpeg2) {
  const int32_t id = b[start + 3];
  int32_t i = start + 6;
  if (id == 0xBB || id == 0xBE || id == 0xBF || id == 0xBC || id >= 0xF0) return i;
  if (mpeg2) {
    if (i + 3 > end) return end;
    i += 3 + b[i + 2];
    return i > end ? end : i;
  }
  for (int32_t k = 0; k < 16 && i < end && b[i] == 0xFF; ++k) ++i;
  if (i < end && (b[i] >> 6) == 1) i += 2;
  if (i < end) {
    const int32_t flags = b[i] >> 4;
    i += flags == 2 ? 5 : flags == 3 ? 10 : 1;
  }
  return i > end ? end : i;
}

PacketSpan packet_holding(const uint8_t *b, int32_t n, int32_t pack, int32_t at) {
  PacketSpan found;
  for_each_packet(b, n, pack, [&](const PacketSpan &p) {
    if (at >= p.payload && at < p.end) {
      found = p;
      return false;
    }
    return p.start < at;
  });
  return found;
}

void put_mpeg1_scr(uint8_t *b, uint64_t scr) { put_timestamp(b + 4, 2, scr & 0x1FFFFFFFFull); }

void system_header_template(uint8_t *unit, bool video, uint64_t scr) {
  mpeg1_pack_header(unit, scr);
  uint8_t *h = unit + kMpeg1PackHeader;
  put_code(h, 0xBB);
  put16(h + 4, 9);
  const uint32_t rate = 1u << 23 | kVcdMuxRate << 1 | 1;  // marker, rate bound, marker
  h[6] = static_cast<uint8_t>(rate >> 16);
  h[7] = static_cast<uint8_t>(rate >> 8);
  h[8] = static_cast<uint8_t>(rate);
  h[9] = video ? 0x01 : 0x05;   // audio bound 0 or 1, fixed 0, CSPS 1
  h[10] = video ? 0xE1 : 0xE0;  // audio and video locks, marker, video bound 1 or 0
  h[11] = 0xFF;
  // One stream: '11', buffer scale, buffer size (46 x 1024 video, 32 x 128 audio).
  h[12] = video ? 0xE0 : 0xC0;
  h[13] = video ? 0xE0 : 0xC0;
  h[14] = video ? 0x2E : 0x20;
  // A Video CD audio sector ends in 20 zero bytes.
  const int32_t end = video ? kVcdPayloadBytes : kVcdPayloadBytes - 20;
  pad_packet(unit, kMpeg1PackHeader + 15, end);
  std::memset(unit + end, 0, static_cast<size_t>(kVcdPayloadBytes - end));
}

void sequence_header_template(uint8_t *unit, const uint8_t *header, int32_t n, uint64_t scr) {
  if (n > kMaxTemplateSequenceHeader) n = kMaxTemplateSequenceHeader;
  if (n < 0) n = 0;
  mpeg1_pack_header(unit, scr);
  uint8_t *p = unit + kMpeg1PackHeader;
  int32_t room = kVcdPayloadBytes - kMpeg1PackHeader - 20 - n;  // after the packet
  // Too little room for a padding packet: the packet takes it as stuffing.
  const int32_t extra = room < 6 ? room : 0;
  room -= extra;
  put_code(p, 0xE0);
  put16(p + 4, 14 + extra + n);
  int32_t i = 6;
  for (int32_t k = 0; k < 2 + extra; ++k) p[i++] = 0xFF;
  p[i++] = 0x60;  // STD buffer: scale 1, 46 x 1024 bytes
  p[i++] = 0x2E;
  put_timestamp(p + i, 3, scr);
  put_timestamp(p + i + 5, 1, scr);
  i += 10;
  std::memcpy(p + i, header, static_cast<size_t>(n));
  i += n;
  if (room > 0) pad_packet(unit, kMpeg1PackHeader + i, kVcdPayloadBytes);
}

void end_template(uint8_t *unit, uint64_t scr) {
  mpeg1_pack_header(unit, scr);
  uint8_t *p = unit + kMpeg1PackHeader;
  put_code(p, 0xE0);
  put16(p + 4, 5);
  p[6] = 0x0F;  // no time stamps
  put_code(p + 7, 0xB7);
  pad_packet(unit, kMpeg1PackHeader + 11, kVcdPayloadBytes - 4);
  put_code(unit + kVcdPayloadBytes - 4, 0xB9);
}

}  // namespace dravik
