#include "media/source/avi_source.h"

#include <algorithm>

#include "media/avi/avi_family.h"
#include "media/state.h"

namespace dravik {

namespace {
constexpr int32_t kAviByteRate = 1000;  // positions and lengths are ms
}

int32_t avi_probe(const char *path, int32_t *duration_ms) { return avi_probe_file(path, duration_ms); }

int32_t open_avi_source(State &s, const char *path) {
  bool video = false, audio = false;
  int64_t longest = 0;
  if (!avi_open(path, &video, &audio, &longest)) return -1;
  s.source = Source{};
  s.source.type = SourceType::avi;
  s.source.handle = DRAVIK_HANDLE_AVI;
  s.source.size = longest;
  s.byte_rate = kAviByteRate;
  s.rate_valid = true;
  s.rings.video_avail_stored = video ? kAviVideoAvail : 0;
  s.rings.audio_avail_stored = audio ? kAviAudioAvail : 0;
  return DRAVIK_HANDLE_AVI;
}

int64_t seek_avi_source(int64_t value, int32_t origin) {
  return avi_seek(int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)), origin);
}

void close_avi_source(State &s) {
  avi_close();
  s.rings.video_avail_stored = 0;
  s.rings.audio_avail_stored = 0;
}

}  // namespace dravik
