// The AVI family of exports (53-71): shells over the AVI source record that
// let no exception out.
#include "media/avi/avi_family.h"
#include "media/media_api.h"
#include "media/state.h"

namespace {

template <class R, class F>
R shielded(R fallback, F &&body) {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

}  // namespace

DRAVIK_API int32_t SysAviInit(void) { return shielded(0, dravik::avi_init); }
DRAVIK_API int32_t SysAviExit(void) { return shielded(0, dravik::avi_exit); }
// Like SysProbe, an AVI probe that finds streams makes the next SysOpen open
// the file as AVI (the audio engine probes this way before its open).
DRAVIK_API int32_t SysAviProbe(const char *path, int32_t *duration_ms) {
  return shielded(int32_t{SOURCE_KIND_NOTHING}, [&] {
    int32_t kind = dravik::avi_probe_file(path, duration_ms);
    if (kind != SOURCE_KIND_NOTHING) dravik::global_state().next_opener = dravik::Opener::avi;
    return kind;
  });
}
DRAVIK_API int32_t SysAviVideoCount(void) { return dravik::avi_video_count(); }
DRAVIK_API DravikAviStream *const *SysAviVideoStreams(void) { return dravik::avi_video_streams(); }
DRAVIK_API DravikAviStream *SysAviSelectVideo(int32_t index) {
  return shielded<DravikAviStream *>(nullptr, [&] { return dravik::avi_select_video(index); });
}
DRAVIK_API DravikAviStream *SysAviCurrentVideo(void) {
  return shielded<DravikAviStream *>(nullptr, dravik::avi_current_video);
}
DRAVIK_API int32_t SysAviAudioCount(void) { return dravik::avi_audio_count(); }
DRAVIK_API DravikAviStream *const *SysAviAudioStreams(void) { return dravik::avi_audio_streams(); }
DRAVIK_API DravikAviStream *SysAviSelectAudio(int32_t index) {
  return shielded<DravikAviStream *>(nullptr, [&] { return dravik::avi_select_audio(index); });
}
DRAVIK_API DravikAviStream *SysAviCurrentAudio(void) {
  return shielded<DravikAviStream *>(nullptr, dravik::avi_current_audio);
}
DRAVIK_API int32_t SysAviAudioClock(void) { return shielded(-1, dravik::avi_audio_clock); }
DRAVIK_API int32_t SysAviVideoTime(void) { return shielded(-1, dravik::avi_video_time); }
DRAVIK_API int32_t SysAviNextFrame(void) { return shielded(-1, dravik::avi_next_frame); }
DRAVIK_API int32_t SysAviSkipToKey(void) { return shielded(-1, dravik::avi_skip_to_key); }
DRAVIK_API int32_t SysAviReadAudio(void *buf, int32_t len) {
  return shielded(0, [&] { return dravik::avi_read_audio(buf, len); });
}
DRAVIK_API int32_t SysAviSeek(int32_t value, int32_t origin) {
  return shielded(0, [&] { return dravik::avi_seek(value, origin); });
}
DRAVIK_API int32_t SysAviSyncAudio(void) { return shielded(0, dravik::avi_sync_audio); }
DRAVIK_API int32_t SysAviAtEnd(void) { return shielded(1, dravik::avi_at_end); }
