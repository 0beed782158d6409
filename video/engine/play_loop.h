// One play step of the playback thread: runs the loop of the current play
// mode until the play stops, is halted, or the stream ends.
#pragma once

#include <cstdint>

namespace kestrum {

struct Engine;

/// Milliseconds per picture by frame_rate_code (0..15).
int32_t frame_period_ms(int32_t frame_rate_code);

/// Runs the play loop; returns 0 when there was nothing to play.
int32_t play_step(Engine &e);

}  // namespace kestrum
