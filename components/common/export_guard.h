// The shell around every export of the components: no exception crosses
// the C boundary; a failure inside returns the documented failure value.
#pragma once

namespace component_io {

template <typename R, typename F>
R guard_export(R fail, F &&body) {
  try {
    return body();
  } catch (...) {
    return fail;
  }
}

}  // namespace component_io
