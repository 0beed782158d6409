// The frame reader: chunk n of a video stream -> picture n, through our own
// raw converters or a libavcodec decoder whose delay it hides.
#include "platform/avi/decompressor.h"

#include <algorithm>
#include <cstring>

#include "platform/avi/avi_internal.h"
#include "platform/avi/codec_table.h"
#include "platform/avi/picture.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "platform/ffmpeg_dynamic.h"

namespace platform::avi {

namespace {

// Pictures larger than 8K are refused: their buffers would be a hostile
// file's way to exhaust memory.
constexpr int32_t kMaxDimension = 8192;

}  // namespace

struct FrameReader {
  const Stream *stream = nullptr;
  std::vector<uint8_t> format;  // the whole BITMAPINFOHEADER
  int32_t width = 0, height = 0;
  bool raw = false;
  std::string codec = "raw";
  AVCodecContext *ctx = nullptr;
  AVPacket *packet = nullptr;
  AVFrame *frame = nullptr;
  AVFrame *held = nullptr;  // the decoded picture in hand
  SwsContext *to_yuv = nullptr;
  SwsContext *to_bgr = nullptr;
  Picture pic;
  bool have_picture = false;
  int64_t current = -1;  // frame number the picture holds
  int64_t next_feed = 0, next_out = 0;
  bool draining = false;
  std::vector<uint8_t> chunk;
  Planes planes;
  std::vector<uint8_t> bgr_scratch;
};

namespace {

bool read_chunk(FrameReader *r, int64_t n) {
  int32_t bytes = 0, samples = 0;
  if (read(r->stream, n, 1, nullptr, 0, &bytes, &samples) != 0) return false;
  r->chunk.resize(size_t(bytes) + AV_INPUT_BUFFER_PADDING_SIZE);
  std::fill(r->chunk.begin() + bytes, r->chunk.end(), 0);
  r->chunk.resize(size_t(bytes));
  return bytes == 0 || read(r->stream, n, 1, r->chunk.data(), bytes, &bytes, &samples) == 0;
}

// Keeps the decoder's picture as it is; the planes and the DIB are made
// from it on demand, each in one conversion from the codec's own format.
void take_frame(FrameReader *r) {
  av_frame_unref(r->held);
  av_frame_move_ref(r->held, r->frame);
  r->pic.rgb = false;
  r->pic.planes_valid = false;
  r->have_picture = true;
}

void convert_held(FrameReader *r, AVPixelFormat to, uint8_t *const dst[4], const int stride[4]) {
  AVFrame *f = r->held;
  const int w = std::min(f->width, r->width), h = std::min(f->height, r->height);
  SwsContext *&sws = to == AV_PIX_FMT_BGR24 ? r->to_bgr : r->to_yuv;
  sws = sws_getCachedContext(sws, w, h, AVPixelFormat(f->format), w, h, to, SWS_BICUBIC, nullptr, nullptr,
                             nullptr);
  if (sws) sws_scale(sws, f->data, f->linesize, 0, h, dst, stride);
}

void held_to_planes(FrameReader *r) {
  Picture &p = r->pic;
  AVFrame *f = r->held;
  const int w = std::min(f->width, r->width), h = std::min(f->height, r->height);
  if (f->format == AV_PIX_FMT_YUV420P) {
    for (int y = 0; y < h; ++y)
      std::memcpy(&p.y[size_t(y) * size_t(p.coded_w)], f->data[0] + y * f->linesize[0], size_t(w));
    for (int y = 0; y < (h + 1) / 2; ++y) {
      std::memcpy(&p.cb[size_t(y) * size_t(p.coded_w / 2)], f->data[1] + y * f->linesize[1],
                  size_t((w + 1) / 2));
      std::memcpy(&p.cr[size_t(y) * size_t(p.coded_w / 2)], f->data[2] + y * f->linesize[2],
                  size_t((w + 1) / 2));
    }
  } else {
    uint8_t *dst[4] = {p.y.data(), p.cb.data(), p.cr.data(), nullptr};
    const int stride[4] = {p.coded_w, p.coded_w / 2, p.coded_w / 2, 0};
    convert_held(r, AV_PIX_FMT_YUV420P, dst, stride);
  }
  p.planes_valid = true;
}

// Raw RGB pictures: one conversion of our BGR rows to the planes.
void bgr_to_planes(FrameReader *r) {
  Picture &p = r->pic;
  const AVPixelFormat from = p.paletted ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_BGR24;
  r->to_yuv = sws_getCachedContext(r->to_yuv, p.width, p.height, from, p.width, p.height, AV_PIX_FMT_YUV420P,
                                   SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!r->to_yuv) return;
  const uint8_t *src[4] = {p.bgr.data(), nullptr, nullptr, nullptr};
  int src_stride[4] = {p.width * 3, 0, 0, 0};
  if (p.paletted) {
    src[0] = p.indices.data();
    src[1] = reinterpret_cast<const uint8_t *>(p.palette);
    src_stride[0] = p.width;
  }
  uint8_t *dst[4] = {p.y.data(), p.cb.data(), p.cr.data(), nullptr};
  const int stride[4] = {p.coded_w, p.coded_w / 2, p.coded_w / 2, 0};
  sws_scale(r->to_yuv, src, src_stride, 0, p.height, dst, stride);
  p.planes_valid = true;
}

bool open_codec(FrameReader *r, uint32_t code, std::string *why) {
  AVCodecID id = codec_for(code);
  const AVCodec *codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (!codec) {
    if (why) *why = "no decompressor";
    return false;
  }
  r->ctx = avcodec_alloc_context3(codec);
  r->packet = av_packet_alloc();
  r->frame = av_frame_alloc();
  r->held = av_frame_alloc();
  if (!r->ctx || !r->packet || !r->frame || !r->held) return false;
  r->ctx->width = r->width;
  r->ctx->height = r->height;
  r->ctx->codec_tag = code;
  r->ctx->bits_per_coded_sample = le16(r->format.data() + 14);
  r->ctx->thread_count = 1;
  const size_t extra = r->format.size() - kBitmapHeaderBytes;
  if (extra > 0) {
    r->ctx->extradata = static_cast<uint8_t *>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!r->ctx->extradata) return false;
    std::memcpy(r->ctx->extradata, r->format.data() + kBitmapHeaderBytes, extra);
    r->ctx->extradata_size = int(extra);
  }
  if (avcodec_open2(r->ctx, codec, nullptr) < 0) {
    if (why) *why = "the decompressor did not open";
    return false;
  }
  r->codec = codec->name;
  return true;
}

// Raw chunks: an empty or short chunk repeats the picture before it.
bool raw_frame(FrameReader *r, int64_t n) {
  for (int64_t i = n; i >= stream_start(r->stream); --i) {
    if (!read_chunk(r, i) || r->chunk.empty()) continue;
    if (decode_raw(r->format, r->chunk.data(), int64_t(r->chunk.size()), r->pic)) {
      r->have_picture = true;
      r->current = n;
      return true;
    }
  }
  return false;
}

void restart(FrameReader *r, int64_t n) {
  int64_t key = find_sample(r->stream, n, kFindPrev | kFindKey);
  if (key < 0) key = stream_start(r->stream);
  avcodec_flush_buffers(r->ctx);
  r->next_feed = r->next_out = key;
  r->draining = false;
  r->have_picture = false;
}

bool codec_frame(FrameReader *r, int64_t n) {
  const bool continuous = r->current >= 0 && n > r->current && !r->draining;
  int64_t key = find_sample(r->stream, n, kFindPrev | kFindKey);
  if (!continuous || (key > r->next_feed)) restart(r, n);
  const int64_t end = stream_end(r->stream);
  while (r->next_out <= n) {
    int ret = avcodec_receive_frame(r->ctx, r->frame);
    if (ret == 0) {
      take_frame(r);
      r->current = r->next_out++;
      continue;
    }
    if (ret != AVERROR(EAGAIN)) break;
    if (r->next_feed < end) {
      int64_t i = r->next_feed++;
      if (!read_chunk(r, i) || r->chunk.empty()) {
        // An empty chunk repeats the previous picture.
        if (r->have_picture) r->current = r->next_out++;
        continue;
      }
      r->packet->data = r->chunk.data();
      r->packet->size = int(r->chunk.size());
      if (avcodec_send_packet(r->ctx, r->packet) < 0 && r->have_picture) r->current = r->next_out++;
    } else if (!r->draining) {
      avcodec_send_packet(r->ctx, nullptr);  // the tail the codec still holds
      r->draining = true;
    } else {
      break;
    }
  }
  return r->have_picture && r->current == n;
}

}  // namespace

