// Opening and closing files: the video path (VideoOpen, VideoReopen,
// VideoClose), the source helpers (VideoOpenSource,
// VideoOpenVideoElementary, VideoCloseSource) and the audio-only path.
#include <algorithm>
#include <cstring>

#include "audio/audio_api.h"
#include "components/glyvex/glyvex.h"
#include "media/media_api.h"
#include "video/engine/dvd_title.h"
#include "video/engine/engine.h"
#include "video/engine/plugin_pictures.h"
#include "video/engine/source_buffer.h"

namespace kestrum {

namespace {

// CTL_STREAM_MIX answer for a video-only source.
constexpr int32_t kMixVideoOnly = 3;
// AUDIO_CMD_RATE_CHANNELS answer for a stereo-capable device.
constexpr int32_t kStereoDevice = 2;
// Audio levels (bytes) whose second one bounds the audio engine's seek
// flush: MPEG-1 uses fixed levels; MPEG-2 scales them by the audio bit rate
// (bytes per 125 ms).
constexpr int32_t kMpeg1AudioLevel2 = 5376;
constexpr int32_t kMpeg2AudioBase = 3840;
constexpr int32_t kMpeg2AudioStep = 1536;
// Pictures larger than a Video CD picture switch the frame hook off.
constexpr int32_t kFrameHookMaxWidth = 352;
constexpr int32_t kFrameHookMaxHeight = 288;

int32_t second_audio_level(const StreamParams &p) {
  if (!p.is_mpeg2) return kMpeg1AudioLevel2;
  int32_t a = audio().get_bit_rate() / 8 / 8;  // audio bytes per 125 ms
  int32_t b = kMpeg2AudioStep;
  if (a >= kMpeg2AudioBase) {
    b = a * 2 / 5;
  } else {
    a = kMpeg2AudioBase;
  }
  return a + b;
}

std::string file_title(const char *path) {
  const char *slash = std::strrchr(path, '/');
  std::string t = slash ? slash + 1 : path;
  if (t.size() > kTitleSize) t.resize(kTitleSize);
  return t;
}

// A host display without present callbacks belongs to a converter: it
// shows nothing and plays nothing.
bool shows_nothing(const KestrumHostDisplay *display) {
  return display && !display->present_planes && !display->present_rgb;
}

// Chooses the audio rate and channel modes that the device can play, then
// hands the engine's choices to the audio engine. An open that shows
// nothing does not ask the device (asking loads the sound system, a few
// megabytes): a choice left for the open is taken as the normal rate and
// left open for the next open that plays.
void configure_audio(const KestrumHostDisplay *display) {
  EngineState &s = engine().state;
  const AudioPort &a = audio();
  if (shows_nothing(display)) {
    const int32_t mode = s.audio_link.audio_rate_mode;
    a.set_rate_mode(mode == kRateModeChooseAtOpen ? -1 : mode);
    a.set_channel_mode(s.audio_link.channel_mode);
    a.set_hint(0);
    return;
  }
  if (s.audio_link.audio_rate_mode == kRateModeChooseAtOpen) {
    if (a.command(AUDIO_CMD_RATE_SUPPORTED, 44100)) {
      s.audio_link.audio_rate_mode = -1;
    } else if (a.command(AUDIO_CMD_RATE_SUPPORTED, 22050)) {
      s.audio_link.audio_rate_mode = 1;
    } else {
      s.audio_link.audio_rate_mode = 0;
    }
  }
  if (s.audio_link.channel_mode == 2 && a.command(AUDIO_CMD_RATE_CHANNELS, 44100) != kStereoDevice)
    s.audio_link.channel_mode = 3;
  a.set_rate_mode(s.audio_link.audio_rate_mode);
  a.set_channel_mode(s.audio_link.channel_mode);
  a.set_hint(0);
}

void begin_open(uint32_t start, const char *path) {
  EngineState &s = engine().state;
  decoder().reset();
  s.source.closing = 0;
  s.playback.end_of_stream = 0;
  s.picture.picture_held = 0;
  s.source.start = start;
  s.source.total_length = 0;
  s.source.source_tag = -1;
  // Every open reads the DVD title set the path names, if any, before the
  // source is probed (the media layer's rate divisor comes from it).
  s.source.open_count += 1;
  dvd_title_open(path);
}

// Closes the sound with engine_lock free: the audio engine's close waits
// for its fill thread, whose reads go through the media layer (and any file
// hook a plug-in set there), which must be free to call the engine.
void close_audio_unlocked(EngineState &s) {
  if (s.audio_link.audio_open) audio().close();
  s.audio_link.audio_open = 0;
}

}  // namespace

int32_t engine_open_source(const char *path, SourceForm form) {
  EngineState &s = engine().state;
  const MediaPort &m = media();
  const bool bare_video = form == SourceForm::video_elementary;
  m.flush(bare_video ? DRAVIK_FLUSH_AUDIO_OFF : DRAVIK_FLUSH_BOTH_ON);
  s.source.audio_present = bare_video ? 0 : 1;
  s.audio_link.audio_open = 0;
  if (bare_video) s.playback.real_time = 1;
  const int32_t handle =
      open_source(path, bare_video || s.source.is_elementary ? DRAVIK_START_RAW_VIDEO : s.source.start);
  s.source.source_tag = handle;
  if (handle != -1 && s.source.total_length == 0) {
    s.source.total_length = static_cast<int32_t>(m.control(CTL_SOURCE_SIZE, 0));
  }
  return handle;
}

int32_t engine_close_source() {
  EngineState &s = engine().state;
  if (s.source.source_tag == -1) return -1;
  s.source.closing = 1;
  use_plugin_pictures(nullptr);
  media().close();
  s.source.source_tag = -1;
  return 1;
}

int32_t engine_open(const KestrumHostDisplay *display, const char *path, const char *title, uint32_t start,
                    bool reopen) {
  if (!path || !*path) return 0;
  Engine &e = engine();
  EngineState &s = e.state;
  // Opening over an open file would leak its source: close it first, as a
  // re-open does (keeping the display when re-opening).
  if (s.source.open) engine_close(0, reopen);
  platform::Lock lock(e.engine_lock);
  begin_open(start, path);

  // Classify and open the source.
  int32_t length = 0;
  const int32_t kind = probe_source(path, &length);
  s.source.total_length = length > 0 ? length : 0;
  int32_t handle = -1;
  if (kind == SOURCE_KIND_SYSTEM) {
    s.source.is_elementary = 0;
    handle = engine_open_source(path, SourceForm::system);
  } else if (kind == SOURCE_KIND_VIDEO) {
    s.source.is_elementary = 1;
    handle = engine_open_source(path, SourceForm::video_elementary);
  }
  if (handle == -1) {
    s.source.source_tag = -1;
    s.source.closing = 0;
    return 0;
  }
  s.source.title = title ? std::string(title).substr(0, kTitleSize) : file_title(path);
  s.source.path = path;

  // A plug-in hands out finished pictures; AVI sources need a presentation
  // path this engine does not have: refuse them cleanly.
  auto *plugin = reinterpret_cast<SourcePlugin *>(media().control(CTL_PLUGIN_ACTIVE, 0));
  if (plugin) use_plugin_pictures(plugin);
  if (handle == KESTRUM_AVI_SOURCE_TAG) {
    engine_close_source();
    s.source.closing = 0;
    s.source.path.clear();
    s.source.title.clear();
    return 0;
  }
  decoder().set_coefficient_limit(s.picture.coefficient_limit);
  decoder().set_variant(s.picture.variant);
  const int32_t started = decoder().start_stream(s.source.total_length);
  // A plug-in source that hands out no picture has nothing to show.
  if (plugin && !started) {
    engine_close_source();
    s.source.closing = 0;
    s.source.path.clear();
    s.source.title.clear();
    return 0;
  }
  publish_current();
  StreamParams p;
  decoder().params(&p);

  s.picture.frame_hook_suspended =
      p.horizontal_size > kFrameHookMaxWidth || p.vertical_size > kFrameHookMaxHeight;

  // Display: the program's host display, else the null display.
  s.presentation.relayout = 1;
  if (!reopen || !e.display.is_open() || display) e.display.attach(display);
  if (display) s.presentation.on_top = 0;
  e.display.open(p.horizontal_size, p.vertical_size);
  s.presentation.relayout = 0;

  // Audio.
  configure_audio(display);
  if (!s.source.is_elementary) {
    s.source.audio_present = media().control(CTL_STREAM_MIX, 0) != kMixVideoOnly;
    if (s.source.audio_present) {
      audio().open_stream(s.source.source_tag);
      s.audio_link.audio_open = audio().open_output(e.display.window()) ? 1 : 0;
      audio().command(AUDIO_CMD_SET_FLUSH_LIMIT, second_audio_level(p));
    }
  }

  s.playback.stopped = 1;
  s.presentation.aspect_factor = (p.horizontal_size && p.vertical_size)
                                     ? p.horizontal_size * 256 / p.vertical_size
                                     : kDefaultAspectFactor;
  dvd_title_apply_aspect();
  s.source.open_mode = static_cast<int32_t>(OpenMode::video);
  s.source.closing = 0;
  s.source.open = 1;
  s.audio_link.audio_paused = 0;
  if (e.display.is_open()) present_current();
  return 1;
}

int32_t engine_close(int32_t hide, bool keep_display) {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open) {
    // A failed open may still hold a source.
    if (s.source.source_tag != -1) {
      platform::Lock lock(e.engine_lock);
      engine_close_source();
      s.source.closing = 0;
    }
    return 0;
  }
  GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
  s.source.closing = 1;
  if (s.audio_link.audio_running) audio().stop();
  s.playback.end_callback = nullptr;
  s.audio_link.audio_running = 0;
  s.audio_link.stop_asked = 0;
  s.playback.stopped = 1;
  s.playback.abort = 1;
  e.wake.reset();
  wait_for_idle();
  // The stream is this call's from here: a thread that missed the idle
  // wait skips its steps while the hold lasts.
  s.playback.busy.hold();
  close_audio_unlocked(s);
  {
    platform::Lock lock(e.engine_lock);
    if (!keep_display) e.display.close();
    s.presentation.full_screen = 0;
    engine_close_source();
    (void)hide;  // only the engine's own window can be hidden
    s.source.open = 0;
    s.picture.picture_held = 0;
    decoder().reset();
    publish_current();
    s.source.source_tag = -1;
    s.source.path.clear();
    s.source.closing = 0;
  }
  s.playback.busy.release();
  return 1;
}

