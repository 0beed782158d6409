// Angle-aware reading of DVD sources that carry navigation packs: each
// read fills up to 32 sectors, following the navigation packs' unit
// lengths, so that an interleaved (multi-angle) title plays one angle and
// a requested angle is jumped to at the next interleaved unit.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

/// What the reader keeps between reads.
struct AngleNav {
  int32_t request = 0;     // angle to jump to (1..9), 0 none
  bool seamless = false;   // the last count came from the seamless table
  int32_t chain_vob = -1;  // VOB id of the interleaved chain followed
  int64_t to_read = 0;     // sectors of the current unit still to read
  int64_t done = 0;        // sectors of it read
  int64_t to_skip = 0;     // sectors to skip after it (negative: back)
  bool scan = true;        // the next read first looks for a navigation pack
};

/// Navigation pack fields (all offsets from the start of a 2048-byte
/// sector holding a DSI packet at 1024).
struct NavPack {
  uint32_t vobu_end = 0;
  uint16_t vob_id = 0;
  bool interleaved = false;
  uint32_t unit_end = 0;
  uint32_t next_unit = 0;
  uint32_t seamless_start[9] = {};
  uint16_t seamless_size[9] = {};
  uint32_t non_seamless[9] = {};
};

/// True when sector holds a DSI packet (00 00 01 BF 03 FA 01 at 1024).
bool is_navigation_pack(const uint8_t *sector);
NavPack read_navigation_pack(const uint8_t *sector);

/// After an open or a seek: the chosen angle is requested again, the
/// counters cleared and the next read scans for a navigation pack.
void rearm_angle_reading(State &s);
/// Command 48: angle := value (0..9) and request it.
void select_angle(State &s, int32_t angle);

/// One block (at most 32 sectors) into dst; -> bytes, 0 at the end.
int32_t read_angle_aware_block(State &s, uint8_t *dst);

}  // namespace dravik
