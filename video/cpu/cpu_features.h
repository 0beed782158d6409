// The video engine's names for the processor features and their mask,
// which live in the platform layer so the audio engine shares them.
#pragma once

#include "platform/cpu_features.h"

namespace kestrum {

using platform::CpuFlag;
using platform::detect_cpu_flags;
using platform::kCpuAll;
using platform::kCpuAvx;
using platform::kCpuAvx2;
using platform::kCpuSse2;
using platform::kCpuSse41;
using platform::kCpuSsse3;
using platform::set_cpu_flags_mask;

}  // namespace kestrum
