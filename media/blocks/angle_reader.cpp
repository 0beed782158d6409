#include "media/blocks/angle_reader.h"

#include <algorithm>
#include <cstring>

#include "media/source/source.h"
#include "media/state.h"

namespace dravik {

namespace {

constexpr int32_t kRun = 32;  // sectors per read
constexpr int32_t kSector = 2048;
constexpr int kDsiData = 1031;
constexpr int kPciNonSeamless = 105;
constexpr uint32_t kNoNextUnit = 0xFFFFFFFF;
constexpr uint32_t kAddressMask = 0x7FFFFFFF;

uint32_t be32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

int64_t sector_of(const Source &src, int64_t pos) {
  return src.sector_scale ? pos / src.sector_scale : pos / kSector;
}
int64_t position_of(const Source &src, int64_t sector) {
  return src.sector_scale ? sector * src.sector_scale : sector * kSector;
}
int64_t total_sectors(const Source &src) { return sector_of(src, src.size); }

// Moves the position by sectors, never below the lowest start nor past the
// end of the source.
void move_by(Source &src, int64_t sectors) {
  int64_t pos = position_of(src, sector_of(src, src.position) + sectors);
  pos = std::clamp<int64_t>(pos, src.lowest_start, src.size);
  src.position = pos;
}

// The counters from a navigation pack just read (the position is on the
// sector after it).
void recompute(State &s, const NavPack &nav) {
  AngleNav &a = s.nav;
  const int64_t left = std::max<int64_t>(0, total_sectors(s.source) - sector_of(s.source, s.source.position));
  a.done = 0;
  a.to_skip = 0;
  if (!nav.interleaved) {
    a.chain_vob = -1;
    s.select.angle_count = 0;
    a.to_read = std::min<int64_t>(nav.vobu_end, left);
    return;
  }
  int32_t count = 0;
  for (int i = 0; i < 9; ++i) count += nav.seamless_size[i] != 0;
  a.seamless = count > 0;
  if (!a.seamless)
    for (int i = 0; i < 9; ++i) count += nav.non_seamless[i] != 0;
  s.select.angle_count = count;
  if (a.chain_vob < 0 && nav.next_unit != kNoNextUnit) a.chain_vob = nav.vob_id;

  if (a.request >= 1 && a.request <= 9 && count >= a.request) {
    const int h = a.request - 1;
    int64_t address = 0;
    bool usable = false;
    if (a.seamless) {
      address = nav.seamless_start[h] & kAddressMask;
      usable = address != 0 && address != kAddressMask && nav.seamless_size[h] != 0;
    } else {
      const uint32_t raw = nav.non_seamless[h];
      address = raw & kAddressMask;
      usable = address != 0 && address != kAddressMask;
      if (raw & 0x80000000u) address = -address;
    }
    if (usable) {
      a.request = 0;
      a.chain_vob = -1;
      a.to_read = 0;
      a.to_skip = address - 1;
      return;
    }
  }
  // Units of the chain are read; after its last unit (or of another VOB)
  // the other angles' units are skipped.
  if (nav.vob_id == a.chain_vob) {
    a.to_read = std::min<int64_t>(nav.unit_end, left);
    if (nav.next_unit == kNoNextUnit) {
      a.chain_vob = -1;
      return;
    }
    const int64_t skip = static_cast<int64_t>(nav.next_unit) - 1 - nav.unit_end;
    if (skip < 0) {
      a.chain_vob = -1;  // a next unit that lies behind: follow nothing
      return;
    }
    a.to_skip = std::min(skip, left);
    return;
  }
  a.to_read = 0;
  a.to_skip = std::min<int64_t>(nav.unit_end, left);
}

// From the position, the next sector holding a navigation pack (up to the
// end of the source); the position is left on it. False when none.
bool scan_to_navigation_pack(State &s, uint8_t *scratch) {
  Source &src = s.source;
  const int64_t end = total_sectors(src);
  for (int64_t at = sector_of(src, src.position); at < end; at += kRun) {
    const int32_t n = read_dvd_source_sectors(s, at, kRun, scratch) / kSector;
    for (int32_t i = 0; i < n; ++i) {
      if (is_navigation_pack(scratch + static_cast<size_t>(i) * kSector)) {
        src.position = position_of(src, at + i);
        return true;
      }
    }
    if (n < kRun) break;
  }
  return false;
}

}  // namespace

bool is_navigation_pack(const uint8_t *sector) {
  static constexpr uint8_t kDsi[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
  return std::memcmp(sector + 1024, kDsi, sizeof kDsi) == 0;
}

NavPack read_navigation_pack(const uint8_t *sector) {
  const uint8_t *dsi = sector + kDsiData;
  NavPack n;
  n.vobu_end = be32(dsi + 8);
  n.vob_id = be16(dsi + 24);
  n.interleaved = (be16(dsi + 32) & 0x4000) != 0;
  n.unit_end = be32(dsi + 34);
  n.next_unit = be32(dsi + 38);
  for (int i = 0; i < 9; ++i) {
    n.seamless_start[i] = be32(dsi + 180 + 6 * i);
    n.seamless_size[i] = be16(dsi + 184 + 6 * i);
    n.non_seamless[i] = be32(sector + kPciNonSeamless + 4 * i);
  }
  return n;
}

void rearm_angle_reading(State &s) {
  s.nav = AngleNav{};
  s.nav.request = s.select.angle;
}

void select_angle(State &s, int32_t angle) {
  if (angle < 0 || angle > 9) return;
  s.select.angle = angle;
  s.nav.request = angle;
}

int32_t read_angle_aware_block(State &s, uint8_t *dst) {
  Source &src = s.source;
  AngleNav &a = s.nav;
  if (a.scan) {
    a.scan = false;
    if (!scan_to_navigation_pack(s, dst)) {
      // No navigation pack ahead: what is left is read as it is.
      const int32_t n = read_dvd_source_sectors(s, sector_of(src, src.position), kRun, dst);
      move_by(src, n / kSector);
      return n;
    }
  }
  int32_t filled = 0;
  // Every pass reads at least one sector or ends the block, so a damaged
  // navigation pack cannot hold the reader in place.
  while (filled < kRun && src.position < src.size) {
    uint8_t *out = dst + static_cast<size_t>(filled) * kSector;
    if (a.done < a.to_read) {
      const int32_t want = static_cast<int32_t>(std::min<int64_t>(kRun - filled, a.to_read - a.done));
      const int32_t n = read_dvd_source_sectors(s, sector_of(src, src.position), want, out) / kSector;
      move_by(src, n);
      a.done += n;
      filled += n;
      if (n < want) break;
      continue;
    }
    if (a.to_skip != 0) move_by(src, a.to_skip);
    a.to_read = a.done = a.to_skip = 0;
    if (src.position >= src.size) break;
    if (read_dvd_source_sectors(s, sector_of(src, src.position), 1, out) < kSector) break;
    move_by(src, 1);
    ++filled;
    if (is_navigation_pack(out)) recompute(s, read_navigation_pack(out));
  }
  return filled * kSector;
}

}  // namespace dravik
