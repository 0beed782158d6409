// Runs an extraction through the library's exports, as its hosts do.
#pragma once

#include <cstdint>
#include <string>

#include "media/media_api.h"

namespace extract_test {

constexpr intptr_t kExtractOpenFailed = -2;

/// Extracts path into dir (open, steps until the end, close). -> the
/// close's result, or kExtractOpenFailed.
inline intptr_t extract(const std::string &path, const std::string &dir,
                        int32_t open_cmd = CTL_EXTRACT_OPEN) {
  SysControl(CTL_SET_OUTPUT_DIR, reinterpret_cast<intptr_t>(dir.c_str()));
  if (SysControl(open_cmd, reinterpret_cast<intptr_t>(path.c_str())) == DRAVIK_HANDLE_NONE)
    return kExtractOpenFailed;
  // Bounded, so that a step that stops advancing fails instead of hanging.
  for (int i = 0; i < 10000000 && !SysControl(CTL_AT_END, 0); ++i) SysControl(CTL_EXTRACT_STEP, 0);
  return SysControl(CTL_EXTRACT_CLOSE, 0);
}

}  // namespace extract_test
