// The output device layer: one device object with the wave-device contract
// the engine was designed around (open with a format of 1 to 8 channels,
// prepare, write, done notifications, reset returning every written buffer,
// pause, restart, close, position as samples, milliseconds or bytes, volume).
//
// A driver is a const table of functions plus the size of its private
// state; the AudioDevice wrapper owns that state and adds the parts every
// driver shares (prepared flags, position conversions). Drivers sit in one
// list in priority order (output_drivers.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/audio_api.h"

namespace lunaret {

// Format tags the engine opens with.
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatAc3Spdif = 146;
constexpr uint16_t kFormatExtensible = 0xFFFE;

struct PcmFormat {
  uint16_t format_tag = kFormatPcm;
  uint16_t channels = 2;
  uint32_t rate = 44100;
  uint32_t avg_bytes_per_sec = 176400;
  uint16_t block_align = 4;
  uint16_t bits_per_sample = 16;
  uint32_t channel_mask = 0;  // extensible formats only
};

/// A plain PCM format of channels x bits at rate.
PcmFormat make_pcm_format(int channels, uint32_t rate, int bits);

// Results of device operations, with the wave-device error numbers.
enum DeviceResult : int {
  kDeviceOk = 0,
  kDeviceError = 1,
  kDeviceNotOpen = 5,
  kDeviceBadFormat = 32,
  kDeviceStillPlaying = 33,
  kDeviceUnprepared = 34,
};

// Position answer types (the MMTIME type codes).
enum class TimeType : uint32_t { ms = 1, samples = 2, bytes = 4 };

struct DevicePosition {
  TimeType type;
  uint32_t value;
};

/// Called once for every written buffer when the device is done with it,
/// with AUDIO_WHDR_DONE already set: after it has played, or from reset().
/// Runs on the driver's own thread, or on the thread calling reset(); never
/// with a device lock held, so it may call position() but must not call
/// reset(), close() or write() on the same device.
using DeviceDoneFn = void (*)(void *context, AudioWaveHeader *header);

struct AudioOutputDriver {
  const char *name;
  /// Bytes of private state the wrapper allocates (zeroed) per open device.
  size_t state_size;
  /// Whether open() would accept fmt. Any thread; opens nothing.
  bool (*query)(const PcmFormat &fmt);
  /// Starts the device in the running state at position 0. Returns a
  /// DeviceResult; on failure the state is left for the wrapper to free.
  int (*open)(void *state, const PcmFormat &fmt, DeviceDoneFn done, void *context);
  /// Only after every written buffer has returned (else kDeviceStillPlaying).
  int (*close)(void *state);
  /// Queues a prepared buffer of header->bytes_recorded bytes behind the
  /// others. The buffer belongs to the device until its done call.
  int (*write)(void *state, AudioWaveHeader *header);
  /// Stops playback, returns every written buffer through done (in write
  /// order) before it returns, and sets the position to 0.
  int (*reset)(void *state);
  /// Stops the position and the consumption of buffers.
  int (*pause)(void *state);
  /// Resumes after pause().
  int (*restart)(void *state);
  /// Bytes played since open or the last reset.
  uint64_t (*played_bytes)(void *state);
  uint32_t (*get_volume)(void *state);
  int (*set_volume)(void *state, uint32_t volume);
};

/// One open device. Not copyable; any thread may ask for its position while
/// one controlling thread drives it.
class AudioDevice {
 public:
  ~AudioDevice();
  AudioDevice(const AudioDevice &) = delete;
  AudioDevice &operator=(const AudioDevice &) = delete;

  /// Opens driver with fmt. Returns null and the error through result.
  static std::unique_ptr<AudioDevice> open(const AudioOutputDriver &driver, const PcmFormat &fmt,
                                           DeviceDoneFn done, void *context, int *result = nullptr);

  int prepare(AudioWaveHeader *header);
  int unprepare(AudioWaveHeader *header);
  int write(AudioWaveHeader *header);
  int reset();
  int pause();
  int restart();
  /// Closes the device (kDeviceStillPlaying while buffers are out).
  int close();
  /// Position in the type asked for (bytes, samples or milliseconds).
  DevicePosition position(TimeType type) const;
  uint32_t volume() const;
  int set_volume(uint32_t volume);
  const PcmFormat &format() const { return format_; }
  const AudioOutputDriver &driver() const { return driver_; }

 private:
  AudioDevice(const AudioOutputDriver &driver, const PcmFormat &fmt);

  const AudioOutputDriver &driver_;
  PcmFormat format_;
  std::unique_ptr<std::byte[]> state_;
  bool open_ = false;
};

// Driver list, in the order opening tries them.

/// The drivers compiled in, highest priority first; ends with a null entry.
const AudioOutputDriver *const *output_drivers();
/// The driver the engine opens: the one named by LUNARET_AUDIO_OUTPUT
/// (e.g. "sdl", "null", "null-untimed"), else the first in the list that
/// takes plain 16-bit stereo (SDL when it has a driver, else the null
/// device). Never null.
const AudioOutputDriver &default_output_driver();
/// Forces the driver the engine uses (tests); null restores the default.
void set_output_driver(const AudioOutputDriver *driver);

/// The sound card through SDL's audio layer: 1 to 8 channels, 8 or 16 bits,
/// volume applied as a gain. Its query fails when SDL has no audio driver.
extern const AudioOutputDriver kSdlOutputDriver;

/// A device that behaves like a sound card without one: it consumes
/// written buffers at the real-time rate of their format, reports the
/// position and returns buffers through the done notification.
extern const AudioOutputDriver kNullOutputDriver;
/// The same device consuming buffers as fast as they come (fast tests).
extern const AudioOutputDriver kNullUntimedOutputDriver;

}  // namespace lunaret
