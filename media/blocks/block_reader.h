// Hands the demultiplexer its 64 KiB blocks. This is the plain,
// synchronous reader: one block per request, read from the source under
// the I/O lock. The read-ahead thread replaces these bodies; the calls and
// the moments they are made stay as they are.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

/// Blocks to keep ahead: 16 for DVD sources, 1 (single block) otherwise.
void set_block_count(State &s, int32_t count);
/// The next block of the source into dst (64 KiB); -> bytes, 0 at the end.
int32_t take_next_block(State &s, uint8_t *dst);
/// Takes the next block into the parse buffer and rewinds the bit reader
/// to it; a block of 0 bytes sets the end flag. -> bytes.
int32_t load_parse_block(State &s);
/// Wake the reader (after every read export and every seek).
void wake_block_reader(State &s);
/// Stop reading ahead before the source moves; drops blocks read ahead.
void stop_block_reader_for_seek(State &s);
/// Stop reading ahead for good and return to single-block mode.
void stop_block_reader_for_close(State &s);

}  // namespace dravik
