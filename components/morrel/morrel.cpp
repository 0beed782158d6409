// Morrel on libavcodec's ac3 decoder. One codec context per output shape
// (stereo downmix, mono downmix, native channels), opened on first use, so
// a mode change between frames never re-opens a decoder mid-stream.
#include "components/morrel/morrel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "common/ac3/ac3_tables.h"
#include "components/common/export_guard.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "platform/ffmpeg_dynamic.h"

namespace {

enum Shape { kStereo = 0, kMono = 1, kNative = 2, kShapes = 3 };

struct Decoder {
  AVCodecContext *ctx[kShapes] = {};
  double drc[kShapes] = {-1, -1, -1};
  AVPacket *packet = nullptr;
  AVFrame *frame = nullptr;
  alignas(16) uint8_t input[MORREL_MAX_FRAME_BYTES + AV_INPUT_BUFFER_PADDING_SIZE] = {};

  ~Decoder() {
    for (auto *&c : ctx) avcodec_free_context(&c);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
};

AVCodecContext *open_shape(Shape shape) {
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_AC3);
  if (!codec) return nullptr;
  AVCodecContext *c = avcodec_alloc_context3(codec);
  if (!c) return nullptr;
  c->thread_count = 1;
  AVDictionary *opts = nullptr;
  if (shape == kStereo) av_dict_set(&opts, "downmix", "stereo", 0);
  if (shape == kMono) av_dict_set(&opts, "downmix", "mono", 0);
  int r = avcodec_open2(c, codec, &opts);
  av_dict_free(&opts);
  if (r < 0) avcodec_free_context(&c);
  return c;
}

int16_t half_scale(float v) {
  float s = v * 16384.0f;
  if (!(s > -32768.0f)) return -32768;  // also NaN
  if (s > 32767.0f) return 32767;
  return static_cast<int16_t>(std::lrintf(s));
}

// Plane of a channel in the frame, or -1.
int plane_of(const AVFrame *f, AVChannel ch) {
  return av_channel_layout_index_from_channel(&f->ch_layout, ch);
}

// The frame's planes in the multichannel order; -1 where the frame has no
// such channel. A single surround (back centre) lands in Ls.
void native_map(const AVFrame *f, int map[MORREL_MULTI_CHANNELS]) {
  map[0] = plane_of(f, AV_CHAN_FRONT_LEFT);
  map[1] = plane_of(f, AV_CHAN_FRONT_CENTER);
  map[2] = plane_of(f, AV_CHAN_FRONT_RIGHT);
  map[3] = plane_of(f, AV_CHAN_SIDE_LEFT);
  if (map[3] < 0) map[3] = plane_of(f, AV_CHAN_BACK_LEFT);
  if (map[3] < 0) map[3] = plane_of(f, AV_CHAN_BACK_CENTER);
  map[4] = plane_of(f, AV_CHAN_SIDE_RIGHT);
  if (map[4] < 0) map[4] = plane_of(f, AV_CHAN_BACK_RIGHT);
  map[5] = plane_of(f, AV_CHAN_LOW_FREQUENCY);
  // A layout without positions (should not happen for AC-3): one channel
  // is the centre, two are left and right.
  if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    for (int i = 0; i < MORREL_MULTI_CHANNELS; ++i) map[i] = -1;
    if (f->ch_layout.nb_channels == 1) map[1] = 0;
    if (f->ch_layout.nb_channels >= 2) map[0] = 0, map[2] = 1;
  }
}

// Writes the decoded frame as `channels`-channel interleaved PCM; missing
// sample frames (a short frame) stay zero.
void write_frame(const AVFrame *f, Shape shape, int16_t *out, int channels) {
  const int n = std::min(f->nb_samples, MORREL_FRAME_SAMPLES);
  const int planes = f->ch_layout.nb_channels;
  if (f->format != AV_SAMPLE_FMT_FLTP || planes < 1) return;
  auto plane = [f](int p) { return reinterpret_cast<const float *>(f->extended_data[p]); };
  if (shape == kNative) {
    int map[MORREL_MULTI_CHANNELS];
    native_map(f, map);
    for (int c = 0; c < MORREL_MULTI_CHANNELS; ++c) {
      if (map[c] < 0 || map[c] >= planes) continue;
      const float *src = plane(map[c]);
      for (int i = 0; i < n; ++i) out[i * channels + c] = half_scale(src[i]);
    }
    return;
  }
  // Stereo setting: the downmix on left and right; one plane goes to both.
  const float *left = plane(0);
  const float *right = shape == kStereo && planes >= 2 ? plane(1) : left;
  for (int i = 0; i < n; ++i) {
    out[2 * i] = half_scale(left[i]);
    out[2 * i + 1] = half_scale(right[i]);
  }
}

