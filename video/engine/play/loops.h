// The play loops the playback thread runs, one per play mode. Each call
// handles a few pictures and returns so that the thread can look at its
// flags.
#pragma once

#include <cstdint>

namespace kestrum {
struct Engine;
}

namespace kestrum::play {

struct LoopContext;

/// Play mode 0, MPEG-1 (and MPEG-2 when the MPEG-2 loop is switched off).
void normal_loop(Engine &e, LoopContext &c);
/// Play mode 0, MPEG-2 with the MPEG-2 loop on.
void mpeg2_loop(Engine &e, LoopContext &c);
/// Play mode 1: anchors only, quickly.
void fast_loop(Engine &e, LoopContext &c);
/// Play mode 2: one picture per slowFactor x 40 ms.
void slow_loop(Engine &e, LoopContext &c);
/// Scan mode: anchors only until scan mode is left.
void scan_loop(Engine &e, LoopContext &c);
/// Audio-only opens: keep the sound fed.
void audio_only_loop(Engine &e);
/// Play mode 0 of AVI sources: paced by the AVI's own times.
void avi_loop(Engine &e, LoopContext &c);

// Steps the two normal loops share.
/// Step 1: at the end of the video data, lets the sound finish (pacing at
/// most 8 frame periods per call) and stops. true when the loop must return.
bool finish_at_end(Engine &e, LoopContext &c);
/// Step 2: opens the sound late when the audio ring has data by now.
void open_late_audio(Engine &e);

}  // namespace kestrum::play
