// The row routines behind planar_to_420 and their table, one per CPU level:
// the C reference in yuv_planes.cpp, the SIMD overrides in x86/. Every
// level gives the same bytes; tests and fuzzers compare them through
// planar_to_420_with().
#pragma once

#include <cstdint>

#include "platform/avi/yuv_planes.h"

namespace platform::avi {

/// Full-range luma to studio range: n samples.
using LumaRow = void (*)(const uint8_t *src, uint8_t *dst, int32_t n);
/// n chroma samples from two source rows r0 and r1 (the same row when the
/// source has the output's vertical resolution).
using ChromaRow = void (*)(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);

enum ChromaRange : int { kStudioRange = 0, kFullRange = 1, kChromaRanges = 2 };

struct YuvPlanesDsp {
  LumaRow luma_full = nullptr;
  // (r0[x] + r1[x] + 1) >> 1: sources already halved horizontally.
  ChromaRow average2[kChromaRanges] = {};
  // The 2 x 2 box r0/r1[2x, 2x + 1], rounded: sources at full width
  // (reads 2n samples of each row).
  ChromaRow average4[kChromaRanges] = {};
};

/// The routines of the levels cpu_flags (platform::CpuFlag bits) allows.
void init_yuv_planes_dsp(YuvPlanesDsp &dsp, uint32_t cpu_flags);
/// The table planar_to_420 uses: built once, from detect_cpu_flags().
const YuvPlanesDsp &yuv_planes_dsp();

/// planar_to_420 through the given table.
void planar_to_420_with(const YuvPlanesDsp &dsp, const PlanarPicture &in, uint8_t *y, uint8_t *cb,
                        uint8_t *cr, int32_t y_stride, int32_t c_stride);

// The C rows; the SIMD rows finish their tails with them.
void luma_full_c(const uint8_t *src, uint8_t *dst, int32_t n);
void average2_studio_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average2_full_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_studio_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_full_c(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
template <bool Full>
inline constexpr ChromaRow kAverage2C = Full ? average2_full_c : average2_studio_c;
template <bool Full>
inline constexpr ChromaRow kAverage4C = Full ? average4_full_c : average4_studio_c;

}  // namespace platform::avi
