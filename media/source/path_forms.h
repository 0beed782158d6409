// The path buffers SysProbe and SysOpen accept: plain paths, the CD track
// name "Track.Player" and a joined DVD title set, the last two followed by
// binary fields after the name's NUL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravik {

enum class PathKind { refused, file, track_player, dvb, joined_set };

struct PathForm {
  PathKind kind = PathKind::refused;
  std::string name;
  // "Track.Player"
  int32_t drive = 0;
  int32_t track = 0;  // 1-based
  // Joined title set
  int32_t first_part = 0;
  int32_t last_part = 0;
  int32_t first_sector = 0;
  int32_t sectors = 0;
};

/// Reads a buffer of size bytes. Refused: no buffer, no NUL inside it, an
/// empty name, or a special name whose binary fields do not fit.
PathForm parse_path_buffer(const void *buffer, int64_t size);

/// True when name's last 12 characters read VTS_nn_X.VOB (any case).
bool is_joined_set_name(std::string_view name);

/// Size and sector scale of a joined set of sectors 2048-byte sectors: sets
/// longer than 0xFFFFF sectors count in units of 1/scale sector so that the
/// size fits in 31 bits.
struct JoinedSize {
  int32_t size;
  int32_t scale;  // 0 = positions are bytes
};
JoinedSize joined_set_size(int32_t sectors);

/// Case-insensitive comparison of the extension (the text after the last
/// dot of the last path component) with ext.
bool has_extension(std::string_view path, std::string_view ext);
bool equal_ignore_case(std::string_view a, std::string_view b);

}  // namespace dravik
