// DVD linear PCM as the media layer hands it over: records of the four
// characters "LPCM", a little-endian 32-bit length and the packet's bytes
// (the 6-byte LPCM header, then big-endian samples). The reader collects
// packet payloads and converts whole sample groups to 16-bit PCM, folding
// more than two channels to stereo.
#pragma once

#include <cstdint>

#include "audio/decode/mpeg_audio_decoder.h"

namespace lunaret {

struct LpcmFormat {
  int32_t bits = 16;          // packing: 16, 20 or 24 (the 32-bit code packs as 24)
  int32_t nominal_bits = 16;  // what the header's word-length code says
  int32_t channels = 2;       // 1..8
  int32_t rate = 48000;
  int32_t bit_rate = 0;  // kbit/s
  int32_t block_bytes = 0;
  /// Bytes of the smallest whole group: two sample frames.
  int32_t group_bytes() const { return channels * bits / 4; }
  /// Channels the conversion produces.
  int32_t out_channels() const { return channels == 1 ? 1 : 2; }
};

/// The format of a header's format byte (the fifth byte of the packet).
LpcmFormat lpcm_format(uint8_t format_byte);

/// Converts `groups` groups of packed samples to 16-bit output (the high 16
/// bits of every sample, folded to stereo by the downmix table). -> values.
int32_t lpcm_convert(const LpcmFormat &f, const uint8_t *src, int32_t groups, int16_t *dst);

class LpcmReader {
 public:
  /// Bytes asked of the source per read.
  static constexpr int32_t kReadBytes = 32768;
  /// Largest payload of one packet; longer ones are damage.
  static constexpr int32_t kMaxPayload = 2048;
  static constexpr int32_t kMaxBlock = 65536;

  void set_source(ReadFn read, void *ctx);
  void reset();
  /// Finds the first record and learns the format from it; the record
  /// stays for the first fill.
  bool probe(LpcmFormat *format);
  /// Up to one block, at most max_frames frames, converted into dst;
  /// the rest is kept. -> values written; 0 at the end of the input.
  int32_t fill(int16_t *dst, int32_t max_frames);
  bool input_ended() const { return ended_; }
  const LpcmFormat &format() const { return format_; }

 private:
  bool available(int32_t n);
  bool next_payload();

  ReadFn read_ = nullptr;
  void *ctx_ = nullptr;
  uint8_t in_[kReadBytes + 16] = {};
  int32_t pos_ = 0, end_ = 0;
  bool ended_ = false;
  bool first_packet_ = true;
  LpcmFormat format_;
  // Collected payload bytes; at most a block plus one packet.
  uint8_t collect_[kMaxBlock + kMaxPayload] = {};
  int32_t have_ = 0;
};

}  // namespace lunaret
