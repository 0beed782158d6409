// The sector-access library and the drive facts the media layer needs, as
// one table of functions. The library's own entries fill it by default; the
// tests install a fake disc.
#pragma once

#include <cstdint>

namespace dravik {

struct SectorApi {
  int32_t (*open_drive)(int32_t drive);                                          // ordinal 51
  int32_t (*read_raw8)(int32_t drive, void *buf, int32_t first);                 // ordinal 52
  int32_t (*read_raw)(int32_t drive, void *buf, int32_t first, int32_t count);   // ordinal 53
  int32_t (*command)(int32_t drive, int32_t cmd, int32_t param);                 // ordinal 54
  int32_t (*read_data)(int32_t drive, void *buf, int32_t first, int32_t count);  // ordinal 56
  /// True when drive index (0 = A:) is a CD-ROM drive of the drive map.
  bool (*is_cd_drive)(int32_t drive);
  /// Volume serial number of the disc in the drive (0 when unknown).
  uint32_t (*volume_serial)(int32_t drive);
};

/// The table in use (the sector library's entries unless replaced).
const SectorApi &sector_api();
/// Replaces the table (nullptr restores the default). For tests.
void set_sector_api(const SectorApi *api);

}  // namespace dravik
