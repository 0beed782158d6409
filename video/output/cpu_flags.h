// Which instruction-set levels the colour converters may use.
#pragma once

#include <cstdint>

namespace kestrum {

enum CpuFlag : uint32_t {
  kCpuSse2 = 1u << 0,
  kCpuAvx2 = 1u << 1,
};

/// The levels this CPU offers, limited by the mask below.
uint32_t detect_cpu_flags();

/// Caps every later detect_cpu_flags() (tests and benchmarks pick a level
/// this way). The environment variable RAZAVORI_CPU_MASK (a number) sets the
/// initial mask; the default allows everything.
void set_cpu_flags_mask(uint32_t mask);

}  // namespace kestrum
