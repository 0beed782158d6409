// The cursor over the 64 KiB parse block. Reads are byte-aligned (every
// field the system layer needs starts on a byte) and may run past the end
// of the block: the next block is then taken and the bytes already passed
// stay readable through the carried tail. Past the end of the source every
// read yields zeros and the end flag is set.
#pragma once

#include <cstdint>
#include <cstring>

#include "media/demux/demux_state.h"
#include "media/state.h"

namespace dravik {

/// Takes the next block while keeping the bytes before it readable. -> false
/// at the end of the source.
bool cursor_next_block(State &s);

/// Makes n (<= kCarryBytes) bytes at the cursor readable. -> false when the
/// source ends first.
inline bool cursor_ensure(State &s, int32_t n) {
  while (s.demux.pos + n > s.parse.valid_bytes) {
    if (s.end.load(std::memory_order_relaxed) || !cursor_next_block(s)) return false;
  }
  return true;
}

/// The byte i places after the cursor (after cursor_ensure covered it).
inline uint8_t cursor_byte(const State &s, int32_t i) {
  const int64_t at = s.demux.pos + i;
  return at >= 0 ? s.parse.bytes[at] : s.demux.carry[kCarryBytes + at];
}

inline uint32_t cursor_peek32(State &s) {
  if (!cursor_ensure(s, 4)) return 0;
  if (s.demux.pos >= 0) {
    const uint8_t *p = s.parse.bytes.get() + s.demux.pos;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
  }
  return uint32_t(cursor_byte(s, 0)) << 24 | uint32_t(cursor_byte(s, 1)) << 16 |
         uint32_t(cursor_byte(s, 2)) << 8 | cursor_byte(s, 3);
}

inline uint32_t cursor_peek8(State &s) { return cursor_ensure(s, 1) ? cursor_byte(s, 0) : 0; }

inline uint32_t cursor_read8(State &s) {
  uint32_t v = cursor_peek8(s);
  ++s.demux.pos;
  return v;
}

inline uint32_t cursor_read16(State &s) {
  if (!cursor_ensure(s, 2)) return 0;
  uint32_t v = uint32_t(cursor_byte(s, 0)) << 8 | cursor_byte(s, 1);
  s.demux.pos += 2;
  return v;
}

inline uint32_t cursor_read32(State &s) {
  uint32_t v = cursor_peek32(s);
  s.demux.pos += 4;
  return v;
}

/// Skips n bytes; the blocks passed over are taken when the next read needs
/// them.
inline void cursor_skip(State &s, int64_t n) {
  if (n > 0) s.demux.pos += n;
}

/// Hands the next n bytes to put(const uint8_t *, int32_t) in runs, taking
/// blocks as needed. -> false when the source ended first.
template <class Put>
bool cursor_copy(State &s, int32_t n, Put &&put) {
  DemuxState &d = s.demux;
  while (n > 0) {
    if (d.pos < 0) {
      int32_t run = static_cast<int32_t>(-d.pos) < n ? static_cast<int32_t>(-d.pos) : n;
      put(d.carry + kCarryBytes + d.pos, run);
      d.pos += run;
      n -= run;
    } else if (d.pos >= s.parse.valid_bytes) {
      if (s.end.load(std::memory_order_relaxed) || !cursor_next_block(s)) return false;
    } else {
      int64_t left = s.parse.valid_bytes - d.pos;
      int32_t run = left < n ? static_cast<int32_t>(left) : n;
      put(s.parse.bytes.get() + d.pos, run);
      d.pos += run;
      n -= run;
    }
  }
  return true;
}

/// Moves the cursor to the next occurrence of the len-byte pattern (len
/// <= 4). -> false when the source ends first, or when the blocks loaded
/// reach the demultiplexer's scan limit.
bool cursor_find(State &s, const uint8_t *pattern, int32_t len);

/// The cursor back to the start of the block in hand (after a fresh load).
void cursor_rewind(State &s);

}  // namespace dravik
