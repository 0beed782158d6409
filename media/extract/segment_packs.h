// Pack and packet layout as segment saving needs it: finding the packet
// that holds a byte, the 2324-byte Video CD template packs, and the SCR of
// an MPEG-1 pack header.
#pragma once

#include <cstdint>

namespace dravik {

/// Payload bytes of a Video CD sector (a raw 2352-byte sector less its 24
/// header and 4 trailing bytes).
constexpr int32_t kVcdPayloadBytes = 2324;
constexpr int32_t kRawSectorHeader = 24;
/// Longest sequence header the template pack can carry.
constexpr int32_t kMaxTemplateSequenceHeader = 2292;

inline bool start_code_at(const uint8_t *b, int32_t at, uint8_t code) {
  return b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1 && b[at + 3] == code;
}

/// Bytes of the pack header at b[0] (00 00 01 BA), stuffing included.
int32_t pack_header_bytes(const uint8_t *b);

struct PacketSpan {
  int32_t id = -1;  // stream id, -1 when none was found
  int32_t start = 0;
  int32_t payload = 0;
  int32_t end = 0;
};

/// The packet of the pack at b[pack] that holds byte at (in its payload),
/// within n bytes.
PacketSpan packet_holding(const uint8_t *b, int32_t n, int32_t pack, int32_t at);
/// The packets of the pack at b[pack] in turn; visit(span) returns false to
/// stop. Packets running past n end the walk.
template <class Visit>
void for_each_packet(const uint8_t *b, int32_t n, int32_t pack, Visit &&visit);

/// A padding packet filling b[at, end) (at least 6 bytes).
void pad_packet(uint8_t *b, int32_t at, int32_t end);
/// Writes scr (90 kHz) into the MPEG-1 pack header at b[0].
void put_mpeg1_scr(uint8_t *b, uint64_t scr);
/// A 2324-byte pack holding a system header for video stream E0 alone
/// (video) or audio stream C0 alone, padded.
void system_header_template(uint8_t *unit, bool video, uint64_t scr);
/// A 2324-byte pack whose video packet carries the sequence header (n <=
/// kMaxTemplateSequenceHeader bytes), padded.
void sequence_header_template(uint8_t *unit, const uint8_t *header, int32_t n, uint64_t scr);
/// A 2324-byte pack whose video packet carries a sequence end code; the
/// unit's last four bytes are a program end code.
void end_template(uint8_t *unit, uint64_t scr);

// ---------------------------------------------------------------------------

int32_t packet_payload_offset(const uint8_t *b, int32_t start, int32_t end, bool mpeg2);

template <class Visit>
void for_each_packet(const uint8_t *b, int32_t n, int32_t pack, Visit &&visit) {
  if (pack + 14 > n) return;
  const bool mpeg2 = (b[pack + 4] >> 6) == 1;
  int32_t i = pack + pack_header_bytes(b + pack);
  while (i + 6 <= n && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] >= 0xBB) {
    const int32_t end = i + 6 + (b[i + 4] << 8 | b[i + 5]);
    if (end > n) return;
    PacketSpan span;
    span.id = b[i + 3];
    span.start = i;
    span.end = end;
    span.payload = packet_payload_offset(b, i, end, mpeg2);
    if (!visit(span)) return;
    i = end;
  }
}

}  // namespace dravik
