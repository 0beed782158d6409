#include "video/engine/avi_pictures.h"

#include <algorithm>
#include <atomic>
#include <climits>

#include "media/media_api.h"
#include "platform/avi/decompressor.h"
#include "video/decode/decoder.h"
#include "video/engine/play/loop_ports.h"
#include "video/engine/ports.h"

namespace kestrum {

void set_plugin_decoder_port(const DecoderPort *port);

namespace {

namespace avi = platform::avi;

// A stream that starts with frames nothing can be decoded from (a cut
// file) is looked into this far for its first picture.
constexpr int32_t kFirstPictureSearch = 64;
constexpr int32_t kPictureIntra = 1;
constexpr int32_t kPicturePredicted = 2;

struct AviPictures {
  const avi::Stream *stream = nullptr;
  avi::FrameReader *reader = nullptr;
  avi::Planes planes{};  // of the picture on show
  bool have = false;
  int64_t shown = -1;  // its sample number
  bool ended = false;
  int32_t period_us = 40000;
  int32_t rate_code = 3;
};

AviPictures g;
std::atomic<bool> g_active{false};

// Frame n on show. A frame that cannot be decoded keeps the picture before
// it on screen (as an empty chunk does).
void show(int64_t n) {
  g.shown = n;
  if (const avi::Planes *p = avi::frame_planes(g.reader, n)) {
    g.planes = *p;
    g.have = true;
  }
}

// The media layer's position names the picture on show (the sound, when it
// is aligned, starts with it): a step moves it on by one and shows the
// frame there. false at the end.
bool step() {
  const int32_t at = SysAviNextFrame();
  const int64_t n = int64_t{at} + 1;
  if (at < 0 || n >= avi::stream_end(g.stream)) {
    g.ended = true;
    return false;
  }
  show(n);
  return true;
}

// The frame at the media layer's position (after an open or a seek). Times
// are rounded to the millisecond, so the sample comes back exactly from its
// time for any frame longer than a millisecond.
bool show_at_position() {
  const int32_t ms = SysAviVideoTime();
  if (ms < 0) return false;
  const int64_t n = avi::time_to_sample(g.stream, ms);
  if (n < avi::stream_start(g.stream) || n >= avi::stream_end(g.stream)) {
    g.ended = true;
    return false;
  }
  g.ended = false;
  show(n);
  return true;
}

bool is_key(int64_t n) { return avi::find_sample(g.stream, n, avi::kFindPrev | avi::kFindKey) == n; }

void reset() {
  g.have = false;
  g.shown = -1;
  g.ended = false;
}

// After a seek the media layer stands on the key frame it chose.
void restart() {
  g.ended = false;
  show_at_position();
}

int32_t start_stream(int32_t) {
  if (!show_at_position()) return 0;
  for (int32_t i = 0; !g.have && i < kFirstPictureSearch; ++i) {
    if (!step()) break;
  }
  return g.have ? 1 : 0;
}

int32_t step_picture() { return step() ? 1 : 0; }

void params(StreamParams *out) {
  *out = StreamParams{};
  out->horizontal_size = g.planes.display_width;
  out->vertical_size = g.planes.display_height;
  out->coded_width = g.planes.width;
  out->coded_height = g.planes.height;
  out->frame_rate_code = g.rate_code;
  out->picture_coding_type = g.shown >= 0 && is_key(g.shown) ? kPictureIntra : kPicturePredicted;
  out->have_sequence = g.have ? 1 : 0;
}

int32_t current_picture(KestrumPicture *out) {
  if (!g.have) return 0;
  *out = KestrumPicture{};
  out->y = g.planes.y;
  out->cb = g.planes.cb;
  out->cr = g.planes.cr;
  out->y_pitch = g.planes.y_stride;
  out->c_pitch = g.planes.c_stride;
  out->width = g.planes.display_width;
  out->height = g.planes.display_height;
  out->coded_width = g.planes.width;
  out->coded_height = g.planes.height;
  out->chroma_format = 1;
  out->picture_type = is_key(g.shown) ? kPictureIntra : kPicturePredicted;
  out->fields = 2;
  return 1;
}

int32_t end_of_data() { return g.ended ? 1 : 0; }
void no_setting(int32_t) {}

const DecoderPort kAviPort = {reset,           restart,     start_stream, step_picture, params,
                              current_picture, end_of_data, no_setting,   no_setting};

// The trick loops look for anchors: every AVI frame is decoded (the codec
// needs each one), key frames count as intra pictures. The ring levels are
// the fixed ones the media layer reports for AVI sources.
int32_t video_fill() { return SysVideoAvail(nullptr); }
int32_t audio_fill() { return SysAudioAvail(nullptr); }
int32_t parse_next() {
  if (!step()) return 0;
  return is_key(g.shown) ? kPictureIntra : kPicturePredicted;
}
void decode_parsed() {}
int32_t nothing() { return 0; }

const play::LoopPort kAviLoop = {video_fill, audio_fill, parse_next, decode_parsed,
                                 nothing,    nothing,    nullptr};

}  // namespace

bool use_avi_pictures() {
  drop_avi_pictures();
  if (SysAviVideoCount() <= 0) return false;
  const auto *stream = reinterpret_cast<const avi::Stream *>(SysAviSelectVideo(0));
  if (!stream) return false;
  avi::FrameReader *reader = avi::frame_reader_open(stream, nullptr);
  if (!reader) return false;
  g = AviPictures{};
  g.stream = stream;
  g.reader = reader;
  const avi::StreamHeader &h = avi::stream_header(stream);
  const int64_t period = int64_t{h.scale} * 1000000 / std::max<uint32_t>(h.rate, 1);
  g.period_us = static_cast<int32_t>(std::clamp<int64_t>(period, 1, INT32_MAX));
  g.rate_code = nearest_frame_rate_code(g.period_us);
  set_plugin_decoder_port(&kAviPort);
  play::set_loop_port(&kAviLoop);
  g_active = true;
  return true;
}

void drop_avi_pictures() {
  if (!g_active.exchange(false)) return;
  set_plugin_decoder_port(nullptr);
  play::set_loop_port(nullptr);
  avi::frame_reader_close(g.reader);
  g = AviPictures{};
}

bool avi_pictures_active() { return g_active; }

int32_t avi_picture_time() {
  if (!g_active || !g.have || g.shown < 0) return -1;
  return static_cast<int32_t>(std::clamp<int64_t>(avi::sample_to_time(g.stream, g.shown), 0, INT32_MAX));
}

int32_t avi_picture_gap_ms() {
  if (!g_active || g.shown < 0) return g.period_us / 1000;
  const int64_t next = std::min(g.shown + 1, avi::stream_end(g.stream));
  const int64_t gap = avi::sample_to_time(g.stream, next) - avi::sample_to_time(g.stream, g.shown);
  return static_cast<int32_t>(std::clamp<int64_t>(gap, 0, INT32_MAX));
}

int32_t avi_frame_period_us() { return g.period_us; }

bool avi_has_audio() { return SysAviAudioCount() > 0 && SysAviCurrentAudio() != nullptr; }

int32_t avi_show_time(int32_t ms) {
  if (!g_active) return 0;
  media().seek(ms, 0);
  restart();
  // Beyond the last picture's start the last picture stays, and the
  // position with it.
  while (g.have && avi::sample_to_time(g.stream, g.shown) < ms && g.shown + 1 < avi::stream_end(g.stream)) {
    if (!step()) break;
  }
  return g.have ? 1 : 0;
}

}  // namespace kestrum
