// AVI sources: the open file, its video and audio stream lists and the two
// playback positions, behind the AVI exports. One process-wide record under
// one lock; the video engine reads frames itself from the stream handles,
// the audio engine pulls sound through avi_read_audio.
#pragma once

#include <cstdint>

#include "media/media_api.h"

namespace dravik {

constexpr int32_t kAviMaxStreams = 64;
/// Ring levels the engines read while an AVI source is open.
constexpr int32_t kAviVideoAvail = 10000;
constexpr int32_t kAviAudioAvail = 1000;

int32_t avi_init();
int32_t avi_exit();
/// -> 0 video and audio, 1 video only, 2 audio only, 3 none / not AVI.
int32_t avi_probe_file(const char *path, int32_t *duration_ms);
/// Opens path as the AVI source. -> false when no stream is kept.
bool avi_open(const char *path, bool *has_video, bool *has_audio, int64_t *longest_ms);
void avi_close();

int32_t avi_video_count();
DravikAviStream *const *avi_video_streams();
DravikAviStream *avi_select_video(int32_t index);
DravikAviStream *avi_current_video();
int32_t avi_audio_count();
DravikAviStream *const *avi_audio_streams();
DravikAviStream *avi_select_audio(int32_t index);
DravikAviStream *avi_current_audio();
int32_t avi_audio_clock();
int32_t avi_video_time();
int32_t avi_next_frame();
int32_t avi_skip_to_key();
int32_t avi_read_audio(void *buf, int32_t len);
int32_t avi_seek(int32_t value, int32_t origin);
int32_t avi_sync_audio();
int32_t avi_at_end();

}  // namespace dravik
