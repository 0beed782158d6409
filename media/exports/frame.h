// The library's frame around the source: path modes and flushing, the
// callback queue exports, and the reset to defaults.
#pragma once

#include <cstdint>

#include "media/media_api.h"

namespace dravik {

struct State;

int32_t flush(State &s, int32_t which);
void queue_callback(State &s, DravikCallback fn, void *item);
int32_t run_callbacks(State &s, int32_t budget_ms);
void reset_state(State &s);
/// Empties the audio ring, its packet counter and the callback queue.
void flush_audio(State &s);

}  // namespace dravik
