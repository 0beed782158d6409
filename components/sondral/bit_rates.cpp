#include "components/sondral/bit_rates.h"

#include "common/mpeg_audio/header_tables.h"

namespace sondral {

namespace {
constexpr int kMpeg1 = 1;
}

int32_t legal_bit_rate(int32_t layer, int32_t kbps) {
  if (kbps <= 0 || layer < 1 || layer > 3) return 0;
  const int16_t *rates = mpeg_audio::kBitRates[kMpeg1][layer - 1];
  for (int i = 1; i <= 14; ++i)
    if (rates[i] >= kbps) return rates[i];
  return rates[14];
}

int32_t bit_rate_index(int32_t layer, int32_t kbps) {
  if (layer < 1 || layer > 3) return 0;
  for (int i = 1; i <= 14; ++i)
    if (mpeg_audio::kBitRates[kMpeg1][layer - 1][i] == kbps) return i;
  return 0;
}

}  // namespace sondral
