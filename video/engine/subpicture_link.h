// The engine's side of the subpicture decoder: the video byte counters it
// times units by, the picture clock, mixing around presents, and the held
// picture with the subpicture burnt in for the converters.
#pragma once

#include <cstdint>

#include "video/video_api.h"

namespace kestrum {

/// Once at startup: binds the decoder's counters.
void subpicture_startup();
/// The decoder took n more video bytes.
void subpicture_note_taken(int32_t n);
/// A new current picture (after a decode step).
void subpicture_picture_shown(const KestrumPicture &picture);
/// A seek or a new stream.
void subpicture_clear();
/// Around a present: mixes into `picture`'s planes when subpictures are
/// active; -> true when they changed (then call subpicture_after_present).
bool subpicture_before_present(const KestrumPicture &picture);
void subpicture_after_present();
/// Command 172 / 173 on the current picture.
void subpicture_hold();
void subpicture_release();
/// Command 190: -> old value.
int32_t subpicture_set_burn_in(int32_t on);
/// Command 134: the overlay picture's setting routine (LumpaneSetPicture).
intptr_t overlay_picture_routine();
/// Command 145: the routine that takes a subpicture unit from the host.
intptr_t subpicture_update_routine();

}  // namespace kestrum
