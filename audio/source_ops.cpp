// The per-kind operations: MPEG audio through the MPEG audio decoder here;
// AC-3, LPCM, AVI audio and pushed PCM in their own files.
#include <atomic>

#include "audio/avi_audio.h"
#include "audio/decode/mpeg_audio_decoder.h"
#include "audio/engine.h"
#include "audio/media_link.h"
#include "platform/clock.h"

namespace lunaret {

// Every media-layer read of the decoders goes through here: the timing run
// counts the time spent in it, and while the device starves a reader can
// wait for the read in progress to finish (AudioWaitRead).
int32_t engine_read(Engine &e, void *dst, int32_t len) {
  bool gate = e.starving;
  if (gate) e.read_gate.reset();
  int64_t t0 = platform::perf_counter();
  int32_t n = e.kind == SourceKind::mpeg_audio ? media().read_audio(dst, len)
                                               : media().read_stream(e.stream_id, dst, len);
  e.read_ticks += platform::perf_counter() - t0;
  if (gate) e.read_gate.set();
  return n < 0 ? 0 : (n > len ? len : n);
}

namespace {

MpegAudioDecoder &mpeg_decoder() {
  static MpegAudioDecoder d;
  return d;
}

int32_t mpeg_read(void *, void *dst, int32_t len) { return engine_read(engine(), dst, len); }

void mpeg_apply_modes(Engine &e) {
  MpegAudioDecoder &d = mpeg_decoder();
  d.set_channel_mode(static_cast<ChannelMode>(e.channel_mode.load()));
  d.set_rate_mode(static_cast<RateMode>(e.rate_mode_requested));
}

bool mpeg_open(Engine &e) {
  MpegAudioDecoder &d = mpeg_decoder();
  d.set_source(mpeg_read, nullptr);
  d.reset_stream();
  d.set_sync(e.sync_word, e.sync_bits);
  return true;
}

bool mpeg_prepare(Engine &e, SourceFormat &f) {
  MpegAudioDecoder &d = mpeg_decoder();
  mpeg_apply_modes(e);
  d.reset_decoder();
  StreamInfo si;
  if (d.probe(e.file_mode ? 1 : 0, &si) != 1) {
    e.input_ended = d.input_ended();
    return false;
  }
  f.layer = si.layer;
  f.rate_index = si.sampling_index;
  f.rate = si.sample_rate;
  f.channels = si.channels;
  f.mode = si.mode;
  f.bit_rate = si.bitrate_kbps;
  f.bits = 16;
  e.sync_word = d.sync_word();
  e.sync_bits = d.sync_bits();
  return true;
}

FillResult mpeg_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t frames) {
  MpegAudioDecoder &d = mpeg_decoder();
  int32_t values = 0;
  int32_t ok = d.fill_block(dst, capacity, frames, &values);
  if (d.input_ended()) e.input_ended = true;
  return {values, ok == 1};
}

void mpeg_reset(Engine &e, bool reader) {
  MpegAudioDecoder &d = mpeg_decoder();
  mpeg_apply_modes(e);
  if (reader) {
    d.reset_stream();
    d.set_sync(e.sync_word, e.sync_bits);
  } else {
    d.reset_decoder();
  }
}

void no_close(Engine &) {}

// Kinds whose decoders are not built yet: they open, cannot name a format
// and end at once.
bool later_open(Engine &) { return true; }
bool later_prepare(Engine &, SourceFormat &) { return false; }
FillResult later_fill(Engine &e, int16_t *, int32_t, int32_t) {
  e.input_ended = true;
  return {0, false};
}
void later_reset(Engine &, bool) {}

bool none_open(Engine &) { return true; }

const SourceOps kMpegOps = {mpeg_open, mpeg_prepare, mpeg_fill, mpeg_reset, no_close};
const SourceOps kLaterOps = {later_open, later_prepare, later_fill, later_reset, no_close};
const SourceOps kNoAudioOps = {none_open, later_prepare, later_fill, later_reset, no_close};

constexpr int kKindSlots = 6;  // no_audio .. push_pcm
std::atomic<const SourceOps *> g_override[kKindSlots] = {};

int kind_slot(SourceKind k) { return static_cast<int>(k) + 1; }

}  // namespace

void init_sources() { mpeg_decoder(); }

const SourceOps &source_ops(SourceKind kind) {
  int s = kind_slot(kind);
  if (s < 0 || s >= kKindSlots) return kNoAudioOps;
  if (const SourceOps *o = g_override[s].load()) return *o;
  switch (kind) {
    case SourceKind::mpeg_audio:
      return kMpegOps;
    case SourceKind::no_audio:
      return kNoAudioOps;
    case SourceKind::avi_audio:
      return avi_audio_ops();
    case SourceKind::ac3:
      return ac3_source_ops();
    case SourceKind::lpcm:
      return lpcm_source_ops();
    case SourceKind::push_pcm:
      return push_source_ops();
    default:
      return kLaterOps;
  }
}

void set_source_ops(SourceKind kind, const SourceOps *ops) {
  int s = kind_slot(kind);
  if (s >= 0 && s < kKindSlots) g_override[s].store(ops);
}

}  // namespace lunaret
