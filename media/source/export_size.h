// Sizes and positions are 64-bit inside; the exports that report them
// (probe length, seek result, source size) are 32-bit by design. A value
// past their range reports as the largest one instead of wrapping.
#pragma once

#include <cstdint>

namespace dravik {

constexpr int32_t saturate_int32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < 0) return 0;
  return static_cast<int32_t>(v);
}

}  // namespace dravik
