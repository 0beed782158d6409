// Between a filled buffer and the device: the output format, opening and
// closing the device, start of output, the clock, volume and the scope tap.
#include <algorithm>

#include "audio/engine.h"
#include "audio/media_link.h"

namespace lunaret {

namespace {

bool query(const PcmFormat &f) { return default_output_driver().query(f); }

void no_done(void *, AudioWaveHeader *) {}

// A device opened only for a volume call.
std::unique_ptr<AudioDevice> temporary_device(Engine &e) {
  PcmFormat f = e.out.valid ? e.out.pcm : make_pcm_format(2, 44100, 16);
  auto dev = AudioDevice::open(default_output_driver(), f, no_done, nullptr);
  if (dev && e.volume_set) dev->set_volume(e.volume);
  return dev;
}

}  // namespace

bool open_device(Engine &e) {
  if (e.device) return true;
  if (!fit_output_to_device(e)) return false;
  auto dev = AudioDevice::open(default_output_driver(), e.out.pcm, device_done, &e);
  if (!dev) return false;
  if (e.volume_set) dev->set_volume(e.volume);
  equaliser_create(e);
  {
    std::lock_guard<std::mutex> lock(e.device_mutex);
    e.device = std::move(dev);
  }
  e.last_stall_position = -1;
  return true;
}

void close_device(Engine &e) {
  push_output_stopping(e);
  std::unique_ptr<AudioDevice> dev;
  {
    std::lock_guard<std::mutex> lock(e.device_mutex);
    dev = std::move(e.device);
  }
  if (!dev) return;
  dev->reset();
  for (auto &h : e.headers) dev->unprepare(&h);
  dev->close();
  equaliser_destroy(e);
  forget_buffers(e);
}

int32_t start_output(Engine &e) {
  if (!e.opened || !e.device_usable) return 0;
  const MediaLink &m = media();
  m.flush(DRAVIK_FLUSH_QUEUE);
  if (!e.device) {
    if (!open_device(e)) return 0;
    int prepared = 0;
    uint32_t length = e.passthrough ? kSpdifBlockBytes : kSlotBytes;
    for (auto &h : e.headers) {
      h.buffer_length = length;
      h.flags = 0;
      if (e.device->prepare(&h) == kDeviceOk) ++prepared;
    }
    if (prepared == 0) {
      close_device(e);
      return 0;
    }
  }
  forget_buffers(e);
  {
    platform::Lock lock(e.queue_lock);
    e.ring = PlaybackRing{};
  }
  e.written = 0;
  e.queue_limit = e.queue_cap.load();
  e.stopping = false;
  m.flush(DRAVIK_FLUSH_QUEUE);
  queue_all_buffers(e);
  push_output_started(e);
  return 1;
}

int32_t get_play_time(Engine &e) {
  std::lock_guard<std::mutex> lock(e.device_mutex);
  if (!e.device) return -1;
  DevicePosition p = e.device->position(TimeType::samples);
  switch (p.type) {
    case TimeType::ms:
      return static_cast<int32_t>(p.value);
    case TimeType::samples:
      return static_cast<int32_t>(static_cast<float>(p.value) * e.out.ms_per_sample);
    case TimeType::bytes:
      return static_cast<int32_t>(static_cast<float>(p.value) * e.out.ms_per_byte);
  }
  return static_cast<int32_t>(p.type);
}

uint32_t get_volume(Engine &e) {
  if (e.device) return e.device->volume();
  auto dev = temporary_device(e);
  if (!dev) return 0x80008000u;
  uint32_t v = dev->volume();
  dev->close();
  return v;
}

uint32_t set_volume(Engine &e, uint32_t volume) {
  uint32_t before;
  if (e.device) {
    before = e.device->volume();
    e.device->set_volume(volume);
  } else {
    auto dev = temporary_device(e);
    if (!dev) return volume;
    before = dev->volume();
    dev->set_volume(volume);
    dev->close();
  }
  e.volume_set = true;
  e.volume = volume;
  return before;
}

int32_t device_usable() {
  for (uint32_t rate : {22050u, 44100u})
    for (int channels : {1, 2})
      for (int bits : {8, 16})
        if (query(make_pcm_format(channels, rate, bits))) return 1;
  return 0;
}

int32_t rate_supported(int32_t rate) {
  if (rate != 22050 && rate != 44100) return 0;
  for (int channels : {1, 2})
    for (int bits : {8, 16})
      if (query(make_pcm_format(channels, static_cast<uint32_t>(rate), bits))) return 1;
  return 0;
}

int32_t rate_channels(int32_t rate) {
  if (rate != 22050 && rate != 44100) return 0;
  for (int bits : {8, 16})
    if (query(make_pcm_format(2, static_cast<uint32_t>(rate), bits))) return 2;
  for (int bits : {8, 16})
    if (query(make_pcm_format(1, static_cast<uint32_t>(rate), bits))) return 1;
  return 0;
}

int32_t get_scope(Engine &e, AudioScopePair *out, int32_t count) {
  if (!out || count <= 0) return 0;
  std::fill(out, out + count, AudioScopePair{0, 0});
  if (!e.device || !e.out.valid || e.out.bytes_per_sample != 2) return 0;
  int64_t samples = e.device->position(TimeType::samples).value;
  platform::Lock lock(e.queue_lock);
  int slot = e.ring.played_index;
  int64_t offset = e.out.pcm.channels * samples * 2 - e.ring.bytes_played;
  if (offset < 0) offset = 0;
  AudioWaveHeader *h = e.ring.slot[slot];
  if (h && offset >= h->bytes_recorded) {
    slot = (slot + 1) % kBufferCount;
    offset = 0;
    h = e.ring.slot[slot];
  }
  if (!h) return 0;
  // Front left and right of any layout; mono gives its one value twice.
  const int32_t channels = e.out.pcm.channels;
  int32_t index = static_cast<int32_t>(offset / (2 * channels));
  for (int32_t k = 0; k < count; ++k) {
    int32_t frames = static_cast<int32_t>(h->bytes_recorded / (2 * channels));
    if (index >= frames) {
      slot = (slot + 1) % kBufferCount;
      h = e.ring.slot[slot];
      index = 0;
      if (!h || h->bytes_recorded == 0) break;
    }
    const auto *pcm = reinterpret_cast<const int16_t *>(h->data);
    const int16_t *frame = pcm + static_cast<ptrdiff_t>(index) * channels;
    out[k] = {frame[0], channels >= 2 ? frame[1] : frame[0]};
    ++index;
  }
  return index;
}

}  // namespace lunaret
