// One play step of the playback thread: runs the loop of the current play
// mode until the play stops, is halted, or the stream ends.
#pragma once

#include <cstdint>

namespace kestrum {

struct Engine;

/// Runs the play loop; returns 0 when there was nothing to play.
int32_t play_step(Engine &e);

}  // namespace kestrum
