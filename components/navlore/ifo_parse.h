// Parsing of DVD information files from their bytes: the title-set file
// (attributes, title table, program chains with cells, palettes and control
// tables) and the disc's title table. Every read is bounds-checked; counts
// past the format's limits are clamped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace navlore {

struct Cell {
  uint32_t first = 0;  // first sector
  uint32_t end = 0;    // last sector + 1
  int32_t ms = 0;
};

struct Chain {
  int32_t ms = 0;
  uint32_t palette[16] = {};
  uint16_t audio_control[8] = {};
  uint32_t spu_control[32] = {};
  std::vector<Cell> cells;
  // First cell (from 0) of each program, in order; ends before an entry
  // that lies past the cell count or does not move forward.
  std::vector<int32_t> program_cells;
};

struct SetInfo {
  uint32_t video = 0;
  int32_t audio_count = 0;
  uint8_t audio[8 * 8] = {};
  int32_t spu_count = 0;
  uint8_t spu[32 * 6] = {};
  std::vector<Chain> chains;
  // Chain index (from 0) of each title of the set, -1 when it names none.
  std::vector<int32_t> title_chains;
};

struct DiscTitle {
  int32_t set = 0;
  int32_t set_title = 0;
};

// Milliseconds of a 4-byte BCD time (hours, minutes, seconds, frames with
// the rate in the top two bits).
int32_t bcd_time_ms(const uint8_t *t);
// A title-set information file -> true when its header and chain table
// could be read.
bool parse_title_set(const uint8_t *bytes, size_t size, SetInfo &out);
// The disc's information file -> its titles, in order.
bool parse_disc(const uint8_t *bytes, size_t size, std::vector<DiscTitle> &out);

// The id a VOB carries for audio stream `number` of the chain, or 0.
uint8_t audio_stream_id(const SetInfo &set, const Chain &chain, int32_t number);
// The id for subpicture stream `number` (the wide form on 16:9 sets), or 0.
uint8_t spu_stream_id(const SetInfo &set, const Chain &chain, int32_t number);
// Whether the video attributes say 16:9.
inline bool is_wide(uint32_t video) { return ((video >> 10) & 3) == 3; }

// Chapters of a chain as [first, end) sector ranges with their times.
struct ChapterSpan {
  uint32_t first = 0;
  uint32_t end = 0;
  int32_t start_ms = 0;
  int32_t length_ms = 0;
};
std::vector<ChapterSpan> chain_chapters(const Chain &chain);

}  // namespace navlore
