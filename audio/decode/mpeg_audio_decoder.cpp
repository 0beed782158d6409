// Frame sync, the open-time probe, the frame loop, the block fill and the
// output arrangement. The layers live in layer1.cpp, layer2.cpp and
// layer3.cpp, the synthesis in synthesis_float.cpp and synthesis_fixed.cpp.
#include "audio/decode/mpeg_audio_decoder.h"

#include <cstring>

#include "audio/decode/mpeg_frame_decoder.h"

namespace lunaret {

MpegFrameDecoder::MpegFrameDecoder() {
  reader.reset();
  reset_decoder();
}

void MpegFrameDecoder::reset_stream() {
  reader.reset();
  sync_word = 0x0FFF;
  sync_bits = 12;
  stream_channels_ = 0;
  reset_decoder();
}

void MpegFrameDecoder::reset_decoder() {
  for (auto &ch : synth_float_) synth_reset(ch);
  for (auto &ch : synth_fixed_) synth_reset(ch);
  l3.reset();
}

int32_t MpegFrameDecoder::output_channels() const {
  int32_t channels = stream_channels_ ? stream_channels_ : header.channels;
  return channels == 2 && channel_mode == ChannelMode::Stereo ? 2 : 1;
}

int32_t MpegFrameDecoder::output_rate() const {
  int32_t rate = mpeg_audio_sample_rate(header.id, header.sampling_index);
  return rate_mode == RateMode::Half ? rate / 2 : rate;
}

SynthForm MpegFrameDecoder::form() const {
  switch (rate_mode) {
    case RateMode::Half:
      return SynthForm::Half;
    case RateMode::Normal:
      // The 16-bit synthesis computes every sample in the normal mode too.
      return synthesis == SynthesisKind::Float ? SynthForm::Interpolated : SynthForm::Full;
    case RateMode::Full:
      break;
  }
  return SynthForm::Full;
}

// Looks for the sync word at byte boundaries. While a 16-bit word is
// sought and 2,048 bytes pass without it, the search falls back to the
// 12-bit word (a stream whose later frames changed their ID, layer or
// protection bit still plays). Leaves the reader at the sync word.
bool MpegFrameDecoder::find_sync() {
  reader.align_byte();
  uint32_t word = sync_word;
  int32_t bits = sync_bits;
  int32_t passed = 0;
  while (reader.bits_left() >= 32) {
    if (reader.peek(bits) == word) return true;
    reader.skip(8);
    if (bits == 16 && ++passed > 2048) {
      word = 0x0FFF;
      bits = 12;
    }
  }
  return false;
}

// True when a header of the same layer, ID and rate starts one frame
// after the sync at `start`. Leaves the reader at `start`.
bool MpegFrameDecoder::next_header_agrees(int64_t start, const HeaderRecord &h) {
  const int32_t length = frame_bytes(h);
  if (length <= 0) return false;
  reader.seek_bit(start);
  reader.skip_bits(int64_t{length} * 8);
  bool agrees = reader.bits_left() >= 32 && reader.peek(12) == 0x0FFF;
  if (agrees) {
    reader.skip(12);
    HeaderRecord next = h;
    agrees = parse_header(reader, next) && next.layer == h.layer && next.id == h.id &&
             next.sampling_index == h.sampling_index;
  }
  // The frame is shorter than the window the ring keeps behind the reader.
  reader.seek_bit(start);
  return agrees;
}

int32_t MpegFrameDecoder::probe(int32_t file_mode, StreamInfo *info) {
  for (;;) {
    if (!find_sync()) return 0;
    int64_t start = reader.bit_position();
    reader.skip(12);
    HeaderRecord h = header;
    // A reserved field means a false sync; so does anything but Layer II
    // in a system stream, where the first audio bytes may be a cut frame,
    // unless a second Layer I header follows one frame on.
    if (!parse_header(reader, h) ||
        (file_mode == 0 && h.layer != 2 && !(h.layer == 1 && next_header_agrees(start, h)))) {
      reader.seek_bit(start + 8);
      continue;
    }
    header = h;
    stream_channels_ = h.channels;
    if (sync_bits == 12) {
      sync_word =
          0xFFF0u | uint32_t(h.id) << 3 | uint32_t(4 - h.layer) << 1 | uint32_t(h.crc_present ? 0 : 1);
      sync_bits = 16;
    }
    if (info != nullptr) {
      info->id = h.id;
      info->layer = h.layer;
      info->sampling_index = h.sampling_index;
      info->sample_rate = mpeg_audio_sample_rate(h.id, h.sampling_index);
      info->channels = h.channels;
      info->mode = h.mode;
      info->bitrate_kbps = mpeg_audio_bitrate(h.id, h.layer, h.bitrate_index);
    }
    // Step back so the first fill decodes the probed frame itself.
    reader.seek_bit(start);
    return 1;
  }
}

int32_t MpegFrameDecoder::decode_frame(int16_t *block, int32_t capacity, int32_t *sample_count) {
  int32_t scratch_count = 0;
  out_ = block;
  out_capacity_ = block != nullptr ? capacity : 0;
  out_count_ = sample_count != nullptr ? sample_count : &scratch_count;
  if (!find_sync()) return 0;
  int64_t start = reader.bit_position();
  reader.skip(12);
  HeaderRecord h = header;
  if (!parse_header(reader, h)) {
    reader.seek_bit(start + 8);
    return 1;
  }
  header = h;
  if (stream_channels_ == 0) stream_channels_ = h.channels;
  if (sync_bits == 12 && sync_word == 0x0FFF) {
    sync_word = 0xFFF0u | uint32_t(h.id) << 3 | uint32_t(4 - h.layer) << 1 | uint32_t(h.crc_present ? 0 : 1);
    sync_bits = 16;
  }
  bool complete = h.layer == 1 ? decode_layer1() : h.layer == 2 ? decode_layer2() : decode_layer3();
  if (!complete) return 0;
  // Ancillary data and padding of Layers I and II are skipped whole, so a
  // byte pattern inside them is never taken for the next frame.
  if (h.layer != 3) {
    int32_t bytes = frame_bytes(h);
    int64_t end = start + int64_t(bytes) * 8;
    if (bytes > 0 && end > reader.bit_position()) reader.skip_bits(end - reader.bit_position());
  }
  return 1;
}

int32_t MpegFrameDecoder::fill_block(int16_t *block, int32_t capacity, int32_t frames, int32_t *samples) {
  int32_t count = 0;
  if (frames < 1) frames = 1;
  if (frames > 8) frames = 8;
  // Room for the largest frame; a smaller block could never take one, and
  // reporting success without samples would spin the caller.
  const int32_t frame_room = kMaxFrameSamples;
  if (block == nullptr || capacity < frame_room) {
    if (samples != nullptr) *samples = 0;
    return 0;
  }
  for (int32_t pass = 0; pass < frames; ++pass) {
    // A Layer I frame holds a third of a Layer II one: two per pass.
    for (int32_t part = 0; part < (header.layer == 1 ? 2 : 1); ++part) {
      if (capacity - count < frame_room) break;
      for (;;) {
        int32_t before = count;
        if (decode_frame(block, capacity, &count) == 0) {
          if (samples != nullptr) *samples = count;
          return count > 0 ? 1 : 0;
        }
        if (count > before) break;
      }
    }
  }
  if (samples != nullptr) *samples = count;
  return 1;
}

namespace {

// o[2i] = l[i], o[2i + 1] = r[i] for i < n (n a multiple of 8).
void interleave(const int16_t *l, const int16_t *r, int16_t *o, int32_t n) {
  using V8s = int16_t __attribute__((vector_size(16)));
  for (int32_t i = 0; i < n; i += 8) {
    V8s a, b;
    std::memcpy(&a, l + i, 16);
    std::memcpy(&b, r + i, 16);
    const V8s lo = __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11);
    const V8s hi = __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(o + 2 * i, &lo, 16);
    std::memcpy(o + 2 * i + 8, &hi, 16);
  }
}

}  // namespace

