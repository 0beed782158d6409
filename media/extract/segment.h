// Segment saving: a byte range of an MPEG source copied to a file so that
// it begins at a sequence header and ends cleanly (commands 0, 1, 4, 6, 2,
// 5). Raw-sector sources are written as the 2324-byte payloads of a Video
// CD track, with their packs' SCRs renumbered.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

/// Command 4: saves the reading state and moves to the segment start. -> 1,
/// or 0 without a source or when the start is not below the end.
int32_t segment_begin(State &s);
/// Command 6: the template packs, then the source from the first sequence
/// header or GOP at or after the start. -> bytes written, 0 when the source
/// ends first or a write fails.
int32_t segment_head(State &s, int fd);
/// Command 2: the next block. -> the position reached less the segment
/// start, or -1 at the end of the source or when the write failed.
int32_t segment_copy(State &s, int fd);
/// Command 5: the tail up to the next sequence header or GOP (or to the end
/// of the source), closed by the end codes; restores the reading state.
/// -> 1, or 0 when the codes were not found or a write of the segment failed.
int32_t segment_finish(State &s, int fd);

}  // namespace dravik
