#include "media/source/path_forms.h"

#include <cstring>

namespace dravik {

namespace {

constexpr char kTrackPlayer[] = "Track.Player";
constexpr char kDvb[] = "DVBStream.DVB";
constexpr int64_t kTrackFields = 2;
constexpr int64_t kJoinedFields = 10;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

int32_t le32(const uint8_t *p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool equal_ignore_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool has_extension(std::string_view path, std::string_view ext) {
  size_t dot = path.find_last_of('.');
  size_t sep = path.find_last_of("/\\");
  if (dot == std::string_view::npos || (sep != std::string_view::npos && sep > dot)) return false;
  return equal_ignore_case(path.substr(dot + 1), ext);
}

bool is_joined_set_name(std::string_view name) {
  if (name.size() < 12) return false;
  std::string tail(name.substr(name.size() - 12));
  tail[4] = 'X';
  tail[5] = 'X';
  return equal_ignore_case(tail, "VTS_XX_X.VOB");
}

JoinedSize joined_set_size(int32_t sectors) {
  if (sectors > 0xFFFFF) {
    int32_t scale = 0x70000000 / sectors;
    if (scale < 1) scale = 1;
    return {static_cast<int32_t>(static_cast<int64_t>(sectors) * scale), scale};
  }
  return {sectors * 2048, 0};
}

PathForm parse_path_buffer(const void *buffer, int64_t size) {
  PathForm f;
  if (!buffer || size <= 0) return f;
  const auto *bytes = static_cast<const uint8_t *>(buffer);
  const void *nul = std::memchr(bytes, 0, static_cast<size_t>(size));
  if (!nul) return f;  // a name must end inside the buffer
  const int64_t len = static_cast<const uint8_t *>(nul) - bytes;
  if (len == 0) return f;
  std::string name(reinterpret_cast<const char *>(bytes), static_cast<size_t>(len));
  const int64_t fields = size - len - 1;  // bytes after the NUL

  if (equal_ignore_case(name, kTrackPlayer)) {
    if (fields < kTrackFields) return f;
    f.drive = bytes[len + 1];
    f.track = bytes[len + 2] + 1;
    f.kind = PathKind::track_player;
  } else if (name == kDvb) {
    f.kind = PathKind::dvb;
  } else if (is_joined_set_name(name)) {
    if (fields < kJoinedFields) return f;
    f.first_part = bytes[len + 1];
    f.last_part = bytes[len + 2];
    f.first_sector = le32(bytes + len + 3);
    f.sectors = le32(bytes + len + 7);
    if (f.sectors < 0 || f.first_sector < 0) return f;
    f.kind = PathKind::joined_set;
  } else {
    f.kind = PathKind::file;
  }
  f.name = std::move(name);
  return f;
}

}  // namespace dravik