void MpegFrameDecoder::emit_slot(const float *left, const float *right) {
  const SynthForm f = form();
  const int32_t n = f == SynthForm::Half ? 16 : 32;
  const int32_t oc = output_channels();
  if (out_ == nullptr || *out_count_ + n * oc > out_capacity_) {
    // No room: keep the synthesis state moving so the next block joins up.
    int16_t discard[64];
    out_ = nullptr;
    int16_t *o = discard;
    if (synthesis == SynthesisKind::Float) {
      synth_float(synth_float_[0], left, f, o, 1);
      if (header.channels == 2) synth_float(synth_float_[1], right, f, o, 1);
    } else {
      synth_fixed(synth_fixed_[0], left, f, o, 1);
      if (header.channels == 2) synth_fixed(synth_fixed_[1], right, f, o, 1);
    }
    return;
  }
  int16_t *o = out_ + *out_count_;
  const bool fixed = synthesis == SynthesisKind::Fixed;
  auto synth = [&](int32_t ch, const float *in, int16_t *dst, int32_t stride) {
    if (fixed)
      synth_fixed(synth_fixed_[ch], in, f, dst, stride);
    else
      synth_float(synth_float_[ch], in, f, dst, stride);
  };
  if (header.channels == 1) {
    synth(0, left, o, oc);
    if (oc == 2)
      for (int32_t i = 0; i < n; ++i) o[2 * i + 1] = o[2 * i];
  } else if (oc == 2) {
    // Each channel in one piece (the synthesis stores runs in vector
    // registers), then interleaved eight pairs at a time.
    int16_t l[32], r[32];
    synth(0, left, l, 1);
    synth(1, right, r, 1);
    interleave(l, r, o, n);
  } else if (channel_mode == ChannelMode::LeftOnly) {
    synth(0, left, o, 1);
  } else if (channel_mode == ChannelMode::RightOnly) {
    synth(1, right, o, 1);
  } else if (fixed) {
    // Mix in 16 bits: both channels synthesised, each halved.
    int16_t l[32], r[32];
    synth(0, left, l, 1);
    synth(1, right, r, 1);
    for (int32_t i = 0; i < n; ++i) o[i] = int16_t((l[i] >> 1) + (r[i] >> 1));
  } else {
    // Mix in float: the mean of the subband samples feeds one synthesis,
    // which equals the mean of the two outputs before rounding.
    float mixed[32];
    for (int32_t k = 0; k < 32; ++k) mixed[k] = 0.5f * (left[k] + right[k]);
    synth(0, mixed, o, 1);
  }
  *out_count_ += n * oc;
}

