// Whether a source's pictures are meant for a 16:9 display, from its first
// sequence header (the engine reports 16:9 only when told by a title set).
#pragma once

#include <string>

namespace fennick {

/// True when the first sequence header of `path` says 16:9
/// (aspect_ratio_information 3). Opens the source through the media layer
/// and closes it again: call while the engine has nothing open.
bool header_says_wide(const std::string &path);

}  // namespace fennick
