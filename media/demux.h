// The demultiplexer's entry points as the rest of the library calls them.
// The parse step runs in a reader's thread under the parse lock and
// consumes packs of the block in hand, filling the rings.
#pragma once

namespace dravik {

struct State;

enum class StepReader { video, audio };

/// One parse step for the reader who. -> true when it made progress (the
/// reader may try again), false when nothing more can be had now.
bool parse_step(State &s, StepReader who);
/// Applies a pending switch of the selected audio stream (preferred list).
void apply_audio_switch(State &s);
/// Run by SysOpen after the first block is loaded (except in the raw
/// elementary modes): transport-stream detection, the optional wait for a
/// system header and the byte-rate estimate. Leaves the source at its start.
void opening_analysis(State &s);
/// Forget partial parser state after the source moved or was reset (bit
/// reader, subpicture and sink assembly).
void reset_parser(State &s);

}  // namespace dravik
