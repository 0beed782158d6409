// Upgrades of the DSP tables for x86 levels. Built for the baseline CPU; the
// routines it installs live in files built with their own -m flags.
#include "video/decode/x86/idct_x86.h"
#include "video/decode/x86/mc_x86.h"

namespace kestrum {

void init_idct_dsp_x86(IdctDsp &dsp, uint32_t cpu_flags) {
  if (!(cpu_flags & kCpuSse2)) return;
  dsp.put = idct_accurate_put_sse2;
  dsp.add = idct_accurate_add_sse2;
  if (!(cpu_flags & kCpuAvx2)) return;
  dsp.put = idct_accurate_put_avx2;
  dsp.add = idct_accurate_add_avx2;
}

void init_mc_dsp_x86(McDsp &dsp, McVariant variant, uint32_t cpu_flags) {
  if (!(cpu_flags & kCpuSse2)) return;
  init_mc_dsp_sse2(dsp, variant);
}

}  // namespace kestrum
