// One play step of the playback thread: runs the loop of the current play
// mode once (a few pictures); the thread calls again while the play goes on.
#pragma once

#include <cstdint>

namespace kestrum {

struct Engine;

/// Runs the play loop once; returns 0 when there was nothing to play.
int32_t play_step(Engine &e);

}  // namespace kestrum
