#include "media/source/disc_lookup.h"

#include <cstring>
#include <memory>

#include "media/source/sector_api.h"

namespace dravik {

namespace {

constexpr int kSector = 2048;
constexpr int kRawSector = 2352;
constexpr int kRawUserData = 24;
constexpr int kMaxDirSectors = 32;
constexpr size_t kMaxDirName = 79;

bool is_sep(char c) { return c == '\\' || c == '/'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = is_sep(a[i]) ? '\\' : upper(a[i]);
    char y = is_sep(b[i]) ? '\\' : upper(b[i]);
    if (x != y) return false;
  }
  return true;
}

int32_t le32(const uint8_t *p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

// One sector's 2048 bytes of user data: a raw sector (user data at 24,
// each read tried up to 3 times) or a data sector.
class SectorSource {
 public:
  SectorSource(int32_t drive, bool raw) : drive_(drive), raw_(raw) {}
  bool read(int32_t sector, uint8_t *out) {
    const SectorApi &api = sector_api();
    if (!raw_) return api.read_data(drive_, out, sector, 1) >= kSector;
    uint8_t buf[kRawSector];
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (api.read_raw(drive_, buf, sector, 1)) {
        std::memcpy(out, buf + kRawUserData, kSector);
        return true;
      }
    }
    return false;
  }

 private:
  int32_t drive_;
  bool raw_;
};

// Directory's extent by name from the type-L path table.
std::optional<int32_t> find_directory(SectorSource &src, std::string_view dir) {
  uint8_t sector[kSector];
  if (!src.read(16, sector)) return std::nullopt;
  int32_t table = le32(sector + 140);
  if (!src.read(table, sector)) return std::nullopt;
  size_t at = 0;
  while (at + 8 <= kSector) {
    size_t len = sector[at];
    if (len == 0) break;
    if (at + 8 + len > kSector) break;  // record runs past the sector
    int32_t extent = le32(sector + at + 2);
    std::string_view name(reinterpret_cast<const char *>(sector + at + 8), len);
    if (name.size() > kMaxDirName) name = name.substr(0, kMaxDirName);
    if (same_name(name, dir.substr(0, kMaxDirName))) return extent;
    at += 8 + len + (len & 1);
  }
  return std::nullopt;
}

// Reads the directory at extent (up to 32 sectors) and calls fn for every
// record with (extent, data length, name without ";1", the whole record).
template <class Fn>
bool walk_directory(SectorSource &src, int32_t extent, Fn &&fn) {
  auto buf = std::make_unique<uint8_t[]>(kMaxDirSectors * kSector);
  if (!src.read(extent, buf.get())) return false;
  int32_t bytes = le32(buf.get() + 10);
  int32_t count = bytes / kSector;
  if (count < 1) count = 1;
  if (count > kMaxDirSectors) count = kMaxDirSectors;
  for (int32_t i = 1; i < count; ++i) {
    if (!src.read(extent + i, buf.get() + i * kSector)) return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t *s = buf.get() + i * kSector;
    size_t at = 0;
    while (at + 33 <= kSector) {
      size_t rec = s[at];
      if (rec == 0) break;
      size_t name_len = s[at + 32];
      if (rec < 33 || at + rec > kSector || 33 + name_len > rec) break;  // damaged record
      std::string_view name(reinterpret_cast<const char *>(s + at + 33), name_len);
      if (name.size() >= 2 && name[name.size() - 2] == ';') name.remove_suffix(2);
      if (fn(le32(s + at + 2), le32(s + at + 10), name, s + at)) return true;
      at += rec;
    }
  }
  return true;
}

// "X:\DIR\FILE" -> DIR and FILE.
bool split_disc_path(std::string_view path, std::string_view *dir, std::string_view *file) {
  if (path.size() < 4 || path[1] != ':' || !is_sep(path[2])) return false;
  std::string_view rest = path.substr(3);
  size_t sep = 0;
  while (sep < rest.size() && !is_sep(rest[sep])) ++sep;
  *dir = rest.substr(0, sep);
  size_t last = path.find_last_of("\\/");
  *file = path.substr(last + 1);
  return !dir->empty() && !file->empty() && sep < rest.size();
}

// A directory record's XA system-use field (after the name and its pad):
// owner, attributes (big-endian), "XA", file number, reserved.
constexpr int kXaBytes = 14;
constexpr uint16_t kXaForm2 = 0x1000;
constexpr uint8_t kIsDirectory = 0x02;

bool same_entry_name(std::string_view record_name, std::string_view wanted) {
  // "NAME." on the disc is "NAME" in a path.
  if (!record_name.empty() && record_name.back() == '.' && !wanted.empty() && wanted.back() != '.')
    record_name.remove_suffix(1);
  return same_name(record_name, wanted);
}

DiscEntry entry_of(int32_t first, int32_t bytes, const uint8_t *record) {
  DiscEntry e;
  e.first_sector = first;
  e.bytes = bytes < 0 ? 0 : bytes;
  e.directory = (record[25] & kIsDirectory) != 0;
  const size_t name_len = record[32];
  const size_t xa_at = 33 + name_len + ((name_len & 1) ? 0 : 1);
  if (xa_at + kXaBytes <= record[0] && record[xa_at + 6] == 'X' && record[xa_at + 7] == 'A') {
    std::memcpy(e.xa, record + xa_at, kXaBytes);
    e.has_xa = true;
    e.form2 = ((record[xa_at + 4] << 8 | record[xa_at + 5]) & kXaForm2) != 0;
  }
  return e;
}

}  // namespace