// Decodes one frame into the context's frame; false when it is rejected.
bool decode_one(Decoder &d, AVCodecContext *c, const uint8_t *data, int len) {
  std::memcpy(d.input, data, static_cast<size_t>(len));
  std::memset(d.input + len, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  av_packet_unref(d.packet);
  d.packet->data = d.input;
  d.packet->size = len;
  bool got = false;
  if (avcodec_send_packet(c, d.packet) >= 0) {
    // Take every frame the packet gave; a good frame gives exactly one.
    for (;;) {
      av_frame_unref(d.frame);
      if (avcodec_receive_frame(c, d.frame) < 0) break;
      got = true;
      break;
    }
  }
  av_packet_unref(d.packet);
  return got;
}

void fill_info(Ac3Info *info, const uint8_t *data, int len, int channels, int decoded) {
  if (!info) return;
  info->frame_bytes = len;
  info->channels = channels;
  info->samples = MORREL_FRAME_SAMPLES;
  info->decoded = decoded;
  if (len >= ac3::kHeaderBytes) {
    ac3::FrameHeader h = ac3::parse_header(data);
    if (h.bytes > 0) {
      info->sample_rate = h.rate;
      info->bit_rate = h.bit_rate;
      info->acmod = h.acmod;
      info->lfe = h.lfe;
    }
  }
}

int32_t decode(void *handle, const Ac3Params *p, Ac3Info *info) {
  if (!handle || !p || !p->output) return 0;
  auto &d = *static_cast<Decoder *>(handle);
  const int channels = p->multichannel ? MORREL_MULTI_CHANNELS : 2;
  const int32_t bytes = MORREL_FRAME_SAMPLES * channels * 2;
  if (p->output_capacity < bytes) return 0;
  auto *out = reinterpret_cast<int16_t *>(p->output);
  std::memset(out, 0, static_cast<size_t>(bytes));
  const bool input_ok =
      p->input && p->input_length >= ac3::kHeaderBytes && p->input_length <= MORREL_MAX_FRAME_BYTES;
  Shape shape = p->multichannel ? kNative : (p->output_mode == MORREL_MODE_MONO ? kMono : kStereo);
  if (!d.ctx[shape]) d.ctx[shape] = open_shape(shape);
  AVCodecContext *c = d.ctx[shape];
  bool ok = false;
  if (input_ok && c) {
    double drc = p->dynamic_range;
    if (drc != d.drc[shape] && drc >= 0.0 && drc <= 6.0) {
      av_opt_set_double(c->priv_data, "drc_scale", drc, 0);
      d.drc[shape] = drc;
    }
    ok = decode_one(d, c, p->input, p->input_length);
    if (ok) write_frame(d.frame, shape, out, channels);
  }
  fill_info(info, p->input, input_ok ? p->input_length : 0, channels, ok ? 1 : 0);
  return bytes;
}

}  // namespace

extern "C" {

void *MorrelOpen(void **handle, int32_t, void *) {
  return component_io::guard_export<void *>(nullptr, [&]() -> void * {
    auto *d = new (std::nothrow) Decoder();
    if (d) {
      d->packet = av_packet_alloc();
      d->frame = av_frame_alloc();
      if (!d->packet || !d->frame) {
        delete d;
        d = nullptr;
      }
    }
    if (handle) *handle = d;
    return d;
  });
}

int32_t MorrelDecode(void *handle, const Ac3Params *params, Ac3Info *info) {
  return component_io::guard_export<int32_t>(0, [&] { return decode(handle, params, info); });
}

void MorrelClose(void *handle, int32_t) { delete static_cast<Decoder *>(handle); }

void *MorrelProc(int32_t ordinal) {
  switch (ordinal) {
    case MORREL_ORD_OPEN:
      return reinterpret_cast<void *>(&MorrelOpen);
    case MORREL_ORD_DECODE:
      return reinterpret_cast<void *>(&MorrelDecode);
    case MORREL_ORD_CLOSE:
      return reinterpret_cast<void *>(&MorrelClose);
    default:
      return nullptr;
  }
}

}  // extern "C"
