// The parts of the device contract every driver shares: prepared flags,
// argument checks and the position conversions.
#include "audio/output/audio_device.h"

#include <cstring>
#include <new>

namespace lunaret {

PcmFormat make_pcm_format(int channels, uint32_t rate, int bits) {
  PcmFormat f;
  f.format_tag = kFormatPcm;
  f.channels = static_cast<uint16_t>(channels);
  f.rate = rate;
  f.bits_per_sample = static_cast<uint16_t>(bits);
  f.block_align = static_cast<uint16_t>(channels * bits / 8);
  f.avg_bytes_per_sec = rate * f.block_align;
  return f;
}

AudioDevice::AudioDevice(const AudioOutputDriver &driver, const PcmFormat &fmt)
    : driver_(driver), format_(fmt) {}

AudioDevice::~AudioDevice() {
  if (open_) {
    driver_.reset(state_.get());
    driver_.close(state_.get());
  }
}

std::unique_ptr<AudioDevice> AudioDevice::open(const AudioOutputDriver &driver, const PcmFormat &fmt,
                                               DeviceDoneFn done, void *context, int *result) {
  auto fail = [&](int r) {
    if (result) *result = r;
    return std::unique_ptr<AudioDevice>();
  };
  if (fmt.channels < 1 || fmt.channels > 8 || fmt.rate == 0 || fmt.block_align == 0 || !done)
    return fail(kDeviceBadFormat);
  std::unique_ptr<AudioDevice> dev(new (std::nothrow) AudioDevice(driver, fmt));
  if (!dev) return fail(kDeviceError);
  dev->state_.reset(new (std::nothrow) std::byte[driver.state_size ? driver.state_size : 1]());
  if (!dev->state_) return fail(kDeviceError);
  int r = driver.open(dev->state_.get(), fmt, done, context);
  if (r != kDeviceOk) return fail(r);
  dev->open_ = true;
  if (result) *result = kDeviceOk;
  return dev;
}

int AudioDevice::prepare(AudioWaveHeader *header) {
  if (!header || !header->data) return kDeviceError;
  header->flags = (header->flags & ~AUDIO_WHDR_DONE) | AUDIO_WHDR_PREPARED;
  return kDeviceOk;
}

int AudioDevice::unprepare(AudioWaveHeader *header) {
  if (!header) return kDeviceError;
  header->flags &= ~AUDIO_WHDR_PREPARED;
  return kDeviceOk;
}

int AudioDevice::write(AudioWaveHeader *header) {
  if (!open_) return kDeviceNotOpen;
  if (!header || !header->data) return kDeviceError;
  if (!(header->flags & AUDIO_WHDR_PREPARED)) return kDeviceUnprepared;
  if (header->bytes_recorded > header->buffer_length) return kDeviceError;
  header->flags &= ~AUDIO_WHDR_DONE;
  return driver_.write(state_.get(), header);
}

int AudioDevice::reset() { return open_ ? driver_.reset(state_.get()) : kDeviceNotOpen; }
int AudioDevice::pause() { return open_ ? driver_.pause(state_.get()) : kDeviceNotOpen; }
int AudioDevice::restart() { return open_ ? driver_.restart(state_.get()) : kDeviceNotOpen; }

int AudioDevice::close() {
  if (!open_) return kDeviceNotOpen;
  int r = driver_.close(state_.get());
  if (r == kDeviceOk) open_ = false;
  return r;
}

DevicePosition AudioDevice::position(TimeType type) const {
  uint64_t bytes = open_ ? driver_.played_bytes(state_.get()) : 0;
  uint64_t samples = bytes / format_.block_align;
  switch (type) {
    case TimeType::ms:
      return {TimeType::ms, static_cast<uint32_t>(samples * 1000 / format_.rate)};
    case TimeType::samples:
      return {TimeType::samples, static_cast<uint32_t>(samples)};
    case TimeType::bytes:
      break;
  }
  return {TimeType::bytes, static_cast<uint32_t>(bytes)};
}

uint32_t AudioDevice::volume() const { return open_ ? driver_.get_volume(state_.get()) : 0; }

int AudioDevice::set_volume(uint32_t volume) {
  return open_ ? driver_.set_volume(state_.get(), volume) : kDeviceNotOpen;
}

}  // namespace lunaret
