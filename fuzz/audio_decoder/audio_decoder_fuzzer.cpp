// Fuzzed bytes as an MPEG audio elementary stream through the decoder's
// pull interface, decoded to the end as the engine would. The first byte
// picks the synthesis, the rate mode, the channel mode, the probe's file
// mode and how many bytes each read hands out.
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/decode/mpeg_audio_decoder.h"
#include "fuzz/support/paced_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  fuzz_support::PacedInput src(data, size);
  const uint8_t mode = src.mode();
  src.set_max_read((mode & 0x80) ? 2048 : 1 + (mode & 0x3F) * 13);

  static const auto dec = std::make_unique<lunaret::MpegAudioDecoder>();
  dec->set_source(fuzz_support::PacedInput::read, &src);
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
