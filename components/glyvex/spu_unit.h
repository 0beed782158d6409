// One DVD subpicture unit read from its bytes: the control sequences (with
// their delays and commands) and the run-length coded picture of the
// display area, every read bounded by the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace glyvex {

// Most control sequences one unit may carry; a chain longer than this (or
// one that loops) ends there.
inline constexpr int32_t kMaxSequences = 64;
// Largest display area drawn; DVD pictures are at most 720 x 576.
inline constexpr int32_t kMaxAreaWidth = 1024;
inline constexpr int32_t kMaxAreaHeight = 1024;

struct Sequence {
  int32_t delay = 0;    // in 1024/90000 s
  int8_t display = -1;  // 1 start, 0 stop, -1 unchanged
  bool has_colour = false, has_contrast = false, has_area = false, has_offsets = false;
  uint8_t colour[4] = {};    // palette entry of pixel values 0..3
  uint8_t contrast[4] = {};  // 0..15 of pixel values 0..3
  int32_t x1 = 0, x2 = -1, y1 = 0, y2 = -1;
  uint16_t offset[2] = {};  // top and bottom field lines
};

// -> false when the unit is too short or its header is out of range; the
// sequences read before a fault are kept.
bool parse_unit(const uint8_t *unit, size_t size, std::vector<Sequence> &out);

// Decodes the two fields into `pixels` (width * height values 0..3, lines
// alternating top and bottom field). Runs past a line's end are clipped;
// lines whose data run past the unit stay 0.
void decode_area(const uint8_t *unit, size_t size, const uint16_t offset[2], int32_t width, int32_t height,
                 uint8_t *pixels);

}  // namespace glyvex
