// Host code (file tables, the probe hook, plug-ins, sinks, the subpicture
// callback, the DVB library) runs on the library's threads, often under its
// locks. A hook that calls back into the library on its own thread would
// re-enter a parse step or free what is being walked, so while a hook runs
// on a thread, the calls that change state answer their failure value
// there; plain queries stay allowed.
#pragma once

namespace dravik {

/// Marks the current thread as running host code for its lifetime.
class HookCall {
 public:
  HookCall();
  ~HookCall();
  HookCall(const HookCall &) = delete;
  HookCall &operator=(const HookCall &) = delete;
};

/// True while the current thread runs host code called by the library.
bool inside_hook();

}  // namespace dravik
