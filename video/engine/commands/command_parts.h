// VideoCommand is answered by parts, one per concern. Each concern has a
// settings part (codes that work whether or not a file is open) and a
// stream part (only while a file is open); the dispatcher asks them in
// that order.
#pragma once

#include <cstdint>

#include "video/video_api.h"

namespace kestrum::commands {

/// What a settings part did with a code.
enum class Outcome : uint8_t {
  not_mine,  // another part answers it
  done,      // finished: result is the answer
  go_on,     // result set; the stream part of the code runs too (when open)
};

Outcome settings_setting(int32_t cmd, intptr_t arg, intptr_t &result);
Outcome transport_setting(int32_t cmd, intptr_t arg, intptr_t &result);
Outcome display_setting(int32_t cmd, intptr_t arg, intptr_t &result);
Outcome picture_setting(int32_t cmd, intptr_t arg, intptr_t &result);
Outcome dvd_setting(int32_t cmd, intptr_t arg, intptr_t &result);
/// The codes that only keep a value for the display, subpicture and DVD
/// layers (asked after the parts above).
Outcome stored_value(int32_t cmd, intptr_t arg, intptr_t &result);

/// Stream parts: true when the code is theirs (result then is the answer;
/// it arrives holding what a settings part left there).
bool settings_stream(int32_t cmd, intptr_t arg, intptr_t &result);
bool transport_stream(int32_t cmd, intptr_t arg, intptr_t &result);
bool display_stream(int32_t cmd, intptr_t arg, intptr_t &result);
bool picture_stream(int32_t cmd, intptr_t arg, intptr_t &result);
/// Display time: where the picture on screen lies, and seeking to a time.
bool time_stream(int32_t cmd, intptr_t arg, intptr_t &result);

/// VCMD_BENCHMARK: decodes and presents pictures as fast as it can. 1/0.
int32_t run_benchmark(KestrumBenchmarkRecord *out);

template <class T>
T *as_ptr(intptr_t arg) {
  return reinterpret_cast<T *>(arg);
}

}  // namespace kestrum::commands
