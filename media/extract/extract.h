// Extraction of elementary streams to files: the opens (commands 42, 77,
// 79), the step that parses one pack (44), the close (43), and the sink the
// demultiplexer hands each payload to while extraction is on.
#pragma once

#include <cstdint>

#include "media/extract/extract_state.h"

namespace dravik {

struct State;

/// True while payloads go to extraction instead of the rings.
bool extraction_on(const State &s);

/// Command 42: reset, probe (unless told not to), open without the opening
/// analysis and switch extraction on. -> source handle or -1.
int32_t extract_open(State &s, const char *path, bool reset_first);
/// Command 79: extraction on for the source already open.
void extract_enable(State &s);
/// Command 44: parses one pack. -> SCR / 2 of the last pack header.
uint32_t extract_step(State &s);
/// Command 43: closes the source and every output. -> 0, or -1 when an
/// output was lost.
int32_t extract_close(State &s);

/// The n payload bytes at the cursor belong to stream index of kind: they
/// are gathered and handed to the writer or appended to the stream's file.
/// The payload is consumed either way.
void extract_payload(State &s, ExtractKind kind, int32_t index, int32_t n);

}  // namespace dravik
