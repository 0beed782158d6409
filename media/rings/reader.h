// The read exports: pulling video and audio bytes out of the rings (running
// parse steps in the caller's thread when a ring holds too little), the
// picture mark, and the level queries.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

int32_t read_video(State &s, void *buf, int32_t len);
int32_t read_audio(State &s, void *buf, int32_t len);
int32_t read_stream(State &s, int32_t id, void *buf, int32_t len);
int32_t find_picture(State &s);

}  // namespace dravik
