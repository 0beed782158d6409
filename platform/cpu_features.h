// The processor features every SIMD routine of the engines may use, and
// the one mask that caps them all (video decoder, colour conversion, audio
// synthesis and filter bank, benchmarks, fuzzers). Each table's init takes
// the flags from here.
#pragma once

#include <cstdint>

namespace platform {

enum CpuFlag : uint32_t {
  kCpuSse2 = 1u << 0,
  kCpuSsse3 = 1u << 1,
  kCpuSse41 = 1u << 2,
  kCpuAvx2 = 1u << 3,
  kCpuAvx = 1u << 4,
  kCpuAll = 0xFFFFFFFFu,
};

/// The features this processor reports, limited by the mask below.
uint32_t detect_cpu_flags();

/// Caps every later detect_cpu_flags() (tests and benchmarks pick a level
/// this way; 0 = plain C everywhere). The environment variable
/// RAZAVORI_CPU_MASK (a number, CpuFlag bits) sets the initial mask; the
/// default allows everything. Tables already built keep their routines.
void set_cpu_flags_mask(uint32_t mask);

}  // namespace platform
