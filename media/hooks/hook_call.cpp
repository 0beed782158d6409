#include "media/hooks/hook_call.h"

namespace dravik {

namespace {
thread_local int t_depth = 0;
}

HookCall::HookCall() { ++t_depth; }
HookCall::~HookCall() { --t_depth; }

bool inside_hook() { return t_depth > 0; }

}  // namespace dravik