int32_t engine_open_audio_only(const KestrumHostDisplay *display, const char *path, uint32_t start) {
  if (!path || !*path) return 0;
  Engine &e = engine();
  EngineState &s = e.state;
  if (s.source.open) engine_close(0, false);
  platform::Lock lock(e.engine_lock);
  begin_open(start, path);
  int32_t length = 0;
  const int32_t kind = media().probe(path, &length);
  s.source.total_length = length > 0 ? length : 0;
  if (kind == SOURCE_KIND_SYSTEM) {
    s.source.is_elementary = 0;
    if (engine_open_source(path, SourceForm::system) == -1) return 0;
  } else if (kind == SOURCE_KIND_AUDIO) {
    s.source.is_elementary = 0;
    const int32_t handle = audio().open_file(path);
    if (handle == -1 || handle == 0) return 0;
    s.source.source_tag = handle;
    if (s.source.total_length == 0)
      s.source.total_length = static_cast<int32_t>(media().control(CTL_SOURCE_SIZE, 0));
  } else {
    return 0;
  }
  s.source.path = path;
  s.source.title = file_title(path);
  e.display.attach(display);
  configure_audio(display);
  if (kind == SOURCE_KIND_SYSTEM) audio().open_stream(s.source.source_tag);
  s.source.audio_present = 1;
  s.audio_link.audio_open = audio().open_output(e.display.window()) ? 1 : 0;
  s.source.open_mode = static_cast<int32_t>(OpenMode::audio_only);
  s.playback.stopped = 1;
  s.source.closing = 0;
  s.source.open = 1;
  s.audio_link.audio_paused = 0;
  return 1;
}