// ---- public face ----

MpegAudioDecoder::MpegAudioDecoder() : impl_(std::make_unique<MpegFrameDecoder>()) {}
MpegAudioDecoder::~MpegAudioDecoder() = default;

void MpegAudioDecoder::set_source(ReadFn read, void *ctx) { impl_->reader.set_source(read, ctx); }
void MpegAudioDecoder::reset_stream() { impl_->reset_stream(); }
void MpegAudioDecoder::reset_decoder() { impl_->reset_decoder(); }

void MpegAudioDecoder::set_sync(uint32_t word, int32_t bits) {
  if (bits == 16) {
    impl_->sync_word = word & 0xFFFFu;
    impl_->sync_bits = 16;
  } else {
    impl_->sync_word = word & 0x0FFFu;
    impl_->sync_bits = 12;
  }
}
uint32_t MpegAudioDecoder::sync_word() const { return impl_->sync_word; }
int32_t MpegAudioDecoder::sync_bits() const { return impl_->sync_bits; }

int32_t MpegAudioDecoder::probe(int32_t file_mode, StreamInfo *info) { return impl_->probe(file_mode, info); }

int32_t MpegAudioDecoder::decode_frame(int16_t *block, int32_t capacity, int32_t *sample_count) {
  return impl_->decode_frame(block, capacity, sample_count);
}

int32_t MpegAudioDecoder::fill_block(int16_t *block, int32_t capacity, int32_t frames_per_fill_work,
                                     int32_t *samples) {
  return impl_->fill_block(block, capacity, frames_per_fill_work, samples);
}

void MpegAudioDecoder::set_channel_mode(ChannelMode mode) {
  int32_t m = int32_t(mode);
  impl_->channel_mode = m >= 0 && m <= 3 ? mode : ChannelMode::Stereo;
}
ChannelMode MpegAudioDecoder::channel_mode() const { return impl_->channel_mode; }
void MpegAudioDecoder::set_rate_mode(RateMode mode) {
  int32_t m = int32_t(mode);
  impl_->rate_mode = m >= -1 && m <= 1 ? mode : RateMode::Normal;
}
RateMode MpegAudioDecoder::rate_mode() const { return impl_->rate_mode; }
void MpegAudioDecoder::set_synthesis(SynthesisKind kind) {
  impl_->synthesis = kind == SynthesisKind::Fixed ? SynthesisKind::Fixed : SynthesisKind::Float;
}
SynthesisKind MpegAudioDecoder::synthesis() const { return impl_->synthesis; }

bool MpegAudioDecoder::input_ended() const { return impl_->reader.input_ended(); }
void MpegAudioDecoder::clear_input_ended() { impl_->reader.clear_input_ended(); }

const HeaderRecord &MpegAudioDecoder::header() const { return impl_->header; }
int32_t MpegAudioDecoder::output_channels() const { return impl_->output_channels(); }
int32_t MpegAudioDecoder::output_rate() const { return impl_->output_rate(); }

}  // namespace lunaret
