// Which CPU level overrides which row of the planar conversion.
#pragma once

#include <cstdint>

#include "platform/avi/yuv_planes_dsp.h"
#include "platform/cpu_features.h"

namespace platform::avi {

void luma_full_sse2(const uint8_t *src, uint8_t *dst, int32_t n);
void average2_studio_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average2_full_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_studio_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_full_sse2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_studio_ssse3(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_full_ssse3(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void luma_full_avx2(const uint8_t *src, uint8_t *dst, int32_t n);
void average2_studio_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average2_full_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_studio_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);
void average4_full_avx2(const uint8_t *r0, const uint8_t *r1, uint8_t *dst, int32_t n);

inline void yuv_planes_dsp_init_x86(YuvPlanesDsp &dsp, uint32_t cpu_flags) {
  if (!(cpu_flags & kCpuSse2)) return;
  dsp.luma_full = luma_full_sse2;
  dsp.average2[kStudioRange] = average2_studio_sse2;
  dsp.average2[kFullRange] = average2_full_sse2;
  dsp.average4[kStudioRange] = average4_studio_sse2;
  dsp.average4[kFullRange] = average4_full_sse2;
  if (!(cpu_flags & kCpuSsse3)) return;
  dsp.average4[kStudioRange] = average4_studio_ssse3;
  dsp.average4[kFullRange] = average4_full_ssse3;
  if (!(cpu_flags & kCpuAvx2)) return;
  dsp.luma_full = luma_full_avx2;
  dsp.average2[kStudioRange] = average2_studio_avx2;
  dsp.average2[kFullRange] = average2_full_avx2;
  dsp.average4[kStudioRange] = average4_studio_avx2;
  dsp.average4[kFullRange] = average4_full_avx2;
}

}  // namespace platform::avi
