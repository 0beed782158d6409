// Packs and the packets inside them, MPEG-1 and MPEG-2: the pack header
// (SCR while capturing, mux rate, stuffing), the system header, PES headers
// with every optional field, and the dispatch of each payload by stream id
// (video, MPEG audio, private stream 1 with AC-3, LPCM, DTS, SDDS and
// subpictures, navigation packets).
#pragma once

#include <cstdint>

namespace dravik {

struct State;

struct PackResult {
  bool video = false;   // a packet went into the video ring
  bool audio = false;   // a packet went into the audio ring
  bool resync = false;  // a damaged packet ended the pack early
};

/// Parses the pack at the cursor (which holds 00 00 01 BA) and the packets
/// that follow it.
PackResult parse_pack(State &s);
/// Parses the packet at the cursor (00 00 01 id, id >= 0xBC) as an MPEG-2
/// packet; used for the packets rebuilt from transport streams.
PackResult parse_mpeg2_packet(State &s);
/// Reads a pack header's fields after its start code (SCR, mux rate,
/// stuffing). -> true for MPEG-2.
bool parse_pack_header(State &s);

/// SCR / 2 of the pack header starting at p (14 bytes readable), or 0.
uint32_t pack_scr_half(const uint8_t *p);

}  // namespace dravik
