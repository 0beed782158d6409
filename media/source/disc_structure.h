// What the media library knows of disc structure: Video CD recognition
// from the table of contents and the first sectors, and joining the VOB
// parts of a DVD title set into one extent of the disc.
#pragma once

#include <cstdint>

#include "media/media_api.h"

namespace dravik {

struct State;

/// Command 24 on drive: -> number of MPEG tracks (last track - 1) and sets
/// the Video CD kind (command 25), or 0 (kind 0) when the disc is no Video
/// CD or its last track lies outside 2..99.
int32_t recognise_video_cd(State &s, int32_t drive);

/// Command 65: finds parts first..last of the joined-set name one after
/// another on the disc and fills the request's first-sector and length
/// fields -> 1; otherwise 0 with the fields untouched.
int32_t join_title_set(State &s, const DravikJoinRequest *request);

}  // namespace dravik
