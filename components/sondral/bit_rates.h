// The bit rates each layer can code: a requested rate takes the next legal
// one up.
#pragma once

#include <cstdint>

namespace sondral {

/// The legal MPEG-1 rate (kbit/s) at or above kbps for the layer, the
/// layer's highest when kbps is above it, 0 for kbps <= 0 or another layer.
int32_t legal_bit_rate(int32_t layer, int32_t kbps);
/// The header's bitrate_index of a legal MPEG-1 rate, or 0.
int32_t bit_rate_index(int32_t layer, int32_t kbps);

}  // namespace sondral
