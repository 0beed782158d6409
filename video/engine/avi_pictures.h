// Pictures of an AVI source. The media layer keeps the file, its streams
// and the video position (a sample number); the engine decodes the selected
// video stream's frames through the platform's decompressors and takes them
// as finished 4:2:0 planes, through a decoder table of its own as it does
// for a plug-in's pictures. Times are the AVI's own milliseconds.
//
// The media layer's video position names the picture on show, so that the
// sound, aligned to that position after an open or a seek, starts with it
// and a relative seek counts from it.
#pragma once

#include <cstdint>

namespace kestrum {

/// Opens the decompressor of the AVI source's first video stream and makes
/// it the source of pictures. false (nothing installed) when there is no
/// video stream or no decompressor for it.
bool use_avi_pictures();
/// Back to the MPEG decoder; closes the decompressor. Harmless when unused.
void drop_avi_pictures();
/// An AVI source's pictures are in use.
bool avi_pictures_active();

// The rest is called under engine_lock.

/// Display time (ms) of the picture on show, -1 when there is none.
int32_t avi_picture_time();
/// How long the picture on show stays on screen (ms): from its time to the
/// next picture's (the stream's end after the last one).
int32_t avi_picture_gap_ms();
/// Microseconds per frame of the video stream.
int32_t avi_frame_period_us();
/// The AVI source has a sound stream selected.
bool avi_has_audio();
/// Shows the first picture at or after ms: the media layer seeks to the key
/// frame at or before it and the frames from there are decoded. 1, or 0
/// when nothing could be shown.
int32_t avi_show_time(int32_t ms);

}  // namespace kestrum
