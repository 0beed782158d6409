#include "media/demux/byte_cursor.h"

#include <string.h>

#include "media/blocks/block_reader.h"

namespace dravik {

bool cursor_next_block(State &s) {
  DemuxState &d = s.demux;
  ParseBuffer &p = s.parse;
  const int32_t old_valid = p.valid_bytes;
  // The new carry is the last kCarryBytes bytes of (old carry + old block).
  uint8_t tail[kCarryBytes];
  if (old_valid >= kCarryBytes) {
    std::memcpy(tail, p.bytes.get() + old_valid - kCarryBytes, kCarryBytes);
  } else {
    std::memcpy(tail, d.carry + old_valid, kCarryBytes - old_valid);
    std::memcpy(tail + kCarryBytes - old_valid, p.bytes.get(), old_valid);
  }
  const int64_t pos = d.pos;
  const int32_t n = load_parse_block(s);
  std::memcpy(d.carry, tail, kCarryBytes);
  d.loaded_bytes += old_valid;
  d.pos = pos - old_valid;
  // A skip that passed several blocks may leave the cursor short of the
  // carried tail; what lies behind it is never read again.
  return n > 0;
}

bool cursor_find(State &s, const uint8_t *pattern, int32_t len) {
  DemuxState &d = s.demux;
  for (;;) {
    if (!cursor_ensure(s, len)) return false;
    // Candidates that begin in the carried tail are checked byte by byte.
    while (d.pos < 0) {
      if (!cursor_ensure(s, len)) return false;
      bool hit = true;
      for (int32_t i = 0; i < len && hit; ++i) hit = cursor_byte(s, i) == pattern[i];
      if (hit) return true;
      ++d.pos;
    }
    const uint8_t *base = s.parse.bytes.get();
    const int64_t valid = s.parse.valid_bytes;
    if (d.pos + len <= valid) {
      const void *hit =
          memmem(base + d.pos, static_cast<size_t>(valid - d.pos), pattern, static_cast<size_t>(len));
      if (hit) {
        d.pos = static_cast<const uint8_t *>(hit) - base;
        return true;
      }
      // Keep the last len-1 bytes: a pattern may straddle into the next block.
      d.pos = valid - (len - 1);
    }
    if (s.end.load(std::memory_order_relaxed) || d.loaded_bytes >= d.scan_limit) return false;
    if (!cursor_next_block(s)) return false;
  }
}

void cursor_rewind(State &s) {
  s.demux.pos = 0;
  std::memset(s.demux.carry, 0, kCarryBytes);
}

}  // namespace dravik
