// AudioCommand: the engine's command dispatcher.
#include <algorithm>
#include <cstring>

#include "audio/engine.h"
#include "audio/media_link.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace lunaret {

namespace {

int32_t clamp_arg(intptr_t arg, int32_t hi) {
  if (arg <= 0) return 1;
  return arg > hi ? hi : static_cast<int32_t>(arg);
}

template <typename T>
T *out_ptr(intptr_t arg) {
  return reinterpret_cast<T *>(arg);
}

// Raw audio bytes from the media layer, the way the decoders read them.
int32_t read_raw(Engine &e, uint8_t *buf, int32_t len) {
  const MediaLink &m = media();
  int32_t n = e.kind == SourceKind::mpeg_audio || e.kind == SourceKind::no_audio
                  ? m.read_audio(buf, len)
                  : m.read_stream(e.stream_id, buf, len);
  return n < 0 ? 0 : std::min(n, len);
}

// AUDIO_CMD_COPY_RAW and AUDIO_CMD_COPY_RAW_SYNCED: one 2,048-byte block of raw audio to a file,
// from the first sync word on when `synced`.
int32_t copy_raw(Engine &e, int32_t fd, bool synced) {
  if (fd < 0) return 0;
  // The media layer may round a final remainder up by 3 bytes.
  alignas(8) uint8_t buf[kRawBlockBytes + 8];
  int32_t n = read_raw(e, buf, kRawBlockBytes);
  int32_t start = 0;
  if (synced) {
    uint32_t bits = static_cast<uint32_t>(e.sync_bits == 16 ? 16 : 12);
    uint32_t want = e.sync_word & ((1u << bits) - 1);
    for (int reads = 1;; ++reads) {
      int32_t p = 0;
      for (; p + 1 < n; ++p) {
        uint32_t v = (static_cast<uint32_t>(buf[p]) << 8) | buf[p + 1];
        if ((v >> (16 - bits)) == want) break;
      }
      start = p;
      if (n - start >= 4 || reads >= 8 || n == 0) break;
      n = read_raw(e, buf, kRawBlockBytes);
    }
    if (start > n) start = n;
  }
  if (n - start <= 0) return 0;
  int32_t w = platform::file_write(fd, buf + start, n - start);
  return w < 0 ? 0 : w;
}

int32_t bits_per_sample(const Engine &e) {
  switch (e.kind) {
    case SourceKind::lpcm:
      return e.info.bits;
    case SourceKind::avi_audio:
    case SourceKind::push_pcm:
      return 16;
    default:
      return 8 * e.out.bytes_per_sample;
  }
}

int32_t position_stalled(Engine &e) {
  if (!e.device) return 1;
  int32_t ms = static_cast<int32_t>(e.device->position(TimeType::ms).value);
  bool same = ms == e.last_stall_position;
  e.last_stall_position = ms;
  int32_t outstanding;
  {
    platform::Lock lock(e.queue_lock);
    outstanding = e.at_device;
  }
  return (same || outstanding == 0) ? 1 : 0;
}

}  // namespace

int32_t get_bit_rate(Engine &e) {
  switch (e.kind) {
    case SourceKind::mpeg_audio:
    case SourceKind::ac3:
    case SourceKind::lpcm:
      return e.info_valid ? e.info.bit_rate << 10 : 0;
    case SourceKind::avi_audio:
    case SourceKind::push_pcm:
      return 8000;
    default:
      return 0;
  }
}

int32_t timing_run(Engine &e, AudioTimingRun *out) {
  if (!out || !e.opened || !e.device_usable || e.device || !fit_output_to_device(e)) return 0;
  bool was_stopping = e.stopping;
  e.stopping = true;
  quiesce(e);
  auto dev = AudioDevice::open(default_output_driver(), e.out.pcm, device_done, &e);
  if (!dev) {
    e.stopping = was_stopping;
    return 0;
  }
  dev->pause();
  const int32_t fpf = std::max(1, e.frames_per_fill);
  const int32_t wanted = std::min(kBufferCount, 36 / fpf);
  int64_t freq = platform::perf_frequency();
  auto ms = [freq](int64_t ticks) { return static_cast<int32_t>(ticks * 1000 / freq); };

  e.read_ticks = 0;
  int64_t t0 = platform::perf_counter();
  int32_t filled = 0;
  while (filled < wanted) {
    FillResult r = decode_block(e, e.slot(filled));
    if (r.values <= 0) break;
    e.headers[filled].bytes_recorded = static_cast<uint32_t>(r.values * e.out.bytes_per_sample);
    ++filled;
    if (!r.ok) break;
  }
  int64_t t_decoded = platform::perf_counter();
  int64_t read = e.read_ticks;

  for (int32_t k = 0; k < filled; ++k) {
    AudioWaveHeader &h = e.headers[k];
    h.flags = 0;
    dev->prepare(&h);
    dev->write(&h);
    if ((k + 1) % kBufferCount == 0) dev->reset();
  }
  dev->reset();
  for (int32_t k = 0; k < filled; ++k) dev->unprepare(&e.headers[k]);
  dev->close();
  int64_t t_end = platform::perf_counter();

  out->frames = filled * fpf;
  out->elapsed_ms = ms(t_end - t0);
  out->decode_ms = ms(t_decoded - t0 - read);
  out->read_ms = ms(read);
  out->write_ms = ms(t_end - t_decoded);
  for (auto &h : e.headers) h.flags = AUDIO_WHDR_PREPARED;
  e.stopping = was_stopping;
  return 1;
}

