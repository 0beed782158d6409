// The generated test streams and ffmpeg's stream copies of them. The shared
// test-media folder is used when it holds them; otherwise they are made
// here with ffmpeg, once per build tree.
#pragma once

#include <string>

namespace demux_test {

/// Path of a stream or of one of its references ("X.video.es",
/// "X.audio.es", "X.ac3", "X.lpcm.pcm"); "" when it cannot be had.
std::string reference(const std::string &name);

}  // namespace demux_test