std::optional<DiscEntry> disc_entry_lookup(int32_t drive, std::string_view path) {
  if (path.size() < 4 || path[1] != ':' || !is_sep(path[2])) return std::nullopt;
  SectorSource src(drive, false);
  uint8_t pvd[kSector];
  if (!src.read(16, pvd) || std::memcmp(pvd + 1, "CD001", 5) != 0) return std::nullopt;
  DiscEntry at;
  at.first_sector = le32(pvd + 156 + 2);
  at.bytes = le32(pvd + 156 + 10);
  at.directory = true;
  std::string_view rest = path.substr(3);
  while (!rest.empty()) {
    size_t sep = 0;
    while (sep < rest.size() && !is_sep(rest[sep])) ++sep;
    const std::string_view part = rest.substr(0, sep);
    rest.remove_prefix(sep < rest.size() ? sep + 1 : sep);
    if (part.empty()) continue;
    if (!at.directory) return std::nullopt;
    std::optional<DiscEntry> next;
    walk_directory(src, at.first_sector,
                   [&](int32_t first, int32_t bytes, std::string_view name, const uint8_t *record) {
                     if (name.size() == 1 && static_cast<uint8_t>(name[0]) <= 1) return false;  // . and ..
                     if (!same_entry_name(name, part)) return false;
                     next = entry_of(first, bytes, record);
                     return true;
                   });
    if (!next) return std::nullopt;
    at = *next;
  }
  return at;
}

int32_t drive_of_path(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return -1;
  char c = upper(path[0]);
  if (c < 'A' || c > 'Z') return -1;
  return c - 'A';
}

std::optional<DiscExtent> iso9660_lookup(int32_t drive, std::string_view path) {
  std::string_view dir, file;
  if (!split_disc_path(path, &dir, &file)) return std::nullopt;
  SectorSource src(drive, true);
  auto extent = find_directory(src, dir);
  if (!extent) return std::nullopt;
  std::optional<DiscExtent> found;
  walk_directory(src, *extent, [&](int32_t first, int32_t bytes, std::string_view name, const uint8_t *) {
    if (!same_name(name, file)) return false;
    found = DiscExtent{first, bytes / kSector};
    return true;
  });
  return found;
}

bool VideoTsListing::load(int32_t drive) {
  entries_.clear();
  loaded_ = false;
  SectorSource src(drive, false);
  auto extent = find_directory(src, "VIDEO_TS");
  if (!extent) return false;
  walk_directory(src, *extent, [&](int32_t first, int32_t bytes, std::string_view name, const uint8_t *) {
    // The records for the folder itself and its parent have 1-byte names.
    if (name.size() > 1 || (name.size() == 1 && static_cast<uint8_t>(name[0]) > 1)) {
      entries_.push_back({first, bytes / kSector, "VIDEO_TS\\" + std::string(name)});
    }
    return false;
  });
  loaded_ = true;
  drive_ = drive;
  serial_ = sector_api().volume_serial(drive);
  return true;
}

std::optional<DiscExtent> VideoTsListing::lookup(int32_t drive, std::string_view path) {
  if (!loaded_ || drive != drive_ || sector_api().volume_serial(drive) != serial_) {
    if (!load(drive)) return std::nullopt;
  }
  if (path.size() < 4 || path[1] != ':' || !is_sep(path[2])) return std::nullopt;
  std::string_view rest = path.substr(3);
  for (const Entry &e : entries_) {
    if (same_name(e.name, rest)) return DiscExtent{e.first_sector, e.sectors};
  }
  return std::nullopt;
}

void VideoTsListing::forget() {
  entries_.clear();
  loaded_ = false;
  drive_ = -1;
  serial_ = 0;
}

}  // namespace dravik
