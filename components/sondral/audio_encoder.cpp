#include "components/sondral/audio_encoder.h"

#include <algorithm>
#include <cstring>

#include "components/sondral/bit_rates.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace sondral {

namespace {

constexpr int kMinInputRate = 1000;
constexpr int kMaxInputRate = 192000;
// Input sample frames resampled per step, so a large write needs no large buffer.
constexpr int kStepFrames = 4096;

bool output_rate_valid(int hz) { return hz == 32000 || hz == 44100 || hz == 48000; }

}  // namespace

bool settings_valid(const AudioSettings &s) {
  return (s.layer == 1 || s.layer == 2) && (s.channels == 1 || s.channels == 2) && s.input_bits == 16 &&
         s.input_rate >= kMinInputRate && s.input_rate <= kMaxInputRate && output_rate_valid(s.output_rate) &&
         s.kbps > 0;
}

AudioEncoder::~AudioEncoder() {
  swr_free(&swr_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&mp2_);
}

bool AudioEncoder::open(const char *path, const AudioSettings &s) {
  if (!settings_valid(s)) return false;
  s_ = s;
  s_.kbps = legal_bit_rate(s.layer, s.kbps);
  AVChannelLayout layout;
  av_channel_layout_default(&layout, s.channels);
  if (swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_S16, s.output_rate, &layout, AV_SAMPLE_FMT_S16,
                          s.input_rate, 0, nullptr) < 0 ||
      swr_init(swr_) < 0)
    return false;
  if (s.layer == 1) {
    frame_samples_ = Layer1Encoder::kFrameSamples;
    layer1_ = std::make_unique<Layer1Encoder>(s.output_rate, s.channels, s_.kbps);
  } else {
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (!codec) return false;
    mp2_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!mp2_ || !frame_ || !packet_) return false;
    mp2_->sample_fmt = AV_SAMPLE_FMT_S16;
    mp2_->sample_rate = s.output_rate;
    av_channel_layout_copy(&mp2_->ch_layout, &layout);
    mp2_->bit_rate = int64_t(s_.kbps) * 1000;
    mp2_->time_base = {1, s.output_rate};
    if (avcodec_open2(mp2_, codec, nullptr) < 0) return false;
    frame_samples_ = mp2_->frame_size;
    frame_->format = AV_SAMPLE_FMT_S16;
    frame_->nb_samples = frame_samples_;
    frame_->sample_rate = s.output_rate;
    av_channel_layout_copy(&frame_->ch_layout, &layout);
    if (av_frame_get_buffer(frame_, 0) < 0) return false;
  }
  chunk_.resize(size_t(kStepFrames) * size_t(s.channels));
  return file_.create(path);
}

bool AudioEncoder::drain_packets() {
  for (;;) {
    const int r = avcodec_receive_packet(mp2_, packet_);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    const bool ok = file_.write(packet_->data, size_t(packet_->size));
    av_packet_unref(packet_);
    if (!ok) return false;
  }
}

bool AudioEncoder::code_frame(const int16_t *pcm) {
  if (layer1_) {
    layer1_->encode(pcm, layer1_frame_);
    return file_.write(layer1_frame_.data(), layer1_frame_.size());
  }
  if (av_frame_make_writable(frame_) < 0) return false;
  std::memcpy(frame_->data[0], pcm, size_t(frame_samples_) * size_t(s_.channels) * 2);
  return avcodec_send_frame(mp2_, frame_) >= 0 && drain_packets();
}

bool AudioEncoder::code_frames(bool flush) {
  const size_t per_frame = size_t(frame_samples_) * size_t(s_.channels);
  size_t at = 0;
  while (resampled_used_ - at >= per_frame) {
    if (!code_frame(resampled_.data() + at)) return false;
    at += per_frame;
  }
  if (flush && resampled_used_ > at) {
    // The last frame is padded with silence.
    std::fill(resampled_.begin() + long(resampled_used_), resampled_.begin() + long(at + per_frame),
              int16_t(0));
    if (!code_frame(resampled_.data() + at)) return false;
    at = resampled_used_;
  }
  std::memmove(resampled_.data(), resampled_.data() + at, (resampled_used_ - at) * sizeof(int16_t));
  resampled_used_ -= at;
  return true;
}

bool AudioEncoder::resample(const int16_t *in, int frames) {
  // A flush (no input) may give more than the resampler predicts: ask
  // until it has nothing left.
  for (;;) {
    const int predicted = swr_get_out_samples(swr_, frames);
    if (predicted < 0) return false;
    const int room = predicted + kStepFrames;
    const size_t need = resampled_used_ + size_t(room + frame_samples_) * size_t(s_.channels);
    if (resampled_.size() < need) resampled_.resize(need);
    uint8_t *out = reinterpret_cast<uint8_t *>(resampled_.data() + resampled_used_);
    const uint8_t *src = reinterpret_cast<const uint8_t *>(in);
    const int got = swr_convert(swr_, &out, room, in ? &src : nullptr, frames);
    if (got < 0) return false;
    resampled_used_ += size_t(got) * size_t(s_.channels);
    if (in || got == 0) return true;
  }
}

bool AudioEncoder::write(const uint8_t *pcm, size_t bytes) {
  if (failed_) return false;
  const size_t frame_bytes = size_t(s_.channels) * 2;
  while (bytes > 0) {
    // Gather whole sample frames (a partial one from the last call first).
    size_t frames = 0;
    uint8_t *dst = reinterpret_cast<uint8_t *>(chunk_.data());
    if (partial_size_ > 0) {
      const size_t take = std::min(frame_bytes - partial_size_, bytes);
      std::memcpy(partial_ + partial_size_, pcm, take);
      partial_size_ += take;
      pcm += take;
      bytes -= take;
      if (partial_size_ < frame_bytes) break;
      std::memcpy(dst, partial_, frame_bytes);
      partial_size_ = 0;
      frames = 1;
    }
    const size_t whole = std::min(bytes / frame_bytes, size_t(kStepFrames) - frames);
    std::memcpy(dst + frames * frame_bytes, pcm, whole * frame_bytes);
    frames += whole;
    pcm += whole * frame_bytes;
    bytes -= whole * frame_bytes;
    if (bytes < frame_bytes && frames < size_t(kStepFrames)) {
      std::memcpy(partial_, pcm, bytes);
      partial_size_ = bytes;
      bytes = 0;
    }
    // Samples are little-endian in the stream and in memory here.
    if (frames > 0 && (!resample(chunk_.data(), int(frames)) || !code_frames(false))) {
      failed_ = true;
      return false;
    }
  }
  return true;
}

bool AudioEncoder::close() {
  if (!failed_) {
    // What the resampler still holds, then a silent-padded last frame.
    if (!resample(nullptr, 0) || !code_frames(true)) failed_ = true;
    if (!failed_ && mp2_ && (avcodec_send_frame(mp2_, nullptr) < 0 || !drain_packets())) failed_ = true;
  }
  const bool closed = file_.commit();
  return closed && !failed_;
}

}  // namespace sondral
