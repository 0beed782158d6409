// The decoder's state and the stages that share it. The public face is
// MpegAudioDecoder (mpeg_audio_decoder.h); this header is for the stage
// files (layer1.cpp, layer2.cpp, layer3.cpp) and the tests.
#pragma once

#include <cstdint>

#include "audio/decode/frame_header.h"
#include "audio/decode/mpeg_audio_decoder.h"
#include "audio/decode/stream_bit_reader.h"
#include "audio/decode/synthesis.h"

namespace lunaret {

/// Layer III main data: the bytes of the current and earlier frames that
/// main_data_begin can point back into.
struct Reservoir {
  static constexpr int32_t kCapacity = 4096;
  static constexpr int32_t kPadding = 64;   // zeros: reads past the data stay in the buffer
  static constexpr int32_t kMaxBack = 511;  // largest main_data_begin
  uint8_t bytes[kCapacity + kPadding];
  int32_t length;  // bytes buffered

  void reset();
  /// Makes room for n more bytes, keeping the last kMaxBack ones. Returns
  /// the offset to write at (n is at most kCapacity - kMaxBack).
  int32_t make_room(int32_t n);
};

/// Per-channel Layer III state that outlives a granule.
struct Layer3Channel {
  alignas(32) float overlap[18 * 32];  // slot-major [t * 32 + sb], as the time samples
  uint8_t scalefac_l[22];              // long-block scalefactors (scfsi reuse)
};

struct Layer3State {
  Reservoir reservoir;
  Layer3Channel ch[2];
  alignas(16) float xr[2][576];    // spectrum of the current granule
  alignas(16) float time[2][576];  // after IMDCT, slot-major [t * 32 + sb]
  void reset();
};

/// Largest subband-sample count of one frame per channel (Layer II).
inline constexpr int32_t kMaxSlots = 36;

class MpegFrameDecoder {
 public:
  MpegFrameDecoder();

  void reset_stream();
  void reset_decoder();

  int32_t probe(int32_t file_mode, StreamInfo *info);
  int32_t decode_frame(int16_t *block, int32_t capacity, int32_t *sample_count);
  int32_t fill_block(int16_t *block, int32_t capacity, int32_t frames, int32_t *samples);

  /// Output channels for the current settings and the stream's channels.
  int32_t output_channels() const;
  int32_t output_rate() const;

  // Settings.
  ChannelMode channel_mode = ChannelMode::Stereo;
  RateMode rate_mode = RateMode::Full;
  SynthesisKind synthesis = SynthesisKind::Float;

  StreamBitReader reader;
  HeaderRecord header;
  uint32_t sync_word = 0x0FFF;
  int32_t sync_bits = 12;

  // Stage entry points: each decodes the frame whose header was just
  // parsed. They return false when the input ended inside the frame (its
  // samples are dropped).
  bool decode_layer1();
  bool decode_layer2();
  bool decode_layer3();

  /// One synthesis call per output channel for slot t of subband samples
  /// (`left`, `right` of 32 values each) written to the current block.
  void emit_slot(const float *left, const float *right);

  /// Subband samples of the current frame (Layers I and II).
  alignas(16) float subband[2][kMaxSlots][32];
  Layer3State l3;

 private:
  bool find_sync();
  bool next_header_agrees(int64_t start, const HeaderRecord &h);
  SynthForm form() const;

  SynthFloatChannel synth_float_[2];
  SynthFixedChannel synth_fixed_[2];
  int32_t stream_channels_ = 0;  // channels of the stream the output was laid out for
  int16_t *out_ = nullptr;
  int32_t out_capacity_ = 0;
  int32_t *out_count_ = nullptr;
};

}  // namespace lunaret
