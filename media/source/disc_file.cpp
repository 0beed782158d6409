#include "media/source/disc_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "components/sectrel/sectrel.h"
#include "media/source/disc_lookup.h"
#include "media/source/sector_api.h"
#include "platform/file.h"

namespace dravik {

namespace {

constexpr int32_t kRaw = 2352;
constexpr int32_t kData = 2048;

void put_le32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// "RIFF", size - 8, "CDXA", "fmt ", 16, the record's XA bytes, "data",
// sectors x 2352.
void write_cdxa_header(DiscFile &f, const uint8_t xa[16]) {
  uint8_t *h = f.header;
  const uint32_t data = static_cast<uint32_t>(static_cast<int64_t>(f.sectors) * kRaw);
  std::memcpy(h, "RIFF", 4);
  put_le32(h + 4, data + kCdxaHeaderBytes - 8);
  std::memcpy(h + 8, "CDXAfmt ", 8);
  put_le32(h + 16, 16);
  std::memcpy(h + 20, xa, 16);
  std::memcpy(h + 36, "data", 4);
  put_le32(h + 40, data);
}

// Reads sectors [first, first + count) of the file's raw or data form into
// dst, where the file's sector size is unit.
bool read_sectors(const DiscFile &f, int32_t first, int32_t count, uint8_t *dst) {
  const SectorApi &api = sector_api();
  const int32_t at = f.first_sector + first;
  if (f.form2) return api.read_raw(f.drive, dst, at, count) != 0;
  return api.read_data(f.drive, dst, at, count) >= count * kData;
}

}  // namespace

std::optional<DiscFile> find_disc_file(std::string_view path) {
  const int32_t drive = drive_of_path(path);
  if (drive < 0) return std::nullopt;
  const SectorApi &api = sector_api();
  if (!api.is_cd_drive(drive)) return std::nullopt;
  if (platform::file_exists(std::string(path).c_str())) return std::nullopt;
  if (!api.command(0, SECTREL_CMD_READY, 0) || !api.open_drive(drive)) return std::nullopt;
  auto e = disc_entry_lookup(drive, path);
  if (!e || e->directory) return std::nullopt;
  DiscFile f;
  f.drive = drive;
  f.first_sector = e->first_sector;
  f.form2 = e->form2;
  if (f.form2) {
    f.sectors = e->bytes / kData;
    f.size = kCdxaHeaderBytes + static_cast<int64_t>(f.sectors) * kRaw;
    write_cdxa_header(f, e->xa);
  } else {
    f.sectors = static_cast<int32_t>((static_cast<int64_t>(e->bytes) + kData - 1) / kData);
    f.size = e->bytes;
  }
  return f;
}

int32_t read_disc_file(const DiscFile &f, int64_t pos, uint8_t *dst, int32_t len) {
  if (pos < 0 || len <= 0 || pos >= f.size) return 0;
  if (len > f.size - pos) len = static_cast<int32_t>(f.size - pos);
  int32_t done = 0;
  if (f.form2 && pos < kCdxaHeaderBytes) {
    done = std::min<int32_t>(len, static_cast<int32_t>(kCdxaHeaderBytes - pos));
    std::memcpy(dst, f.header + pos, static_cast<size_t>(done));
  }
  const int32_t unit = f.form2 ? kRaw : kData;
  const int64_t base = f.form2 ? kCdxaHeaderBytes : 0;
  uint8_t one[kRaw];
  while (done < len) {
    const int64_t rel = pos + done - base;
    const int32_t sector = static_cast<int32_t>(rel / unit);
    const int32_t skip = static_cast<int32_t>(rel % unit);
    const int32_t want = len - done;
    if (skip == 0 && want >= unit) {
      // Whole sectors straight into the caller's buffer, 32 at most a time.
      const int32_t count = std::min(want / unit, 32);
      if (!read_sectors(f, sector, count, dst + done)) break;
      done += count * unit;
      continue;
    }
    if (!read_sectors(f, sector, 1, one)) break;
    const int32_t n = std::min(unit - skip, want);
    std::memcpy(dst + done, one + skip, static_cast<size_t>(n));
    done += n;
  }
  return done;
}

}  // namespace dravik