intptr_t audio_command(Engine &e, int32_t cmd, intptr_t arg) {
  const MediaLink &m = media();
  switch (cmd) {
    case AUDIO_CMD_END_OF_STREAM:
      return e.end_of_stream ? 1 : 0;
    case AUDIO_CMD_CAPTURE_START:
      capture_start(e, static_cast<int32_t>(arg));
      return 0;
    case AUDIO_CMD_CAPTURE_FINISH:
      return capture_finish(e);
    case AUDIO_CMD_DECODE_BLOCK: {
      if (!e.opened) {
        if (arg) *out_ptr<int32_t>(arg) = 0;
        return 0;
      }
      FillResult r = decode_sync(e);
      if (arg) *out_ptr<int32_t>(arg) = r.values * 2;
      return reinterpret_cast<intptr_t>(e.slot(0));
    }
    case AUDIO_CMD_OUTPUT_START:
      return e.opened ? start_output(e) : 0;
    case AUDIO_CMD_OUTPUT_STOP:
      return e.opened ? stop_output(e) : 0;
    case AUDIO_CMD_RATE_SUPPORTED:
      return rate_supported(static_cast<int32_t>(arg));
    case AUDIO_CMD_RATE_CHANNELS:
      return rate_channels(static_cast<int32_t>(arg));
    case AUDIO_CMD_COPY_RAW:
      return copy_raw(e, static_cast<int32_t>(arg), false);
    case AUDIO_CMD_COPY_RAW_SYNCED:
      return copy_raw(e, static_cast<int32_t>(arg), true);
    case AUDIO_CMD_WAV_HEADER:
      return arg >= 0 && write_wav_header(e, static_cast<int32_t>(arg), 0) ? 44 : 0;
    case AUDIO_CMD_DECODE_TO_FILE: {
      if (!e.opened || arg < 0) return 0;
      FillResult r = decode_sync(e);
      if (r.values <= 0) return 0;
      int32_t w = platform::file_write(static_cast<int32_t>(arg), e.slot(0), r.values * 2);
      return w < 0 ? 0 : w;
    }
    case AUDIO_CMD_WAV_FINISH: {
      if (arg < 0) return 0;
      int64_t size = platform::file_size(static_cast<int32_t>(arg));
      if (size < 44) return 0;
      return finish_wav_header(e, static_cast<int32_t>(arg), static_cast<uint32_t>(size - 44)) ? 1 : 0;
    }
    case AUDIO_CMD_LAYER:
      return e.info_valid ? e.info.layer : 0;
    case AUDIO_CMD_RATE_INDEX:
      if (arg) *out_ptr<int32_t>(arg) = e.info_valid ? e.info.rate : 0;
      return e.info_valid ? e.info.rate_index : 0;
    case AUDIO_CMD_CHANNEL_FORMAT:
      if (e.kind == SourceKind::mpeg_audio) return e.info_valid ? e.info.mode : 0;
      if (arg) *out_ptr<int32_t>(arg) = e.info.channels;
      return 4;
    case AUDIO_CMD_DEVICE_HANDLE: {
      std::lock_guard<std::mutex> lock(e.device_mutex);
      return reinterpret_cast<intptr_t>(e.device.get());
    }
    case AUDIO_CMD_SCOPE_PAIR:
      return arg ? get_scope(e, out_ptr<AudioScopePair>(arg), 1) : 0;
    case AUDIO_CMD_BITS_PER_SAMPLE:
      return bits_per_sample(e);
    case AUDIO_CMD_SET_FRAMES_PER_FILL:
      e.frames_per_fill = clamp_arg(arg, kFramesPerFillMax);
      return 0;
    case AUDIO_CMD_DEVICE_PAUSE:
      return e.device ? (e.device->pause() == kDeviceOk ? 1 : 0) : 0;
    case AUDIO_CMD_DEVICE_RESTART:
      return e.device ? (e.device->restart() == kDeviceOk ? 1 : 0) : 0;
    case AUDIO_CMD_SET_ECHO: {
      e.echo_read = 0;
      e.echo_write = arg <= 0 ? 0 : static_cast<int32_t>(std::min<intptr_t>(arg, kEchoSlots - 1));
      for (auto &s : e.echo_line) s.fill(0);
      return 0;
    }
    case AUDIO_CMD_POSITION_STALLED:
      return position_stalled(e);
    case AUDIO_CMD_TIMING_RUN:
      return timing_run(e, out_ptr<AudioTimingRun>(arg));
    case AUDIO_CMD_SET_FLUSH_LIMIT:
      e.flush_limit = static_cast<int32_t>(arg);
      return 0;
    case AUDIO_CMD_RESERVED_27:
    case AUDIO_CMD_RESERVED_28:
      return 0;
    case AUDIO_CMD_SET_QUEUE_CAP:
      e.queue_cap = clamp_arg(arg, kQueueMax);
      return 0;
    case AUDIO_CMD_BYTE_RATE:
      return e.audio_file ? get_bit_rate(e) / 8 : m.control(CTL_BYTE_RATE, 0);
    case AUDIO_CMD_SOURCE_KIND:
      return static_cast<int32_t>(e.kind);
    case AUDIO_CMD_OUTPUT_CHANNELS:
      return e.channel_mode == AUDIO_CHANNEL_STEREO ? 2 : 1;
    case AUDIO_CMD_SET_FILE_IO_A:
      m.control(CTL_SET_FILE_IO_A, arg);
      return 0;
    case AUDIO_CMD_SET_PROBE_HOOK:
      m.control(CTL_SET_PROBE_HOOK, arg);
      return 0;
    case AUDIO_CMD_SYNC_WORD:
      return static_cast<intptr_t>(e.sync_word);
    case AUDIO_CMD_PLAY_TIME:
      return get_play_time(e);
    case AUDIO_CMD_SET_AC3_MODE:
      e.ac3_mode = static_cast<int32_t>(arg);
      return 0;
    case AUDIO_CMD_GET_AC3_MODE:
      return e.ac3_mode;
    case AUDIO_CMD_MAX_CHANNELS:
      probe_capabilities(e);
      if (arg) *out_ptr<int32_t>(arg) = e.layout_mask;
      return e.max_channels;
    case AUDIO_CMD_SPDIF_USABLE:
      probe_capabilities(e);
      return e.spdif_usable;
    case AUDIO_CMD_SET_PASSTHROUGH:
      e.passthrough = static_cast<int32_t>(arg);
      return 0;
    case AUDIO_CMD_GET_PASSTHROUGH:
      return e.passthrough;
    case AUDIO_CMD_SET_CAPTURE_WRITER:
      e.capture_writer = out_ptr<const AudioCaptureWriter>(arg);
      return 0;
    case AUDIO_CMD_EDIT_LAYOUT:
      return reinterpret_cast<intptr_t>(&e.edit_layout);
    case AUDIO_CMD_GET_ALT_TABLE:
      return e.alt_table;
    case AUDIO_CMD_SET_ALT_TABLE:
      e.alt_table = static_cast<int32_t>(arg);
      return 0;
    case AUDIO_CMD_GET_PRESET:
      return e.preset;
    case AUDIO_CMD_SET_PRESET:
      if (arg >= 0 && arg < kPresetCount) {
        e.preset = static_cast<int32_t>(arg);
        const auto roles = preset_roles(e.alt_table != 0, e.preset);
        std::copy(roles.begin(), roles.end(), e.edit_layout.channel);
      }
      return 0;
    case AUDIO_CMD_APPLY_LAYOUT:
      e.active_layout = e.edit_layout;
      return 0;
    case AUDIO_CMD_SET_MULTICHANNEL:
      e.multichannel = static_cast<int32_t>(arg);
      return 0;
    case AUDIO_CMD_GET_MULTICHANNEL:
      return e.multichannel;
    case AUDIO_CMD_WAVEOUT_HANDLE:
      return reinterpret_cast<intptr_t>(e.device.get());
    case AUDIO_CMD_GET_EQUALISER:
      if (arg) std::memcpy(out_ptr<int32_t>(arg), e.eq_values.data(), sizeof(e.eq_values));
      return 0;
    case AUDIO_CMD_SET_EQUALISER:
      if (arg) std::memcpy(e.eq_values.data(), out_ptr<const int32_t>(arg), sizeof(e.eq_values));
      equaliser_update_gains(e);
      return 0;
    case AUDIO_CMD_GET_EQ_ENABLE:
      return e.eq_enable;
    case AUDIO_CMD_SET_EQ_ENABLE:
      e.eq_enable = static_cast<int32_t>(arg);
      equaliser_update_enable(e);
      return 0;
    default:
      return 0;
  }
}

}  // namespace lunaret
