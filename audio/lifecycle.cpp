// Opening, closing and the state changes callers make while the engine
// thread runs. Every change that touches decoding or the device follows
// the same handshake: raise `stopping`, quiesce the thread, change, clear.
#include <cctype>
#include <cstring>

#include "audio/engine.h"
#include "audio/media_link.h"
#include "platform/clock.h"

namespace lunaret {

namespace {

bool ends_with_avi(const char *path) {
  size_t n = std::strlen(path);
  if (n < 3) return false;
  const char *ext = path + n - 3;
  return std::tolower(static_cast<unsigned char>(ext[0])) == 'a' &&
         std::tolower(static_cast<unsigned char>(ext[1])) == 'v' &&
         std::tolower(static_cast<unsigned char>(ext[2])) == 'i';
}

// Stops output and forgets the source's decoding state, ready for a new
// source (AudioOpenFile / AudioOpenStream step 1).
void clear_for_open(Engine &e) {
  if (e.opened) close_all(e);
  e.end_of_stream = false;
  e.input_ended = false;
  e.in_fill.clear();
  e.playing = false;
  e.paused = 0;
  e.file_mode = false;
  e.audio_file = false;
  e.info = SourceFormat{};
  e.info_valid = false;
  e.sync_word = kDefaultSyncWord;
  e.sync_bits = kDefaultSyncBits;
  e.echo_read = 0;
  e.echo_write = 0;
  for (auto &s : e.echo_line) s.fill(0);
}

void stop_and_quiesce(Engine &e) {
  e.stopping = true;
  quiesce(e);
}

// Decides the kind and runs its open; the source tag is the media layer's
// handle of the source just opened.
bool open_kind(Engine &e) {
  e.kind = decide_kind(e);
  return source_ops(e.kind).open(e);
}

void choose_rate_mode(Engine &e) {
  e.rate_mode_active = e.rate_mode_requested == AUDIO_RATE_FULL ? AUDIO_RATE_NORMAL : e.rate_mode_requested;
}

bool format_for_stream(Engine &e) {
  // AC-3 bursts pass through to a device that takes them (48 kHz only).
  if (e.kind == SourceKind::ac3 && e.passthrough && e.info.rate == 48000 && choose_spdif_format(e))
    return true;
  bool stereo = e.info.decoded_channels() == 2 && !e.mono_out();
  int32_t rate = e.info.rate;
  if (e.rate_mode_active == AUDIO_RATE_HALF) rate /= 2;
  if (!choose_output_format(e, stereo, rate)) return false;
  if (e.out.placed && e.kind == SourceKind::ac3) {
    // The decoder's six channels are placed at the stream's full rate.
    if (rate != e.info.rate && !choose_output_format(e, stereo, e.info.rate)) return false;
    if (e.out.placed) e.out.block_channels = kAc3PlacedChannels;
  }
  return true;
}

}  // namespace

int32_t open_file(Engine &e, const char *path) {
  if (!path || !*path) return 0;
  clear_for_open(e);
  const MediaLink &m = media();
  SourceKind kind = SourceKind::mpeg_audio;
  if (ends_with_avi(path)) {
    int32_t r = m.avi_probe(path, nullptr);
    if (r == 0 || r == 2) kind = SourceKind::avi_audio;
  }
  if (kind == SourceKind::mpeg_audio) {
    int32_t r = m.probe(path, nullptr);
    if (r == 1 || r == 3 || r < 0) return 0;
    e.audio_file = r == 2;
    if (e.audio_file) {
      uint32_t word = static_cast<uint32_t>(m.control(CTL_AUDIO_HEADER, 0)) & 0xFFFF;
      e.sync_word = word ? word : kDefaultSyncWord;
      e.sync_bits = word ? 16 : kDefaultSyncBits;
    }
  }
  // The path is kept whole, whatever its length.
  e.path = path;
  m.flush(DRAVIK_FLUSH_VIDEO_OFF);
  int32_t handle = m.open(e.path.c_str(), e.audio_file ? DRAVIK_START_RAW_AUDIO : 0);
  e.source_tag = static_cast<int32_t>(m.control(CTL_SOURCE_HANDLE, 0));
  if (kind == SourceKind::avi_audio) e.source_tag = AUDIO_TAG_AVI;
  e.file_mode = true;
  if (handle != -1) open_kind(e);
  return handle;
}

int32_t open_stream(Engine &e, int32_t tag) {
  clear_for_open(e);
  const MediaLink &m = media();
  e.source_tag = static_cast<int32_t>(m.control(CTL_SOURCE_HANDLE, 0));
  if (tag == AUDIO_TAG_AVI) e.source_tag = AUDIO_TAG_AVI;
  e.audio_file = false;
  e.file_mode = false;
  bool ok = open_kind(e);
  if (e.kind == SourceKind::push_pcm) return ok ? 1 : 0;
  return static_cast<int32_t>(e.kind);
}

int32_t open_output(Engine &e, void *owner) {
  if (e.opened) {
    stop_and_quiesce(e);
    close_device(e);
    e.opened = false;
  }
  e.owner = owner;
  e.end_of_stream = false;
  choose_rate_mode(e);
  SourceFormat f;
  if (!source_ops(e.kind).prepare(e, f)) return 0;
  e.info = f;
  e.info_valid = true;
  if (!format_for_stream(e)) return 0;
  // Whether a device takes the format is asked when output starts, so a
  // converter decoding to a file never touches one.
  e.device_usable = true;
  for (auto &h : e.headers) {
    h.buffer_length = kSlotBytes;
    h.bytes_recorded = 0;
    h.flags = AUDIO_WHDR_PREPARED;
  }
  e.opened = true;
  e.stopping = false;
  return 1;
}

int32_t close_all(Engine &e) {
  int32_t result = 0;
  if (e.opened && e.device_usable) {
    stop_and_quiesce(e);
    close_device(e);
    forget_buffers(e);
    result = 1;
  }
  e.opened = false;
  e.playing = false;
  if (e.file_mode) {
    media().close();
    e.file_mode = false;
  } else {
    e.audio_file = false;
  }
  source_ops(e.kind).close(e);
  // A capture still running gets its final sizes; the descriptor stays the
  // caller's.
  if (e.capture_fd != -1) capture_finish(e);
  e.stopping = false;
  return result;
}

int32_t reset_stream(Engine &e) {
  e.file_mode = true;
  e.channel_mode = AUDIO_CHANNEL_STEREO;
  e.audio_file = true;
  e.source_tag = -1;
  e.paused = 0;
  e.sync_word = kDefaultSyncWord;
  e.sync_bits = kDefaultSyncBits;
  bool was_stopping = e.stopping;
  stop_and_quiesce(e);
  reset_decoding(e, true);
  e.end_of_stream = false;
  e.stopping = was_stopping;
  return 1;
}

void flush(Engine &e) {
  if (!e.opened || !e.device_usable || e.paused) return;
  stop_and_quiesce(e);
  reset_decoding(e, false);
  {
    platform::Lock lock(e.queue_lock);
    e.ring = PlaybackRing{};
  }
  for (auto &h : e.headers) h.flags = AUDIO_WHDR_PREPARED;
  const MediaLink &m = media();
  if (!e.file_mode && e.kind == SourceKind::mpeg_audio) {
    // Drop what the ring holds beyond the caller's level: it belongs to
    // the old position.
    alignas(8) uint8_t scratch[kRawBlockBytes + 8];
    while (m.audio_avail() > e.flush_limit) {
      if (m.read_audio(scratch, kRawBlockBytes) <= 0) break;
    }
  }
  e.end_of_stream = false;
  e.input_ended = false;
  if (e.device) {
    m.flush(DRAVIK_FLUSH_QUEUE);
    forget_buffers(e);
    e.stopping = false;
    queue_all_buffers(e);
  }
  e.stopping = false;
}

void halt(Engine &e) {
  if (!e.opened || !e.device_usable || !e.device) return;
  e.device->reset();
}

int32_t set_pause(Engine &e, int32_t on) {
  if (!e.opened || !e.device_usable) return 0;
  e.paused = on;
  const MediaLink &m = media();
  if (on) {
    stop_and_quiesce(e);
    close_device(e);
    if (!e.in_fill.is_set()) m.flush(DRAVIK_FLUSH_AUDIO_OFF);
  } else {
    m.flush(DRAVIK_FLUSH_BOTH_ON);
    if (!e.device) start_output(e);
    flush(e);
    e.stopping = false;
  }
  return e.device ? 1 : 0;
}

void reinit_output(Engine &e, void (*store)(Engine &, int32_t), int32_t value) {
  if (!e.opened) {
    store(e, value);
    return;
  }
  bool was_stopping = e.stopping;
  stop_and_quiesce(e);
  store(e, value);
  choose_rate_mode(e);
  reset_decoding(e, false);
  bool had_device = e.device != nullptr;
  close_device(e);
  if (e.info_valid) format_for_stream(e);
  for (auto &h : e.headers) {
    h.buffer_length = kSlotBytes;
    h.flags = AUDIO_WHDR_PREPARED;
  }
  media().flush(DRAVIK_FLUSH_QUEUE);
  e.in_fill.clear();
  e.end_of_stream = false;
  e.input_ended = false;
  e.stopping = was_stopping;
  if (!e.paused && had_device) start_output(e);
}

void set_channel_mode(Engine &e, int32_t mode) {
  if (mode < AUDIO_CHANNEL_LEFT_ONLY || mode > AUDIO_CHANNEL_MIX) return;
  reinit_output(
      e, [](Engine &en, int32_t v) { en.channel_mode = v; }, mode);
}

void set_rate_mode(Engine &e, int32_t mode) {
  if (mode < AUDIO_RATE_FULL || mode > AUDIO_RATE_HALF) return;
  if (mode == e.rate_mode_active) {
    e.rate_mode_requested = mode;
    return;
  }
  reinit_output(
      e, [](Engine &en, int32_t v) { en.rate_mode_requested = v; }, mode);
}

int32_t play(Engine &e) {
  if (!e.opened || !e.device_usable) return 0;
  e.playing = true;
  if (e.kind == SourceKind::push_pcm && (e.end_of_stream || e.input_ended)) reset_stream(e);
  if (!e.device) start_output(e);
  return e.device ? 1 : 0;
}

int32_t stop_output(Engine &e) {
  if (!e.opened || !e.device_usable) return 0;
  stop_and_quiesce(e);
  close_device(e);
  e.stopping = false;
  return 1;
}

int32_t stop(Engine &e) {
  if (!e.opened || !e.device_usable) return 0;
  e.playing = false;
  int32_t r = stop_output(e);
  push_clock_restart(e);
  return r;
}

int32_t wait_read(Engine &e) {
  if (e.starving) e.read_gate.wait(kWaitReadBoundMs);
  return 0;
}

FillResult decode_sync(Engine &e) {
  // The engine thread may be inside a fill; wait for it (a bounded time)
  // rather than share the decoder. Past the bound nothing is decoded, and
  // the stream has not ended.
  if (!e.in_fill.claim(kDecodeSyncBoundMs)) return FillResult{0, true};
  e.force16 = true;
  FillResult r = decode_block(e, e.slot(0));
  e.force16 = false;
  e.in_fill.clear();
  if (!r.ok) e.end_of_stream = true;
  return r;
}

}  // namespace lunaret
