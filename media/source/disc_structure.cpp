#include "media/source/disc_structure.h"

#include <cstring>
#include <string>

#include "components/sectrel/sectrel.h"
#include "media/source/disc_lookup.h"
#include "media/source/path_forms.h"
#include "media/source/sector_api.h"
#include "media/state.h"

namespace dravik {

namespace {

constexpr int32_t kMaxTrack = 99;
constexpr int32_t kInfoSector = 150;  // INFO.VCD / INFO.SVD
constexpr int64_t kMaxJoinedSectors = 0x7FFFFFFF;

bool read_raw_sector(int32_t drive, int32_t sector, uint8_t *out) {
  for (int attempt = 0; attempt < 3; ++attempt)
    if (sector_api().read_raw(drive, out, sector, 1)) return true;
  return false;
}

// An MPEG sector of a Video CD track: subheader copies agree, channel at
// most 2, submode form 2 and real-time, coding 0, 15 or 127.
bool is_video_cd_mpeg_sector(const uint8_t *raw) {
  if (std::memcmp(raw + 17, raw + 21, 3) != 0) return false;
  if (raw[17] > 2) return false;
  if ((raw[18] & 0x60) != 0x60) return false;
  return raw[19] == 0 || raw[19] == 15 || raw[19] == 127;
}

void put_le32(uint8_t *p, int32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

}  // namespace

int32_t recognise_video_cd(State &s, int32_t drive) {
  s.settings.vcd_kind = 0;
  const SectorApi &api = sector_api();
  if (!api.command(drive, SECTREL_CMD_READY, 0)) return 0;
  const int32_t last =
      static_cast<int32_t>(static_cast<uint32_t>(api.command(drive, SECTREL_CMD_LAST_TRACK, 0)) >> 16);
  if (last < 2 || last > kMaxTrack) return 0;
  if (api.command(drive, SECTREL_CMD_TRACK_TYPE, 1) != 0) return 0;
  for (int32_t t = 2; t <= last; ++t)
    if (api.command(drive, SECTREL_CMD_TRACK_TYPE, t) == 1) return 0;
  uint8_t raw[2352];
  int32_t kind = 0;
  if (read_raw_sector(drive, kInfoSector, raw)) {
    if (std::memcmp(raw + 24, "VIDE", 4) == 0) kind = 1;
    if (std::memcmp(raw + 24, "HQ-V", 4) == 0) kind = 2;
    if (std::memcmp(raw + 24, "SUPE", 4) == 0) kind = 3;
  }
  if (kind == 0) {
    const int32_t start = api.command(drive, SECTREL_CMD_TRACK_START, 2);
    if (start >= 0 && read_raw_sector(drive, start + kInfoSector, raw) && is_video_cd_mpeg_sector(raw))
      kind = 1;
  }
  if (kind == 0) return 0;
  s.settings.vcd_kind = kind;
  return last - 1;
}

int32_t join_title_set(State &s, const DravikJoinRequest *request) {
  if (!request || !request->name || request->buffer_size <= 0) return 0;
  // The two int32 fields are ours to fill: whatever they hold now counts
  // for nothing.
  const auto *bytes = reinterpret_cast<const uint8_t *>(request->name);
  const void *nul = std::memchr(bytes, 0, static_cast<size_t>(request->buffer_size));
  if (!nul) return 0;
  const std::string name(request->name, static_cast<size_t>(static_cast<const uint8_t *>(nul) - bytes));
  if (static_cast<int64_t>(name.size()) + 1 + DRAVIK_JOINED_SET_FIELDS > request->buffer_size) return 0;
  if (!is_joined_set_name(name) || name.size() <= 12) return 0;
  if (name[name.size() - 5] != 'X' && name[name.size() - 5] != 'x') return 0;
  const int32_t first_part = bytes[name.size() + 1];
  const int32_t last_part = bytes[name.size() + 2];
  if (first_part < 1 || last_part > 9 || first_part > last_part) return 0;
  const int32_t drive = drive_of_path(name);
  if (drive < 0 || !sector_api().open_drive(drive)) return 0;
  std::string part = name;
  int32_t first = 0;
  int64_t total = 0;
  for (int32_t n = first_part; n <= last_part; ++n) {
    part[part.size() - 5] = static_cast<char>('0' + n);
    auto e = s.listing.lookup(drive, part);
    if (!e || e->sectors <= 0) return 0;
    if (n == first_part) {
      first = e->first_sector;
    } else if (e->first_sector != first + total) {
      return 0;  // a gap or another order on the disc
    }
    total += e->sectors;
    if (total > kMaxJoinedSectors) return 0;
  }
  auto *fields = reinterpret_cast<uint8_t *>(request->name) + name.size() + 3;
  put_le32(fields, first);
  put_le32(fields + 4, static_cast<int32_t>(total));
  return 1;
}

}  // namespace dravik
