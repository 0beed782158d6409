// A source plug-in that pushes sound as a real one does: from its own
// thread, in the blocks a test gives it, then (when asked) ends and wakes
// the reader. It counts the engine's start and stop calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "media/media_api.h"

namespace lunaret_test {

struct PushPlugin : SourcePlugin {
  PushPlugin();
  ~PushPlugin();
  PushPlugin(const PushPlugin &) = delete;
  PushPlugin &operator=(const PushPlugin &) = delete;

  // What slots 8 and 14 answer.
  bool has_audio = true;
  int32_t format_answer = 1;
  int32_t rate = 44100;
  int32_t bits = 16;
  int32_t channels = 2;

  // What the engine registered.
  DravikPushFn push = nullptr;
  DravikPushClockFn clock = nullptr;
  void *context = nullptr;

  std::atomic<bool> ended{false};
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};

  /// Pushes the blocks in order on the plug-in's thread; with `end`, marks
  /// the end afterwards and wakes the reader with an empty push.
  void push_from_thread(std::vector<std::vector<uint8_t>> blocks, bool end);
  /// Waits for the pushing thread to finish.
  void join();
  /// One push on the caller's thread.
  void push_now(const std::vector<uint8_t> &block, int32_t flag = DRAVIK_PUSH_DATA);

 private:
  std::thread thread_;
};

}  // namespace lunaret_test
