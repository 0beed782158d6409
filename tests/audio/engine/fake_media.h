// A stand-in for the media layer that the engine tests install through the
// engine's media table: it serves one file (or bytes) as a bare audio
// elementary stream, answers the SysControl queries the engine makes with
// values a test sets, and keeps the callback queue for the test to run,
// as the video engine's playback loop does.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "audio/media_link.h"

namespace lunaret_test {

struct FakeMedia {
  // What the probes answer.
  int32_t probe_result = 2;
  int32_t avi_probe_result = 3;
  int32_t open_result = 7;
  // SysControl answers.
  int32_t audio_count = 1;
  int32_t audio_current = -1;
  int32_t header_word = -1;  // -1: taken from the first two bytes
  int32_t source_handle = 7;
  intptr_t plugin = 0;
  int32_t byte_rate = 176128;

  // Served bytes and the read position.
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  // What the engine asked for.
  std::string probed_path;
  std::string opened_path;
  uint32_t opened_start = 0;
  int closes = 0;
  std::vector<int32_t> flushes;

  // The callback queue.
  std::mutex m;
  std::vector<std::pair<lunaret::MediaCallbackFn, void *>> queue;

  /// Installs this object as the engine's media layer (and resets it).
  void install();
  /// Restores the engine's own media layer.
  static void uninstall();
  /// Loads a file to serve.
  bool load(const std::string &path);
  /// Runs every queued callback (those queued while running wait for the
  /// next call). Returns how many ran.
  int run_callbacks();
  size_t queued();
  /// Runs the callbacks until `done` holds, sleeping on the engine's
  /// progress in between (every fill round and every buffer back moves
  /// it); -> false when bound_ms passed first.
  template <typename Done>
  bool serve_until(Done done, uint32_t bound_ms = kServeBoundMs);
  /// Serves the callbacks until the stream has ended and every buffer has
  /// come back from the device.
  bool serve_to_end(uint32_t bound_ms = kServeBoundMs);

  /// No healthy run comes near this.
  static constexpr uint32_t kServeBoundMs = 20000;
};

/// The object the installed table talks to.
FakeMedia &fake_media();

template <typename Done>
bool FakeMedia::serve_until(Done done, uint32_t bound_ms) {
  using Clock = std::chrono::steady_clock;
  platform::ChangeCount &progress = lunaret::engine().progress;
  const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  for (;;) {
    // Read before looking: a change after the look moves the count on.
    const uint64_t seen = progress.value();
    run_callbacks();
    if (done()) return true;
    if (queued() != 0) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    progress.wait_past(seen, static_cast<uint32_t>(left));
  }
}

}  // namespace lunaret_test
