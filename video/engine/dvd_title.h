// The DVD title set of the file being opened: the path forms that name one,
// the title-set record from the DVD information component, and what the
// engine takes from it (palette for the subpicture decoder, the media
// layer's rate divisor, display aspect, stream attribute copies).
#pragma once

#include <cstdint>

namespace kestrum {

/// At every open, before the source is probed.
void dvd_title_open(const char *path);
/// Once the picture size is known: the title's display aspect, if any.
void dvd_title_apply_aspect();
/// Stream counts (-1 when not from a DVD title) and attribute copies.
int32_t dvd_audio_count();
int32_t dvd_spu_count();
const uint8_t *dvd_audio_attributes();
const uint8_t *dvd_spu_attributes();
/// 1 when the open path is the VIDEO_TS folder of a CD-ROM drive.
int32_t dvd_disc();
/// Command 160: hands the host's navigation record on.
void dvd_navigation_record(const void *record);

}  // namespace kestrum