FrameReader *frame_reader_open(const Stream *s, std::string *why) {
  if (!s || stream_header(s).type != kTypeVideo) {
    if (why) *why = "not a video stream";
    return nullptr;
  }
  auto *r = new FrameReader;
  r->stream = s;
  r->format.resize(size_t(read_format(s, nullptr, 0)));
  read_format(s, r->format.data(), int32_t(r->format.size()));
  const uint8_t *f = r->format.data();
  r->width = int32_t(le32(f + 4));
  int32_t h = int32_t(le32(f + 8));
  r->height = h == INT32_MIN ? 0 : h < 0 ? -h : h;
  if (r->width <= 0 || r->height <= 0 || r->width > kMaxDimension || r->height > kMaxDimension) {
    if (why) *why = "bad picture size";
    delete r;
    return nullptr;
  }
  const uint32_t compression = le32(f + 16);
  r->raw = raw_format_supported(compression, le16(f + 14));
  uint32_t code = video_codec(*s);
  if (r->raw) {
    r->codec = "raw";
  } else if (!open_codec(r, code, why)) {
    frame_reader_close(r);
    return nullptr;
  }
  r->pic.size_to(r->width, r->height);
  return r;
}

void frame_reader_close(FrameReader *r) {
  if (!r) return;
  avcodec_free_context(&r->ctx);
  av_packet_free(&r->packet);
  av_frame_free(&r->frame);
  av_frame_free(&r->held);
  sws_freeContext(r->to_yuv);
  sws_freeContext(r->to_bgr);
  delete r;
}

