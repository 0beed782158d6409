// The engine's own MPEG audio decoder as the AVI audio driver of format
// tags 0x50 and 0x55: chunk bytes go to a queue the decoder pulls from.
#include "audio/avi_mpeg_driver.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "audio/decode/mpeg_audio_decoder.h"
#include "platform/avi/audio_codec.h"

namespace lunaret {

namespace {

// Bytes kept queued before a frame is decoded, so that the decoder's read
// window never runs dry in the middle of the stream (which it would take
// for the end): its 2,048-byte window and a whole frame.
constexpr size_t kQueueReserve = 8192;
constexpr int32_t kMaxFrameValues = 1152 * 2;

struct MpegDriver {
  MpegAudioDecoder decoder;
  std::vector<uint8_t> queue;
  size_t read_at = 0;
  bool probed = false;
};

int32_t pull(void *ctx, void *dst, int32_t len) {
  auto *d = static_cast<MpegDriver *>(ctx);
  size_t n = std::min(size_t(std::max(len, 0)), d->queue.size() - d->read_at);
  std::memcpy(dst, d->queue.data() + d->read_at, n);
  d->read_at += n;
  return int32_t(n);
}

void *open(const uint8_t *format, int32_t, int32_t *rate, int32_t *channels) {
  uint32_t r = uint32_t(format[4]) | format[5] << 8 | format[6] << 16 | uint32_t(format[7]) << 24;
  int ch = format[2] | format[3] << 8;
  if (r == 0 || ch <= 0) return nullptr;
  auto *d = new MpegDriver;
  d->decoder.set_source(pull, d);
  d->decoder.set_channel_mode(ChannelMode::Stereo);
  d->decoder.set_rate_mode(RateMode::Full);
  d->decoder.reset_stream();
  *rate = int32_t(r);
  *channels = std::min(ch, 2);
  return d;
}

// src null and len -1: no more input, decode what is left.
bool convert(void *self, const uint8_t *src, int32_t len, int16_t *dst, int32_t cap, int32_t *used,
             int32_t *produced) {
  auto *d = static_cast<MpegDriver *>(self);
  const bool finish = !src && len < 0;
  if (src && len > 0) {
    d->queue.erase(d->queue.begin(), d->queue.begin() + long(d->read_at));
    d->read_at = 0;
    d->queue.insert(d->queue.end(), src, src + len);
    *used = len;
  }
  auto left = [&] { return d->queue.size() - d->read_at; };
  if (!d->probed && (left() >= kQueueReserve || finish)) {
    StreamInfo info;
    d->probed = d->decoder.probe(1, &info) == 1;
    if (!d->probed) return !finish;
  }
  while (d->probed && (left() >= kQueueReserve || finish) && *produced + kMaxFrameValues <= cap) {
    if (d->decoder.decode_frame(dst, cap, produced) != 1) break;
  }
  return true;
}

void reset(void *self) {
  auto *d = static_cast<MpegDriver *>(self);
  d->queue.clear();
  d->read_at = 0;
  d->probed = false;
  d->decoder.reset_stream();
}

void close(void *self) { delete static_cast<MpegDriver *>(self); }

const platform::avi::AudioDriver kDriver = {open, convert, reset, close};

}  // namespace

void install_avi_mpeg_driver() {
  platform::avi::install_audio_driver(platform::avi::kTagMpeg, &kDriver);
  platform::avi::install_audio_driver(platform::avi::kTagMpegLayer3, &kDriver);
}

}  // namespace lunaret