int32_t engine_close_audio_only() {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!s.source.open || s.source.open_mode != static_cast<int32_t>(OpenMode::audio_only)) return 0;
  s.source.closing = 1;
  s.playback.stopped = 1;
  s.playback.abort = 1;
  e.wake.reset();
  wait_for_idle();
  s.playback.busy.hold();
  audio().stop();
  s.audio_link.audio_running = 0;
  s.audio_link.stop_asked = 0;
  close_audio_unlocked(s);
  {
    platform::Lock lock(e.engine_lock);
    engine_close_source();
    s.source.open = 0;
    s.source.open_mode = static_cast<int32_t>(OpenMode::video);
    s.source.path.clear();
    s.source.closing = 0;
  }
  s.playback.busy.release();
  return 1;
}

int32_t engine_reopen_audio_only(const char *path, uint32_t start) {
  Engine &e = engine();
  EngineState &s = e.state;
  const bool was_playing = s.source.open && !s.playback.stopped;
  const KestrumHostDisplay *display = static_cast<const KestrumHostDisplay *>(e.display.window());
  engine_close_audio_only();
  if (!engine_open_audio_only(display, path, start)) return 0;
  if (was_playing) {
    s.audio_link.audio_running = audio().play();
    start_audio_device_filled();
    engine_run();
  }
  return 1;
}

}  // namespace kestrum
