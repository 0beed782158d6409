// AviAudio: the selected audio stream of Dravik's AVI source, read with
// SysAviReadAudio and turned into 16-bit PCM by the AVI audio converters.
#include "audio/avi_audio.h"

#include <algorithm>
#include <vector>

#include "audio/avi_mpeg_driver.h"
#include "media/media_api.h"
#include "platform/avi/audio_codec.h"
#include "platform/avi/avi_reader.h"

namespace lunaret {

namespace {

namespace avi = platform::avi;

// The read of one source buffer, unless the stream wants more.
constexpr int32_t kSourceRead = 8192;
// Placed frames take up to 12-16 bytes: a fill stays within the slot.
constexpr int32_t kPlacedChannels = 6;

struct AviAudioState {
  avi::AudioConverter *converter = nullptr;
  std::vector<uint8_t> source;
  int32_t channels = 2;
};

AviAudioState &state() {
  static AviAudioState s;
  return s;
}

void drop_converter() {
  AviAudioState &s = state();
  avi::audio_converter_close(s.converter);
  s.converter = nullptr;
}

bool avi_open(Engine &) { return true; }

bool avi_prepare(Engine &, SourceFormat &f) {
  AviAudioState &s = state();
  drop_converter();
  install_avi_mpeg_driver();
  const auto *stream = reinterpret_cast<const avi::Stream *>(SysAviCurrentAudio());
  if (!stream) return false;
  std::vector<uint8_t> format(size_t(avi::read_format(stream, nullptr, 0)));
  avi::read_format(stream, format.data(), int32_t(format.size()));
  s.converter = avi::audio_converter_open(format.data(), int32_t(format.size()), nullptr);
  if (!s.converter) return false;
  // A chunk larger than the read would fail it and end the sound: the read
  // follows the suggested buffer (at least the largest chunk) and holds two
  // source blocks or more.
  const int32_t block = avi::audio_converter_block(s.converter);
  const int32_t suggested =
      int32_t(std::min<uint32_t>(avi::stream_header(stream).suggested_buffer_size, 1 << 24));
  s.source.resize(size_t(std::max({kSourceRead, suggested, 2 * block})));
  s.channels = avi::audio_converter_channels(s.converter);
  f.layer = 0;
  f.rate = avi::audio_converter_rate(s.converter);
  f.channels = s.channels;
  f.bits = 16;
  f.bit_rate = 0;
  return true;
}

FillResult avi_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t) {
  AviAudioState &s = state();
  if (!s.converter) {
    e.input_ended = true;
    return {0, false};
  }
  const int32_t max_frames = kSlotBytes / (2 * std::max(kPlacedChannels, s.channels));
  const int32_t want = std::min(capacity, max_frames * s.channels);
  int32_t values = 0;
  while (values < want) {
    int32_t used = 0, produced = 0;
    avi::audio_converter_convert(s.converter, nullptr, 0, dst + values, want - values, &used, &produced);
    values += produced;
    if (values >= want) break;
    int32_t n = SysAviReadAudio(s.source.data(), int32_t(s.source.size()));
    if (n <= 0) {
      // The source is over: what the converter still holds comes out, then
      // the stream ends.
      int32_t rest = avi::audio_converter_finish(s.converter, dst + values, want - values);
      values += rest;
      if (rest == 0) e.input_ended = true;
      break;
    }
    if (!avi::audio_converter_convert(s.converter, s.source.data(), n, dst + values, want - values, &used,
                                      &produced) ||
        (used == 0 && produced == 0)) {
      e.input_ended = true;  // a conversion that takes nothing would spin
      break;
    }
    values += produced;
  }
  values -= values % s.channels;
  return {values, values > 0};
}

void avi_reset(Engine &, bool reader) {
  AviAudioState &s = state();
  if (s.converter) avi::audio_converter_reset(s.converter);
  if (reader) SysAviSyncAudio();
}

void avi_close(Engine &) { drop_converter(); }

const SourceOps kAviOps = {avi_open, avi_prepare, avi_fill, avi_reset, avi_close};

}  // namespace

const SourceOps &avi_audio_ops() { return kAviOps; }

}  // namespace lunaret
