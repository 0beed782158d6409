// A subpicture unit from the fuzzer: every control sequence is read, the
// area of each sequence that sets one is decoded and mixed into a small
// picture, and the picture restored.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "components/glyvex/spu_mixer.h"
#include "components/glyvex/spu_unit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<uint8_t> unit(data, data + size);  // exactly the input
  std::vector<glyvex::Sequence> seqs;
  glyvex::parse_unit(unit.data(), unit.size(), seqs);
  constexpr int kW = 96, kH = 64;
  static std::vector<uint8_t> y(kW * kH, 16), cb(kW * kH / 4, 128), cr(kW * kH / 4, 128);
  static glyvex::Mixer mixer;
  const glyvex::PixelColours colours{
      {16, 80, 160, 235}, {128, 90, 200, 128}, {128, 60, 30, 128}, {0, 85, 170, 255}};
  for (const glyvex::Sequence &s : seqs) {
    if (!s.has_area || s.x2 < s.x1 || s.y2 < s.y1) continue;
    const int w = std::min(s.x2 - s.x1 + 1, 256), h = std::min(s.y2 - s.y1 + 1, 256);
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    glyvex::decode_area(unit.data(), unit.size(), s.offset, w, h, pixels.data());
    const glyvex::PlaneSet planes{y.data(), cb.data(), cr.data(), kW, kW / 2, kW, kH};
    glyvex::Layer layer;
    glyvex::build_layer(pixels.data(), s.x1 % 128 - 32, s.y1 % 96 - 32, w, h, colours, layer);
    if (mixer.mix(planes, layer)) mixer.restore();
  }
  return 0;
}
