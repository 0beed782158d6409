// Stand-ins for the media layer, the audio engine and the decoder: a source
// of `total_length` bytes holding `pictures.size()` pictures of equal size,
// read in 16 KiB pulls like the real decoder does, and an audio engine that
// records what it was asked. The engine is driven through them to check its
// frame (commands, thread, open and close) apart from real streams.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "video/engine/ports.h"

namespace fake {

// The byte position moves on the playback thread as pictures are decoded,
// while a tell from the caller's thread reads it: the real media layer
// answers that under its own lock. Copyable so a state can be reset whole.
class SharedPosition {
 public:
  SharedPosition(int32_t at = 0) : at_(at) {}
  SharedPosition(const SharedPosition &other) : at_(other.at_.load()) {}
  SharedPosition &operator=(const SharedPosition &other) {
    at_.store(other.at_.load());
    return *this;
  }
  SharedPosition &operator=(int32_t at) {
    at_.store(at);
    return *this;
  }
  SharedPosition &operator+=(int32_t n) {
    at_.fetch_add(n);
    return *this;
  }
  operator int32_t() const { return at_.load(); }

 private:
  std::atomic<int32_t> at_;
};

struct MediaState {
  int32_t probe_kind = 1;   // SysProbe verdict
  int32_t open_result = 7;  // SysOpen result (-1 = failure)
  int32_t total_length = 1 << 20;
  SharedPosition position;
  int32_t opens = 0;
  int32_t closes = 0;
  int32_t seeks = 0;
  int32_t stream_mix = 3;                              // CTL_STREAM_MIX
  int32_t plugin = 0;                                  // CTL_PLUGIN_ACTIVE
  std::vector<std::pair<int32_t, intptr_t>> controls;  // SysControl calls
  uint32_t last_open_start = 0;
  int32_t callbacks_run = 0;
};

struct AudioState {
  int32_t opens = 0;
  int32_t closes = 0;
  int32_t plays = 0;
  int32_t stops = 0;
  int32_t channel_mode = -1;
  int32_t rate_mode = -99;
  int32_t end_of_stream = 0;
  int32_t pause = 0;
  uint32_t volume = 0x80008000u;
  int32_t open_file_result = 9;
  int32_t flushes = 0;
  // Calls that wait for the sound's fill thread (flush, stop, close) while
  // a thread that takes engine_lock, as a fill calling back into the engine
  // does, could not get it within a bound: each would deadlock for real.
  int32_t flushes_under_engine_lock = 0;
  int32_t stops_under_engine_lock = 0;
  int32_t closes_under_engine_lock = 0;
};

struct DecoderState {
  std::vector<int32_t> pictures;  // coding types in stream order
  size_t next = 0;                // next picture to decode
  int32_t width = 352;
  int32_t height = 288;
  int32_t frame_rate_code = 3;
  int32_t current = -1;  // index of the picture shown
  int32_t resets = 0;
  int32_t restarts = 0;
  int32_t coefficient_limit = 0;
};

/// The calls that order matters for, in the order made (any thread):
/// "audio N" for AudioCommand N, "ctl N" for SysControl N, "refills" for
/// SysRunCallbacks.
class Trail {
 public:
  void add(std::string call);
  std::vector<std::string> calls() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

extern Trail trail;
extern MediaState media;
extern AudioState audio;
extern DecoderState decoder;

/// Resets the three states and installs the fake ports.
void install(size_t pictures = 50);
/// Restores the production ports.
void uninstall();

}  // namespace fake
