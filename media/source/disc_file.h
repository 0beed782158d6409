// Files of a mapped drive, found through the disc's ISO 9660 directory and
// read by sectors: nothing is mounted. A Form 2 file (MPEGAV, SEGMENT)
// appears as the operating system presented it, a raw-sector RIFF CDXA
// file (a 44-byte header, then 2352-byte sectors); any other file as its
// 2048-byte sectors, cut to its length.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dravik {

constexpr int32_t kCdxaHeaderBytes = 44;

struct DiscFile {
  int32_t drive = -1;
  int32_t first_sector = 0;
  int32_t sectors = 0;
  bool form2 = false;
  int64_t size = 0;  // bytes as presented
  uint8_t header[kCdxaHeaderBytes] = {};
};

/// The file "X:/DIR/FILE" (either separator, any case) names on a mapped
/// drive. None when the path names no mapped drive, an ordinary file of
/// that name exists (it is read as it is), sector access is unavailable,
/// or the disc holds no such file.
std::optional<DiscFile> find_disc_file(std::string_view path);

/// len bytes of the file from pos; -> bytes read (fewer at its end, 0 when
/// a sector cannot be read).
int32_t read_disc_file(const DiscFile &file, int64_t pos, uint8_t *dst, int32_t len);

}  // namespace dravik
