// Which streams a source carries and which are taken: the seen lists with
// their aging, storing packets into the rings for the selected ids, the
// audio stream switch, and the assembly of subpicture units for the host.
#pragma once

#include <cstdint>

namespace dravik {

struct State;
class Ring;

enum class SeenKind { video, audio, spu };

/// Notes one packet of id in its seen list: every counter of the list ages
/// by one, the id's own counter is renewed, ids whose counter runs out are
/// dropped (and a selection that fell out moves to the first id left).
void note_seen(State &s, SeenKind kind, int32_t id);
/// Adds id to a list without a counter (ids named by a system header).
void add_seen_unaged(State &s, SeenKind kind, int32_t id);
/// Empties the seen lists (the stream changed from MPEG-1 to MPEG-2 packs).
void clear_seen(State &s);

/// Free bytes of a ring that a writer may fill without touching bytes the
/// reader has not taken.
uint32_t ring_room(const Ring &r);

/// Stores n payload bytes at the cursor into the video ring when id is the
/// selected video id (the first one stored fixes it). -> true when stored.
/// The payload is consumed either way.
bool store_video(State &s, int32_t id, int32_t n);
/// The same for the audio ring; header (hn bytes) goes in front of the
/// payload as one record (LPCM framing), or nothing when hn is 0.
bool store_audio(State &s, int32_t id, int32_t n, const uint8_t *header, int32_t hn);

/// Applies a pending switch of the selected audio stream (preferred list).
void apply_audio_switch(State &s);
/// Selects the first preferred subpicture number that is seen.
void reselect_subpicture(State &s);

/// A subpicture packet of number (0..31) with n payload bytes at the cursor.
void take_subpicture(State &s, int32_t number, int32_t n);

}  // namespace dravik
