// The pushed-PCM kind seen from tests: its queue, and the step in which a
// fill waiting for a block looks again whether the plug-in has ended.
#pragma once

#include <cstdint>

#include "audio/push_queue.h"

namespace lunaret {

/// How often a waiting fill asks the plug-in whether it has ended.
constexpr uint32_t kPushWaitStepMs = 200;

PushQueue &push_queue();
/// Replaces the wait step (0 restores kPushWaitStepMs).
void set_push_wait_step(uint32_t ms);

}  // namespace lunaret
