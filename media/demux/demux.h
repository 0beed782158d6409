// The demultiplexer's entry points as the rest of the library calls them.
// The parse step runs in a reader's thread under the parse lock and
// consumes packs of the block in hand, filling the rings.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

enum class StepReader { video, audio };

enum class StepResult {
  progress,  // the reader may look at its ring and try again
  none,      // nothing more can be had now (end of data, program end)
  blocked,   // the other ring is full and its reader is active: wait for it
};

/// One parse step for the reader who.
StepResult parse_step(State &s, StepReader who);
/// Applies a pending switch of the selected audio stream (preferred list).
void apply_audio_switch(State &s);
/// Run by SysOpen after the first block is loaded (except in the raw
/// elementary modes): transport-stream detection, the optional wait for a
/// system header and the byte-rate estimate. Leaves the source at its start.
void opening_analysis(State &s);
/// Switches to transport-stream conversion when the block in hand looks
/// like a transport stream, and converts from the start again. -> true then.
bool enter_transport_mode_if_needed(State &s);
/// Extraction's step: parses the next pack (or rebuilt packet), whatever it
/// carries; a program end code is consumed. -> false at the end of data
/// (the end flag is then set).
bool parse_next_unit(State &s);
/// Forget partial parser state after the source moved or was reset (bit
/// reader, subpicture and sink assembly, transport-stream buffers).
void reset_parser(State &s);
/// Forget the transport-stream mode and its buffers (at close).
void release_parser(State &s);
/// Notes that a reader pulled (its ring is being drained).
void note_reader_active(State &s, StepReader who);

}  // namespace dravik
