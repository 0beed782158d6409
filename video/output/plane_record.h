// The current picture as the colour converters (and the programs, through
// the engine's plane-record commands) see it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrum {

/// Planar YCbCr 4:2:0 picture, 8-bit samples, chroma at half width and half
/// height. The first six fields are the plane record the engine hands out
/// (three plane addresses, then three line lengths); the sizes follow.
/// Offsets on x86-64: y 0, cb 8, cr 16, y_pitch 24, cb_pitch 28,
/// cr_pitch 32, coded_width 36, coded_height 40, display_width 44,
/// display_height 48.
struct PlaneRecord {
  const uint8_t *y = nullptr;
  const uint8_t *cb = nullptr;
  const uint8_t *cr = nullptr;
  int32_t y_pitch = 0;      ///< bytes from one luma line to the next
  int32_t cb_pitch = 0;     ///< bytes from one Cb line to the next
  int32_t cr_pitch = 0;     ///< bytes from one Cr line to the next
  int32_t coded_width = 0;  ///< allocated size, a multiple of 16
  int32_t coded_height = 0;
  int32_t display_width = 0;  ///< the sequence's size; 0 means the coded size
  int32_t display_height = 0;
};

static_assert(offsetof(PlaneRecord, y_pitch) == 3 * sizeof(void *));
static_assert(offsetof(PlaneRecord, coded_width) == 3 * sizeof(void *) + 12);

}  // namespace kestrum