const char *frame_reader_codec(const FrameReader *r) { return r->codec.c_str(); }

const Planes *frame_planes(FrameReader *r, int64_t n) {
  if (n < stream_start(r->stream) || n >= stream_end(r->stream)) return nullptr;
  if (n != r->current || !r->have_picture) {
    bool ok = r->raw ? raw_frame(r, n) : codec_frame(r, n);
    if (!ok) return nullptr;
  }
  Picture &p = r->pic;
  if (!p.planes_valid) {
    if (r->raw)
      bgr_to_planes(r);
    else
      held_to_planes(r);
  }
  r->planes = {p.y.data(), p.cb.data(), p.cr.data(), p.coded_w, p.coded_w / 2,
               p.coded_w,  p.coded_h,   p.width,     p.height};
  return &r->planes;
}

bool frame_dib(FrameReader *r, int64_t n, std::vector<uint8_t> &out) {
  if (!frame_planes(r, n)) return false;
  Picture &p = r->pic;
  const int32_t w = p.width, h = p.height, stride = (w * 3 + 3) & ~3;
  const uint8_t *top_down = p.bgr.data();
  if (!r->raw || !p.rgb) {
    r->bgr_scratch.resize(size_t(w) * 3 * size_t(h));
    uint8_t *dst[4] = {r->bgr_scratch.data(), nullptr, nullptr, nullptr};
    const int dst_stride[4] = {w * 3, 0, 0, 0};
    if (!r->raw) {
      convert_held(r, AV_PIX_FMT_BGR24, dst, dst_stride);
    } else {
      r->to_bgr = sws_getCachedContext(r->to_bgr, w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24,
                                       SWS_BICUBIC, nullptr, nullptr, nullptr);
      if (!r->to_bgr) return false;
      const uint8_t *src[4] = {p.y.data(), p.cb.data(), p.cr.data(), nullptr};
      const int src_stride[4] = {p.coded_w, p.coded_w / 2, p.coded_w / 2, 0};
      sws_scale(r->to_bgr, src, src_stride, 0, h, dst, dst_stride);
    }
    top_down = r->bgr_scratch.data();
  }
  out.assign(size_t(kBitmapHeaderBytes) + size_t(stride) * size_t(h), 0);
  uint8_t *b = out.data();
  auto put32 = [](uint8_t *q, uint32_t v) {
    for (int i = 0; i < 4; ++i) q[i] = uint8_t(v >> (8 * i));
  };
  put32(b, kBitmapHeaderBytes);
  put32(b + 4, uint32_t(w));
  put32(b + 8, uint32_t(h));
  b[12] = 1;
  b[14] = 24;
  put32(b + 20, uint32_t(stride) * uint32_t(h));
  for (int32_t y = 0; y < h; ++y)
    std::memcpy(b + kBitmapHeaderBytes + size_t(h - 1 - y) * size_t(stride),
                top_down + size_t(y) * size_t(w) * 3, size_t(w) * 3);
  return true;
}

}  // namespace platform::avi
