// The engine's use of the colour converters: publishing the shown picture
// for the frame-copy routines, the routines themselves, the converter
// settings, and RGB output for host displays that take RGB.
#pragma once

#include <cstdint>

#include "video/video_api.h"

namespace kestrum {

/// Makes `picture` (or none, for null) the one the frame-copy routines copy.
void publish_shown_picture(const KestrumPicture *picture);
/// The frame-copy routine of VCMD_FRAME_COPY (smooth false) or VCMD_FRAME_COPY_SMOOTH (true).
KestrumFrameCopy frame_copy_routine(bool smooth);
void output_set_brightness(int32_t value);
void output_set_mono_tint(int32_t cb, int32_t cr);
/// Converts a picture to 32-bit pixels (B, G, R, 0), display size, at dst
/// with `pitch` bytes per line. 1, or 0 without converters.
int32_t convert_rgb32(const KestrumPicture &picture, int32_t colour, uint8_t *dst, int32_t pitch);

}  // namespace kestrum
