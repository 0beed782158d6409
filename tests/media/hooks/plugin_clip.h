// The YUV4MPEG2 clip the plug-in tests read (4 s of testsrc2 at 352x288,
// 25 fps) and ffmpeg's decode of it, from the shared test media when the
// topic generator made them, else made here with ffmpeg.
#pragma once

#include <string>

namespace hooks_test {

/// Path of the clip ("" when ffmpeg is missing).
std::string y4m_clip();
/// Path of ffmpeg's raw 4:2:0 pictures of the clip.
std::string y4m_clip_reference();

}  // namespace hooks_test
