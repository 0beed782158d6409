#include "media/avi/avi_family.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/avi/avi_reader.h"
#include "platform/clock.h"

namespace dravik {

namespace {

namespace avi = platform::avi;

// The audio clock runs on from the last read for at most this long.
constexpr int64_t kClockCarryMs = 1000;
// A skip looks for the next key frame this many frames ahead.
constexpr int64_t kSkipAhead = 6;

struct Track {
  int32_t index = -1;  // selected entry of the list, -1 none
  int64_t first = 0, end = 0, position = 0;
};

struct AviSource {
  std::mutex lock;
  bool initialised = false;
  avi::File *file = nullptr;
  DravikAviStream *video[kAviMaxStreams] = {};
  DravikAviStream *audio[kAviMaxStreams] = {};
  int32_t video_count = 0, audio_count = 0;
  int64_t longest_ms = 0;
  Track v, a;
  int64_t last_read_ms = 0;     // duration of the last audio read
  uint32_t last_read_tick = 0;  // when it happened
  std::atomic<bool> seeking{false};
};

AviSource &g() {
  static AviSource source;
  return source;
}

DravikAviStream *handle(avi::Stream *s) { return reinterpret_cast<DravikAviStream *>(s); }
const avi::Stream *stream_of(DravikAviStream *h) { return reinterpret_cast<const avi::Stream *>(h); }

const avi::Stream *video_stream(AviSource &s) {
  return s.v.index < 0 ? nullptr : stream_of(s.video[s.v.index]);
}
const avi::Stream *audio_stream(AviSource &s) {
  return s.a.index < 0 ? nullptr : stream_of(s.audio[s.a.index]);
}

int32_t clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

void select(Track &t, DravikAviStream *h, int32_t index) {
  const avi::Stream *st = stream_of(h);
  t.index = index;
  t.first = t.position = avi::stream_start(st);
  t.end = avi::stream_end(st);
}

// Audio sample at the time of the video position.
void align_audio(AviSource &s) {
  const avi::Stream *vs = video_stream(s), *as = audio_stream(s);
  if (!vs || !as) return;
  int64_t t = avi::sample_to_time(vs, s.v.position);
  s.a.position = std::clamp(avi::time_to_sample(as, t), s.a.first, s.a.end);
}

int64_t current_time(AviSource &s) {
  if (const avi::Stream *vs = video_stream(s)) return avi::sample_to_time(vs, s.v.position);
  if (const avi::Stream *as = audio_stream(s)) return avi::sample_to_time(as, s.a.position);
  return 0;
}

// The frame on screen at ms: the last one that starts at or before it (a
// time rounds to the nearest frame, which may start after it).
int64_t frame_at(const avi::Stream *s, int64_t ms) {
  int64_t n = avi::time_to_sample(s, ms);
  if (n > avi::stream_start(s) && avi::sample_to_time(s, n) > ms) --n;
  return n;
}

int64_t duration_ms(const avi::StreamHeader &h) {
  if (h.rate == 0) return 0;
  return (int64_t(h.start) + h.length) * h.scale * 1000 / h.rate;
}

}  // namespace

int32_t avi_init() {
  std::lock_guard<std::mutex> l(g().lock);
  g().initialised = true;
  return 1;
}

int32_t avi_exit() {
  std::lock_guard<std::mutex> l(g().lock);
  g().initialised = false;
  return 0;
}

int32_t avi_probe_file(const char *path, int32_t *duration) {
  if (duration) *duration = 0;
  if (!path) return SOURCE_KIND_NOTHING;
  avi::File *f = avi::open(path, avi::OpenDepth::headers);
  if (!f) return SOURCE_KIND_NOTHING;
  int32_t videos = 0, audios = 0;
  int64_t longest = 0;
  for (int32_t i = 0; i < avi::stream_count(f); ++i) {
    const avi::StreamHeader &h = avi::stream_header(avi::stream(f, i));
    if (h.type == avi::kTypeVideo && videos < kAviMaxStreams)
      ++videos;
    else if (h.type == avi::kTypeAudio && audios < kAviMaxStreams)
      ++audios;
    else
      continue;
    longest = std::max(longest, duration_ms(h));
  }
  avi::release(f);
  if (duration) *duration = clamp32(longest);
  if (videos && audios) return SOURCE_KIND_SYSTEM;
  if (videos) return SOURCE_KIND_VIDEO;
  return audios ? SOURCE_KIND_AUDIO : SOURCE_KIND_NOTHING;
}

bool avi_open(const char *path, bool *has_video, bool *has_audio, int64_t *longest_ms) {
  avi_close();
  avi_init();
  avi::File *f = avi::open(path);
  if (!f) return false;
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  for (int32_t i = 0; i < avi::stream_count(f); ++i) {
    avi::Stream *st = avi::stream(f, i);
    const avi::StreamHeader &h = avi::stream_header(st);
    if (avi::stream_end(st) <= avi::stream_start(st)) continue;
    if (h.type == avi::kTypeVideo && s.video_count < kAviMaxStreams) {
      s.video[s.video_count++] = handle(st);
    } else if (h.type == avi::kTypeAudio && s.audio_count < kAviMaxStreams) {
      s.audio[s.audio_count++] = handle(st);
    } else {
      continue;
    }
    s.longest_ms = std::max(s.longest_ms, avi::sample_to_time(st, avi::stream_end(st)));
  }
  if (s.video_count + s.audio_count == 0) {
    avi::release(f);
    return false;
  }
  s.file = f;
  if (s.video_count) select(s.v, s.video[0], 0);
  if (s.audio_count) select(s.a, s.audio[0], 0);
  *has_video = s.video_count > 0;
  *has_audio = s.audio_count > 0;
  *longest_ms = s.longest_ms;
  return true;
}

void avi_close() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  avi::release(s.file);
  s.file = nullptr;
  std::fill(std::begin(s.video), std::end(s.video), nullptr);
  std::fill(std::begin(s.audio), std::end(s.audio), nullptr);
  s.video_count = s.audio_count = 0;
  s.longest_ms = 0;
  s.v = s.a = Track{};
  s.last_read_ms = 0;
  s.last_read_tick = 0;
}

