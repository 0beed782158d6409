// Fuzzed bytes as an AC-3 elementary stream: the frame reader finds,
// confirms and hands out frames (reads of a size the first byte picks),
// and every frame goes through Morrel in the setting the first byte picks.
#include <cstdint>

#include "audio/decode/ac3_frame_reader.h"
#include "components/morrel/morrel.h"
#include "fuzz/support/paced_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  fuzz_support::PacedInput src(data, size);
  const uint8_t mode = src.mode();
  src.set_max_read((mode & 0x80) ? 4096 : 1 + (mode & 0x3F) * 61);
  static lunaret::Ac3FrameReader reader;
  static void *decoder = MorrelOpen(nullptr, 0, nullptr);
  reader.set_source(fuzz_support::PacedInput::read, &src);
  reader.reset();
  ac3::FrameHeader h;
  if (mode & 0x40) reader.probe(&h);
  static uint8_t frame[ac3::kMaxFrameBytes];
  static int16_t out[MORREL_FRAME_SAMPLES * MORREL_MULTI_CHANNELS];
  for (int n = 0; n < 64 && reader.next_frame(frame, &h); ++n) {
    if (h.bytes <= 0 || h.bytes > ac3::kMaxFrameBytes) __builtin_trap();
    Ac3Params p{};
    p.input = frame;
    p.input_length = h.bytes;
    p.output = reinterpret_cast<uint8_t *>(out);
    p.output_capacity = sizeof(out);
    p.multichannel = mode & 1;
    p.output_mode = (mode >> 1) & 7;
    p.dynamic_range = 1.0;
    Ac3Info info{};
    MorrelDecode(decoder, &p, &info);
  }
  return 0;
}
