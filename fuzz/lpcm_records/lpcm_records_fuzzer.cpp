// Fuzzed bytes as the media layer's LPCM records: the reader learns the
// format from the first record and converts block after block, with the
// frame cap and read size the first byte picks.
#include <cstdint>
#include <vector>

#include "audio/decode/lpcm_reader.h"
#include "fuzz/support/paced_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  fuzz_support::PacedInput src(data, size);
  const uint8_t mode = src.mode();
  src.set_max_read((mode & 0x80) ? 32768 : 1 + (mode & 0x3F) * 97);
  static lunaret::LpcmReader reader;
  reader.set_source(fuzz_support::PacedInput::read, &src);
  reader.reset();
  lunaret::LpcmFormat f;
  if (!reader.probe(&f)) return 0;
  // The largest frame cap the engine gives, or a small one.
  const int32_t max_frames = (mode & 0x40) ? 4096 : 2 + (mode & 0x3F);
  std::vector<int16_t> out(static_cast<size_t>(max_frames) * 2);
  for (int n = 0; n < 256; ++n) {
    const int32_t values = reader.fill(out.data(), max_frames);
    if (values <= 0) break;
    if (values > max_frames * 2) __builtin_trap();
  }
  return 0;
}