int32_t avi_video_count() { return g().video_count; }
DravikAviStream *const *avi_video_streams() { return g().video; }
int32_t avi_audio_count() { return g().audio_count; }
DravikAviStream *const *avi_audio_streams() { return g().audio; }

DravikAviStream *avi_select_video(int32_t index) {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  if (s.video_count == 0) return nullptr;
  if (index >= 0 && index < s.video_count) select(s.v, s.video[index], index);
  return s.video[s.v.index];
}

DravikAviStream *avi_current_video() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  return s.v.index < 0 ? nullptr : s.video[s.v.index];
}

DravikAviStream *avi_select_audio(int32_t index) {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  if (index == -1) {
    s.a = Track{};
    return nullptr;
  }
  if (index >= 0 && index < s.audio_count) {
    select(s.a, s.audio[index], index);
    align_audio(s);
  }
  return s.a.index < 0 ? nullptr : s.audio[s.a.index];
}

DravikAviStream *avi_current_audio() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  return s.a.index < 0 ? nullptr : s.audio[s.a.index];
}

int32_t avi_audio_clock() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  const avi::Stream *as = audio_stream(s);
  if (!as) return -1;
  int64_t since = int64_t(uint32_t(platform::tick_ms() - s.last_read_tick));
  if (since >= kClockCarryMs) since = 0;
  return clamp32(avi::sample_to_time(as, s.a.position) + since - s.last_read_ms);
}

int32_t avi_video_time() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  const avi::Stream *vs = video_stream(s);
  return vs ? clamp32(avi::sample_to_time(vs, s.v.position)) : -1;
}

int32_t avi_next_frame() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  if (!video_stream(s) || s.v.position >= s.v.end) return -1;
  int64_t at = s.v.position;
  if (!s.seeking.load()) ++s.v.position;
  return clamp32(at);
}

int32_t avi_skip_to_key() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  const avi::Stream *vs = video_stream(s);
  if (!vs || s.v.position >= s.v.end) return -1;
  int64_t key = avi::find_sample(vs, s.v.position + kSkipAhead, avi::kFindNext | avi::kFindKey);
  if (key < 0) {
    // No later key frame: the video is over (not back to the start).
    s.v.position = s.v.end;
    return -1;
  }
  s.v.position = key;
  align_audio(s);
  return clamp32(key);
}

int32_t avi_read_audio(void *buf, int32_t len) {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  const avi::Stream *as = audio_stream(s);
  if (!as || !buf || len <= 0 || s.a.position >= s.a.end) return 0;
  int64_t t0 = avi::sample_to_time(as, s.a.position);
  int32_t bytes = 0, samples = 0;
  // Empty chunks are stepped over: a read of 0 bytes means the end.
  int64_t at = s.a.position;
  do {
    if (avi::read(as, at, avi::kReadConvenient, buf, len, &bytes, &samples) != 0) return 0;
    at += samples;
  } while (bytes == 0 && at < s.a.end);
  s.last_read_ms = avi::sample_to_time(as, at) - t0;
  if (!s.seeking.load()) s.a.position = at;
  s.last_read_tick = platform::tick_ms();
  return bytes;
}

int32_t avi_seek(int32_t value, int32_t origin) {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  int64_t target = 0;
  switch (origin) {
    case 0:
      target = value;
      break;
    case 1:
      target = current_time(s);
      if (value == 0) return clamp32(target);
      target += value;
      break;
    case 2:
      target = s.longest_ms + value;
      break;
    default:
      return clamp32(current_time(s));  // an unknown origin moves nothing
  }
  target = std::clamp<int64_t>(target, 0, s.longest_ms);
  s.seeking.store(true);
  if (const avi::Stream *vs = video_stream(s)) {
    int64_t key = avi::find_sample(vs, frame_at(vs, target), avi::kFindPrev | avi::kFindKey);
    s.v.position = key < 0 ? s.v.first : key;
    target = avi::sample_to_time(vs, s.v.position);
  }
  if (const avi::Stream *as = audio_stream(s))
    s.a.position = std::clamp(avi::time_to_sample(as, target), s.a.first, s.a.end);
  s.seeking.store(false);
  return clamp32(target);
}

int32_t avi_sync_audio() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  const avi::Stream *vs = video_stream(s);
  if (!vs) return 0;
  if (!audio_stream(s)) return clamp32(avi::sample_to_time(vs, s.v.position));
  align_audio(s);
  return clamp32(s.a.position);
}

int32_t avi_at_end() {
  AviSource &s = g();
  std::lock_guard<std::mutex> l(s.lock);
  return !video_stream(s) || s.v.position >= s.v.end ? 1 : 0;
}

}  // namespace dravik
