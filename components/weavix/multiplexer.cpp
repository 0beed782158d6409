#include "components/weavix/multiplexer.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "components/common/output_file.h"
#include "components/weavix/audio_framer.h"
#include "components/weavix/input_file.h"
#include "components/weavix/video_framer.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace weavix {

namespace {

constexpr int kVcdPackSize = 2324;
// A Video CD sector's worth of bytes 75 times a second: 2352 x 75 x 8 bit/s.
constexpr int kVcdMuxRate = 1411200;
constexpr int64_t kVcdBitRate = 1150000;
constexpr int kVcdSampleRate = 44100;
// The muxer's start delay: Video CD players expect 0.44 s (the first packs
// carry padding and the other stream's first packet before the data).
constexpr int kVcdPreloadUs = 440000;
constexpr int kMaxDelayUs = 700000;
constexpr int kIoBufferSize = 64 * 1024;

bool is_video_cd(const VideoInfo *v, const AudioInfo *a) {
  return v && a && !v->mpeg2 && v->width == 352 && (v->height == 240 || v->height == 288) &&
         v->bit_rate == kVcdBitRate && a->id == 1 && a->layer == 2 && a->sample_rate == kVcdSampleRate;
}

int write_output(void *opaque, uint8_t *buf, int size) {
  auto *file = static_cast<component_io::OutputFile *>(opaque);
  return file->write(buf, size_t(size)) ? size : AVERROR(EIO);
}

struct FormatDeleter {
  void operator()(AVFormatContext *oc) const {
    if (!oc) return;
    if (oc->pb) {
      av_freep(&oc->pb->buffer);
      avio_context_free(&oc->pb);
    }
    avformat_free_context(oc);
  }
};
using FormatContext = std::unique_ptr<AVFormatContext, FormatDeleter>;

struct PacketDeleter {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};

AVStream *add_video_stream(AVFormatContext *oc, const VideoInfo &v) {
  AVStream *st = avformat_new_stream(oc, nullptr);
  if (!st) return nullptr;
  st->time_base = {1, 90000};
  AVCodecParameters *par = st->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = v.mpeg2 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG1VIDEO;
  par->width = v.width;
  par->height = v.height;
  par->bit_rate = v.bit_rate;
  st->avg_frame_rate = {int(v.fps_num), int(v.fps_den)};
  // The muxer sizes the video buffer from these (else it warns and guesses).
  if (v.vbv_bits > 0) {
    auto *cpb = reinterpret_cast<AVCPBProperties *>(
        av_stream_new_side_data(st, AV_PKT_DATA_CPB_PROPERTIES, sizeof(AVCPBProperties)));
    if (!cpb) return nullptr;
    *cpb = AVCPBProperties{};
    cpb->buffer_size = v.vbv_bits;
    cpb->max_bitrate = v.bit_rate;
    cpb->avg_bitrate = v.bit_rate;
  }
  return st;
}

AVStream *add_audio_stream(AVFormatContext *oc, const AudioInfo &a) {
  AVStream *st = avformat_new_stream(oc, nullptr);
  if (!st) return nullptr;
  st->time_base = {1, 90000};
  AVCodecParameters *par = st->codecpar;
  par->codec_type = AVMEDIA_TYPE_AUDIO;
  par->codec_id = a.layer == 1 ? AV_CODEC_ID_MP1 : a.layer == 2 ? AV_CODEC_ID_MP2 : AV_CODEC_ID_MP3;
  par->sample_rate = a.sample_rate;
  av_channel_layout_default(&par->ch_layout, a.channels);
  par->bit_rate = int64_t(a.bit_rate_kbps) * 1000;
  par->frame_size = a.layer == 1 ? 384 : (a.layer == 3 && a.id == 0) ? 576 : 1152;
  return st;
}

}  // namespace

const char *muxer_name(MuxForm form) {
  switch (form) {
    case MuxForm::video_cd:
      return "vcd";
    case MuxForm::dvd:
      return "vob";
    default:
      return "mpeg";
  }
}

