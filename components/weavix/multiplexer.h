// One multiplex: recognise the inputs, choose the system-stream form, feed
// the framers' units to libavformat's muxer in decoding-time order, and
// give the output its final name only when everything succeeded.
#pragma once

#include <atomic>
#include <cstdint>

namespace weavix {

/// Shared with the threads that watch or stop a run.
struct RunControl {
  std::atomic<int32_t> progress{0};  // percent of input bytes consumed
  std::atomic<bool> cancel{false};
  std::atomic<int32_t> skipped{0};
};

/// The system-stream forms, by libavformat muxer name.
enum class MuxForm { video_cd, mpeg1, dvd };
const char *muxer_name(MuxForm form);

/// True on success (output under out_path); false leaves out_path untouched.
bool multiplex(const char *video_path, const char *audio_path, const char *out_path, RunControl &control);

}  // namespace weavix
