// Known signals and a recording device for the engine tests: a source kind
// whose blocks are a predictable sequence, and a device that keeps every
// byte written to it, so that tests can check that what played is exactly
// what was decoded, in order, with nothing lost or repeated.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "audio/engine.h"

namespace lunaret_test {

/// The value a counting source emits at sample index k (all channels
/// interleaved): never repeats within 2^16 values.
int16_t counting_value(int64_t k);

struct CountingSource {
  int32_t rate = 44100;
  int32_t channels = 2;
  int32_t frames_total = 50;  // frames before the end
  int32_t frames_done = 0;
  int64_t values_done = 0;  // samples emitted so far (all channels)
  bool impulses = false;    // silence with a click on the left every 9 frames
  int32_t fills = 0;

  /// Installs the source as the MPEG kind's operations.
  void install();
  static void uninstall();
};

CountingSource &counting_source();

/// A device driver that records what is written and otherwise behaves as
/// the untimed null device.
struct Recorder {
  std::mutex m;
  std::vector<int16_t> values;
  int writes = 0;
  void clear();
  int write_count();
  std::vector<int16_t> take();
};

Recorder &recorder();
extern const lunaret::AudioOutputDriver kRecordingDriver;

/// A device that keeps every written buffer until the test releases it,
/// so that the number of buffers at the device is the test's choice.
struct ManualDevice {
  std::mutex m;
  std::vector<AudioWaveHeader *> held;
  lunaret::DeviceDoneFn done = nullptr;
  void *context = nullptr;
  /// Returns the n oldest buffers through the done notification.
  void release(size_t n);
  size_t holding();
};

ManualDevice &manual_device();
extern const lunaret::AudioOutputDriver kManualDriver;

}  // namespace lunaret_test
