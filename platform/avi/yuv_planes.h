// Planar YUV pictures as codecs give them (4:2:0, 4:2:2 or 4:4:4, studio or
// full "JPEG" range) to the engine's 4:2:0 studio-range planes, in one pass
// of our own: chroma averaged over the samples each 4:2:0 sample covers,
// full range scaled to 16-235 (luma) and 16-240 (chroma).
#pragma once

#include <cstdint>

namespace platform::avi {

struct PlanarPicture {
  const uint8_t *plane[3] = {nullptr, nullptr, nullptr};
  int32_t stride[3] = {0, 0, 0};
  int32_t width = 0, height = 0;
  int32_t chroma_shift_x = 1, chroma_shift_y = 1;  // 1 halves, 0 keeps
  bool full_range = false;
};

/// Writes the 4:2:0 picture: luma width x height into y, chroma
/// (width + 1) / 2 x (height + 1) / 2 into cb and cr.
void planar_to_420(const PlanarPicture &in, uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_stride,
                   int32_t c_stride);

}  // namespace platform::avi
