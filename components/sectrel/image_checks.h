// Checks on disc image descriptions before libcdio sees them. libcdio 2.1
// trusts what an image says: a damaged NRG chunk list reaches its asserts
// (which end the process under its default log handler) and a cue sheet
// with tracks out of order gives lengths near 2^32. These checks refuse
// such images with a reason, so that the drive reports "not ready".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sectrel {

/// One track of a cue sheet: its number, bytes per sector in the image
/// file and where INDEX 01 lies (sectors from the start of the file).
struct CueTrack {
  int number = 0;
  std::string mode;  // "MODE2/2352", "AUDIO", ...
  int sector_bytes = 0;
  int32_t start = 0;
};

struct CueSheet {
  bool ok = false;
  std::string reason;  // why it was refused
  std::string file;    // the one FILE the sheet names
  std::vector<CueTrack> tracks;
  bool mode2_2336 = false;  // every track is MODE2/2336
};

/// Parses a cue sheet. image_bytes is the size of the image file it names
/// (-1 when unknown: positions are then not checked against the end).
/// Refused: no track, more than one FILE, a track number outside 1..99 or
/// not above the previous one, a track without INDEX 01, a position that
/// is malformed, not after the previous track's or at/after the end of the
/// image, and MODE2/2336 mixed with other modes.
CueSheet parse_cue(std::string_view text, int64_t image_bytes);

/// Sector size of a cue track mode, 0 when unknown.
int cue_mode_sector_bytes(std::string_view mode);

/// Checks the chunk list of an NRG image. tail holds the file's bytes from
/// tail_offset to its end (file_bytes). -> empty when libcdio may open it,
/// else the reason.
std::string check_nrg(const uint8_t *tail, size_t tail_len, uint64_t tail_offset, uint64_t file_bytes);

/// Where the chunk list of an NRG image of file_bytes begins, read from its
/// last 12 bytes (footer); -1 when there is no valid footer.
int64_t nrg_chunk_offset(const uint8_t footer[12], uint64_t file_bytes);

}  // namespace sectrel