bool multiplex(const char *video_path, const char *audio_path, const char *out_path, RunControl &control) {
  control.progress = 0;
  control.skipped = 0;
  if (!out_path || !*out_path) return false;

  // Inputs by content: the names may be swapped or say nothing.
  InputFile inputs[2];
  inputs[0].open(video_path);
  inputs[1].open(audio_path);
  InputFile *video_in = nullptr, *audio_in = nullptr;
  for (InputFile &in : inputs) {
    switch (in.kind()) {
      case StreamKind::absent:
        break;
      case StreamKind::video:
        if (video_in) return false;
        video_in = &in;
        break;
      case StreamKind::audio:
        if (audio_in) return false;
        audio_in = &in;
        break;
      case StreamKind::unknown:
        return false;
    }
  }
  if (!video_in && !audio_in) return false;

  std::optional<VideoFramer> video;
  std::optional<AudioFramer> audio;
  if (video_in) {
    video.emplace(*video_in);
    if (!video->start(kRecognitionBytes)) return false;
  }
  if (audio_in) {
    audio.emplace(*audio_in);
    if (!audio->start(kRecognitionBytes)) return false;
    // Both streams start together.
    audio->set_offset(video ? video->first_pts() : 0);
  }
  const MuxForm form = is_video_cd(video ? &video->info() : nullptr, audio ? &audio->info() : nullptr)
                           ? MuxForm::video_cd
                       : (video && video->info().mpeg2) ? MuxForm::dvd
                                                        : MuxForm::mpeg1;

  component_io::OutputFile file;
  if (!file.create_beside(out_path)) return false;

  AVFormatContext *raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, muxer_name(form), nullptr) < 0 || !raw) return false;
  FormatContext oc(raw);
  auto *io_buffer = static_cast<unsigned char *>(av_malloc(kIoBufferSize));
  if (!io_buffer) return false;
  oc->pb = avio_alloc_context(io_buffer, kIoBufferSize, 1, &file, nullptr, &write_output, nullptr);
  if (!oc->pb) {
    av_free(io_buffer);
    return false;
  }
  oc->max_delay = kMaxDelayUs;
  AVDictionary *options = nullptr;
  if (form == MuxForm::video_cd) {
    oc->packet_size = kVcdPackSize;
    av_dict_set_int(&options, "preload", kVcdPreloadUs, 0);
    av_dict_set_int(&options, "muxrate", kVcdMuxRate, 0);
  }
  AVStream *video_st = video ? add_video_stream(oc.get(), video->info()) : nullptr;
  AVStream *audio_st = audio ? add_audio_stream(oc.get(), audio->info()) : nullptr;
  if ((video && !video_st) || (audio && !audio_st)) return false;
  const int header = avformat_write_header(oc.get(), &options);
  av_dict_free(&options);
  if (header < 0) return false;

  std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
  if (!packet) return false;
  const uint64_t total = (video_in ? video_in->size() : 0) + (audio_in ? audio_in->size() : 0);
  VideoUnit vu;
  AudioUnit au;
  bool have_v = video && video->next(vu);
  bool have_a = audio && audio->next(au);
  bool ok = true;
  while (ok && (have_v || have_a)) {
    if (control.cancel.load(std::memory_order_relaxed)) {
      ok = false;
      break;
    }
    // Decoding-time order across the two streams, as the muxer wants them.
    const bool take_video = have_v && (!have_a || vu.dts <= au.pts);
    AVPacket *pkt = packet.get();
    if (take_video) {
      pkt->data = const_cast<uint8_t *>(vu.data);
      pkt->size = int(vu.size);
      pkt->pts = vu.pts;
      pkt->dts = vu.dts;
      pkt->stream_index = video_st->index;
      pkt->flags = vu.key ? AV_PKT_FLAG_KEY : 0;
    } else {
      pkt->data = const_cast<uint8_t *>(au.data);
      pkt->size = int(au.size);
      pkt->pts = pkt->dts = au.pts;
      pkt->stream_index = audio_st->index;
      pkt->flags = AV_PKT_FLAG_KEY;
    }
    // Already in decoding-time order, so no interleaving queue (and no copy
    // of each packet for it): the muxer copies the bytes into its buffers.
    if (av_write_frame(oc.get(), pkt) < 0) ok = false;
    av_packet_unref(pkt);
    if (take_video)
      have_v = video->next(vu);
    else
      have_a = audio->next(au);
    const uint64_t done = (video ? video->consumed() : 0) + (audio ? audio->consumed() : 0);
    if (total > 0) control.progress.store(int32_t(std::min<uint64_t>(99, done * 100 / total)));
  }
  if (video && video->read_failed()) ok = false;
  if (audio && audio->read_failed()) ok = false;
  control.skipped = (video ? video->skipped() : 0) + (audio ? audio->skipped() : 0);
  if (ok && av_write_trailer(oc.get()) < 0) ok = false;
  if (ok) avio_flush(oc->pb);
  if (ok && oc->pb->error < 0) ok = false;
  if (!ok) {
    file.discard();
    return false;
  }
  if (!file.commit()) return false;
  control.progress = 100;
  return true;
}

}  // namespace weavix
