// AVI sources seen from the source layer: the probe, and the open, seek and
// close that SysOpen, SysSeek and SysClose route to for an AVI file.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

/// -> 0 video and audio, 1 video only, 2 audio only, 3 none / not AVI.
int32_t avi_probe(const char *path, int32_t *duration_ms);
/// Opens path as the AVI source of s. -> the AVI handle, or -1.
int32_t open_avi_source(State &s, const char *path);
/// SysSeek on an AVI source: value in ms. -> the target ms.
int64_t seek_avi_source(int64_t value, int32_t origin);
void close_avi_source(State &s);

}  // namespace dravik
