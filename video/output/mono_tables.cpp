#include "video/output/mono_tables.h"

#include <algorithm>

#include "video/output/colour_dsp.h"

namespace kestrum {

namespace {

uint8_t channel(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)); }

}  // namespace

void build_mono_tables(MonoTables &tables, int tint_cb, int tint_cr, int brightness) {
  const double cb = std::clamp(tint_cb, 0, 255) - 128.0;
  const double cr = std::clamp(tint_cr, 0, 255) - 128.0;
  for (int v = 0; v < 256; ++v) {
    const double y = std::clamp(v + brightness, 0, 255);
    const Rgb8 p{channel(y + 1.402 * cr), channel(y - 0.3441 * cb - 0.7141 * cr), channel(y + 1.772 * cb)};
    tables.rgb32[v] = (uint32_t{p.r} << 16) | (uint32_t{p.g} << 8) | p.b;
    tables.rgb15[v] = colour_pack15(p);
    tables.rgb16[v] = colour_pack16(p);
  }
}

}  // namespace kestrum
