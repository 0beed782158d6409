// Fuzzed bytes as an MPEG audio elementary stream through the decoder's
// pull interface, decoded to the end as the engine would. The first byte
// picks the synthesis, the rate mode, the channel mode, the probe's file
// mode and how many bytes each read hands out.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/decode/mpeg_audio_decoder.h"

namespace {

struct Source {
  const uint8_t *data;
  size_t size;
  size_t pos;
  int32_t max_read;
};

int32_t read_source(void *ctx, void *dst, int32_t len) {
  auto *s = static_cast<Source *>(ctx);
  size_t n = std::min({size_t(len), size_t(s->max_read), s->size - s->pos});
  if (n) std::memcpy(dst, s->data + s->pos, n);
  s->pos += n;
  return int32_t(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  // The rest gets its own allocation of exactly its size, so reads past it
  // are caught.
  std::vector<uint8_t> body(data + 1, data + size);
  Source src{body.data(), body.size(), 0, (mode & 0x80) ? 2048 : 1 + (mode & 0x3F) * 13};

  static const auto dec = std::make_unique<lunaret::MpegAudioDecoder>();
  dec->set_source(read_source, &src);
  dec->reset_stream();
  dec->set_synthesis((mode & 1) ? lunaret::SynthesisKind::Fixed : lunaret::SynthesisKind::Float);
  dec->set_rate_mode(static_cast<lunaret::RateMode>(int32_t((mode >> 1) % 3) - 1));
  dec->set_channel_mode(static_cast<lunaret::ChannelMode>((mode >> 3) & 3));
  const int32_t file_mode = (mode >> 5) & 1;
  if (dec->probe(file_mode, nullptr) != 1) return 0;
  std::vector<int16_t> block(24576);
  int32_t n = 0;
  const int32_t frames = 1 + (mode >> 6);
  // Every fill consumes at least one byte, so this ends.
  while (dec->fill_block(block.data(), int32_t(block.size()), frames, &n) == 1) {
    if (n < 0 || n > int32_t(block.size())) __builtin_trap();
  }
  return 0;
}
