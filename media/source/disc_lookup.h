// Locating files on a disc by its ISO 9660 directory, for reading them by
// sectors instead of through the file system: a Video CD file (raw 2352-byte
// sectors) and the VIDEO_TS folder of a DVD (2048-byte sectors).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

struct DiscExtent {
  int32_t first_sector = 0;
  int32_t sectors = 0;
};

/// Path "X:\DIR\FILE" (either separator): the first component after the
/// drive is looked up in the type-L path table, FILE in that directory.
std::optional<DiscExtent> iso9660_lookup(int32_t drive, std::string_view path);

/// A file or folder of a disc's ISO 9660 directory tree.
struct DiscEntry {
  int32_t first_sector = 0;
  int32_t bytes = 0;  // data length of the record (2048 per sector)
  bool directory = false;
  bool has_xa = false;  // the record carries an XA system-use field
  bool form2 = false;   // XA attribute: Mode 2 Form 2 sectors (MPEGAV, SEGMENT)
  uint8_t xa[16] = {};  // the 14 XA bytes, zero-padded
};

/// Path "X:\A\B\FILE" (either separator, any case, no ";1") walked from the
/// root directory of the disc in drive, read as 2048-byte sectors.
std::optional<DiscEntry> disc_entry_lookup(int32_t drive, std::string_view path);

/// Drive index of a path "X:..." (0 = A:), -1 when it names no drive.
int32_t drive_of_path(std::string_view path);

/// The cached listing of a DVD's VIDEO_TS folder.
class VideoTsListing {
 public:
  struct Entry {
    int32_t first_sector;
    int32_t sectors;
    std::string name;  // "VIDEO_TS\VTS_01_1.VOB", without the ";1"
  };

  /// Looks path ("X:\VIDEO_TS\VTS_01_1.VOB", either separator, any case) up,
  /// reading the listing of drive first when none is cached or the disc's
  /// serial number changed.
  std::optional<DiscExtent> lookup(int32_t drive, std::string_view path);
  void forget();
  const std::vector<Entry> &entries() const { return entries_; }

 private:
  bool load(int32_t drive);

  std::vector<Entry> entries_;
  bool loaded_ = false;
  int32_t drive_ = -1;
  uint32_t serial_ = 0;
};

}  // namespace dravik
