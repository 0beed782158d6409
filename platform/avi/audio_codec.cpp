// Audio converters: libavcodec decoders behind a byte-in, PCM-out call, or
// a driver installed for the format tag.
#include "platform/avi/audio_codec.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/avi/avi_internal.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/ffmpeg_dynamic.h"

namespace platform::avi {

namespace {

constexpr int kMaxTags = 0x10000;
constexpr int32_t kSubFormatOffset = 24;  // the GUID's first word in an extensible format
constexpr int32_t kExtensibleBytes = 40;
constexpr size_t kMaxPendingInput = 1 << 20;
constexpr int32_t kMaxOutChannels = 2;

std::atomic<const AudioDriver *> g_drivers[kMaxTags];

AVCodecID codec_of(uint16_t tag, int bits) {
  switch (tag) {
    case kTagPcm:
      return bits == 8    ? AV_CODEC_ID_PCM_U8
             : bits == 24 ? AV_CODEC_ID_PCM_S24LE
             : bits == 32 ? AV_CODEC_ID_PCM_S32LE
                          : AV_CODEC_ID_PCM_S16LE;
    case kTagFloat:
      return bits == 64 ? AV_CODEC_ID_PCM_F64LE : AV_CODEC_ID_PCM_F32LE;
    case kTagAlaw:
      return AV_CODEC_ID_PCM_ALAW;
    case kTagMulaw:
      return AV_CODEC_ID_PCM_MULAW;
    case kTagMsAdpcm:
      return AV_CODEC_ID_ADPCM_MS;
    case kTagImaAdpcm:
      return AV_CODEC_ID_ADPCM_IMA_WAV;
    case kTagAc3:
      return AV_CODEC_ID_AC3;
    default:
      return AV_CODEC_ID_NONE;
  }
}

}  // namespace

struct AudioConverter {
  // An installed driver...
  const AudioDriver *driver = nullptr;
  void *self = nullptr;
  // ...or libavcodec.
  AVCodecContext *ctx = nullptr;
  AVCodecParserContext *parser = nullptr;
  AVPacket *packet = nullptr;
  AVFrame *frame = nullptr;
  SwrContext *swr = nullptr;
  int32_t rate = 0, channels = 0, block = 1;
  bool pcm_like = false;
  std::vector<uint8_t> in;
  std::vector<int16_t> out;
  size_t out_read = 0;
};

void install_audio_driver(uint16_t tag, const AudioDriver *driver) { g_drivers[tag].store(driver); }

namespace {

bool make_resampler(AudioConverter *c) {
  AVChannelLayout in_layout, out_layout;
  if (c->ctx->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_copy(&in_layout, &c->ctx->ch_layout);
  } else {
    av_channel_layout_default(&in_layout, c->ctx->ch_layout.nb_channels);
  }
  av_channel_layout_default(&out_layout, c->channels);
  int r = swr_alloc_set_opts2(&c->swr, &out_layout, AV_SAMPLE_FMT_S16, c->rate, &in_layout,
                              c->ctx->sample_fmt, c->ctx->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&in_layout);
  av_channel_layout_uninit(&out_layout);
  return r >= 0 && swr_init(c->swr) >= 0;
}

bool take_frames(AudioConverter *c) {
  for (;;) {
    int r = avcodec_receive_frame(c->ctx, c->frame);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    if (!c->swr && !make_resampler(c)) return false;
    const int n = c->frame->nb_samples;
    size_t at = c->out.size();
    c->out.resize(at + size_t(n) * size_t(c->channels));
    uint8_t *dst[1] = {reinterpret_cast<uint8_t *>(c->out.data() + at)};
    int got = swr_convert(c->swr, dst, n, const_cast<const uint8_t **>(c->frame->extended_data), n);
    c->out.resize(at + size_t(std::max(got, 0)) * size_t(c->channels));
    av_frame_unref(c->frame);
  }
}

// A damaged packet is skipped: the sound goes on with the next one.
void decode_packet(AudioConverter *c, const uint8_t *data, int size) {
  c->packet->data = const_cast<uint8_t *>(data);
  c->packet->size = size;
  if (avcodec_send_packet(c->ctx, c->packet) >= 0) take_frames(c);
}

void decode_pending(AudioConverter *c) {
  size_t pos = 0;
  if (c->parser) {
    while (pos < c->in.size()) {
      uint8_t *pkt = nullptr;
      int pkt_size = 0;
      int n = av_parser_parse2(c->parser, c->ctx, &pkt, &pkt_size, c->in.data() + pos,
                               int(c->in.size() - pos), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
      if (n <= 0 && pkt_size == 0) break;
      pos += size_t(std::max(n, 0));
      if (pkt_size > 0) decode_packet(c, pkt, pkt_size);
    }
  } else {
    const size_t block = size_t(c->block);
    const size_t whole = c->pcm_like ? (c->in.size() / block) * block : 0;
    if (whole) {
      decode_packet(c, c->in.data(), int(whole));
      pos = whole;
    } else {
      while (c->in.size() - pos >= block) {
        decode_packet(c, c->in.data() + pos, int(block));
        pos += block;
      }
    }
  }
  c->in.erase(c->in.begin(), c->in.begin() + long(pos));
}

bool open_libav(AudioConverter *c, const uint8_t *f, int32_t size, uint16_t tag, std::string *why) {
  const int channels = le16(f + 2), bits = le16(f + 14);
  const uint32_t rate = le32(f + 4);
  AVCodecID id = codec_of(tag, bits);
  const AVCodec *codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (!codec) {
    if (why) *why = "no audio converter for this format";
    return false;
  }
  if (channels <= 0 || channels > 8 || rate == 0 || rate > 384000) {
    if (why) *why = "bad audio format";
    return false;
  }
  c->block = std::max<int32_t>(le16(f + 12), 1);
  const bool adpcm = id == AV_CODEC_ID_ADPCM_MS || id == AV_CODEC_ID_ADPCM_IMA_WAV;
  if (adpcm && le16(f + 12) == 0) {
    if (why) *why = "ADPCM format without a block size";
    return false;
  }
  c->pcm_like = !adpcm && id != AV_CODEC_ID_AC3;
  c->ctx = avcodec_alloc_context3(codec);
  c->packet = av_packet_alloc();
  c->frame = av_frame_alloc();
  if (!c->ctx || !c->packet || !c->frame) return false;
  c->ctx->sample_rate = int(rate);
  av_channel_layout_default(&c->ctx->ch_layout, channels);
  c->ctx->block_align = c->block;
  c->ctx->bits_per_coded_sample = bits;
  c->ctx->bit_rate = int64_t(le32(f + 8)) * 8;
  const int32_t extra =
      size > kWaveFormatBytes ? std::min<int32_t>(le16(f + 16), size - kWaveFormatBytes) : 0;
  if (extra > 0) {
    c->ctx->extradata = static_cast<uint8_t *>(av_mallocz(size_t(extra) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!c->ctx->extradata) return false;
    std::memcpy(c->ctx->extradata, f + kWaveFormatBytes, size_t(extra));
    c->ctx->extradata_size = extra;
  }
  AVDictionary *opts = nullptr;
  // More than two channels are folded to stereo; AC-3 by its own downmix.
  if (id == AV_CODEC_ID_AC3 && channels > kMaxOutChannels) av_dict_set(&opts, "downmix", "stereo", 0);
  int r = avcodec_open2(c->ctx, codec, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    if (why) *why = "the audio converter did not open";
    return false;
  }
  if (id == AV_CODEC_ID_AC3) c->parser = av_parser_init(AV_CODEC_ID_AC3);
  c->rate = int32_t(rate);
  c->channels = std::min(channels, kMaxOutChannels);
  return true;
}

}  // namespace

AudioConverter *audio_converter_open(const uint8_t *f, int32_t size, std::string *why) {
  if (!f || size < 16) {
    if (why) *why = "bad audio format";
    return nullptr;
  }
  uint16_t tag = le16(f);
  if (tag == kTagExtensible && size >= kExtensibleBytes) tag = le16(f + kSubFormatOffset);
  auto *c = new AudioConverter;
  if (const AudioDriver *d = g_drivers[tag].load()) {
    c->driver = d;
    c->self = d->open(f, size, &c->rate, &c->channels);
    c->block = std::max<int32_t>(le16(f + 12), 1);
    if (!c->self) {
      if (why) *why = "the audio converter did not open";
      delete c;
      return nullptr;
    }
    return c;
  }
  if (!open_libav(c, f, size, tag, why)) {
    audio_converter_close(c);
    return nullptr;
  }
  return c;
}

void audio_converter_close(AudioConverter *c) {
  if (!c) return;
  if (c->driver && c->self) c->driver->close(c->self);
  av_parser_close(c->parser);
  avcodec_free_context(&c->ctx);
  av_packet_free(&c->packet);
  av_frame_free(&c->frame);
  swr_free(&c->swr);
  delete c;
}

int32_t audio_converter_rate(const AudioConverter *c) { return c->rate; }
int32_t audio_converter_channels(const AudioConverter *c) { return c->channels; }
int32_t audio_converter_block(const AudioConverter *c) { return c->block; }

bool audio_converter_convert(AudioConverter *c, const uint8_t *src, int32_t len, int16_t *dst, int32_t cap,
                             int32_t *used, int32_t *produced) {
  *used = *produced = 0;
  if (c->driver) return c->driver->convert(c->self, src, len, dst, cap, used, produced);
  auto drain = [&] {
    size_t n = std::min(c->out.size() - c->out_read, size_t(cap - *produced));
    // An empty queue may have no storage at all, and memcpy takes no null.
    if (n > 0) std::memcpy(dst + *produced, c->out.data() + c->out_read, n * sizeof(int16_t));
    c->out_read += n;
    *produced += int32_t(n);
    if (c->out_read == c->out.size()) {
      c->out.clear();
      c->out_read = 0;
    }
  };
  drain();
  if (*produced >= cap || len <= 0) return true;
  if (c->in.size() + size_t(len) > kMaxPendingInput) return false;
  c->in.insert(c->in.end(), src, src + len);
  *used = len;
  decode_pending(c);
  drain();
  return true;
}

int32_t audio_converter_finish(AudioConverter *c, int16_t *dst, int32_t cap) {
  int32_t used = 0, produced = 0;
  if (c->driver) {
    c->driver->convert(c->self, nullptr, -1, dst, cap, &used, &produced);
    return produced;
  }
  if (c->ctx && c->out.empty()) {
    decode_pending(c);
    if (avcodec_send_packet(c->ctx, nullptr) >= 0) take_frames(c);
  }
  audio_converter_convert(c, nullptr, 0, dst, cap, &used, &produced);
  return produced;
}

void audio_converter_reset(AudioConverter *c) {
  if (c->driver) {
    c->driver->reset(c->self);
    return;
  }
  c->in.clear();
  c->out.clear();
  c->out_read = 0;
  if (c->ctx) avcodec_flush_buffers(c->ctx);
  if (c->parser) {
    av_parser_close(c->parser);
    c->parser = av_parser_init(AV_CODEC_ID_AC3);
  }
}

}  // namespace platform::avi
