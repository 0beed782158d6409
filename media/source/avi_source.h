// AVI sources: probing and the AVI export family. Until the AVI reader is
// in place every AVI answers "not playable here" and the family its
// "none" results.
#pragma once

#include <cstdint>

namespace dravik {

/// -> 0 video and audio, 1 video only, 2 audio only, 3 none / not AVI.
int32_t avi_probe(const char *path, int32_t *duration_ms);

}  // namespace dravik
