// Channels per MPEG audio header mode (stereo, joint stereo, dual channel,
// single channel).
#pragma once

#include <cstdint>

namespace tools_common {

/// Channels for a header mode 0..3; 0 for anything else.
constexpr int32_t channels_for_mode(int32_t mode) {
  constexpr int32_t kChannels[4] = {2, 2, 2, 1};
  return mode >= 0 && mode < 4 ? kChannels[mode] : 0;
}

}  // namespace tools_common
