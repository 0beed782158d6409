#include "platform/cpu_features.h"

#include <atomic>
#include <cstdlib>

namespace platform {

namespace {

uint32_t initial_mask() {
  const char *env = std::getenv("RAZAVORI_CPU_MASK");
  if (!env || !*env) return kCpuAll;
  return static_cast<uint32_t>(std::strtoul(env, nullptr, 0));
}

std::atomic<uint32_t> &mask_value() {
  static std::atomic<uint32_t> mask{initial_mask()};
  return mask;
}

uint32_t reported_flags() {
  uint32_t flags = 0;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) flags |= kCpuSse2;
  if (__builtin_cpu_supports("ssse3")) flags |= kCpuSsse3;
  if (__builtin_cpu_supports("sse4.1")) flags |= kCpuSse41;
  if (__builtin_cpu_supports("avx2")) flags |= kCpuAvx2;
  if (__builtin_cpu_supports("avx")) flags |= kCpuAvx;
#endif
  return flags;
}

}  // namespace

uint32_t detect_cpu_flags() { return reported_flags() & mask_value().load(std::memory_order_relaxed); }

void set_cpu_flags_mask(uint32_t mask) { mask_value().store(mask, std::memory_order_relaxed); }

}  // namespace platform
