// The null output device. It behaves like a sound card: written buffers
// are consumed in order at the real-time rate of the format (or at once in
// the untimed form), the position advances only while data plays and the
// device is not paused, and every buffer comes back through the done
// notification exactly once, from the device's own thread or from reset().
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "audio/output/audio_device.h"

namespace lunaret {

namespace {

using Clock = std::chrono::steady_clock;

// A wave device queues at most this many buffers; the engine keeps 40.
constexpr int kNullRingSize = 256;

struct NullDevice {
  std::mutex m;
  std::condition_variable cv;
  PcmFormat format;
  DeviceDoneFn done = nullptr;
  void *context = nullptr;
  bool untimed = false;

  AudioWaveHeader *ring[kNullRingSize] = {};
  int head = 0;
  int count = 0;

  bool paused = false;
  bool quit = false;
  int callbacks_running = 0;
  // Bumped by reset so that the worker forgets the buffer it was timing.
  uint64_t generation = 0;

  uint64_t played = 0;          // bytes of buffers fully consumed
  double consumed_current = 0;  // bytes of the front buffer consumed before segment_start
  bool timing = false;          // the front buffer is playing since segment_start
  Clock::time_point segment_start;

  uint32_t volume = 0xFFFFFFFFu;
  std::thread worker;

  double bytes_per_second() const { return static_cast<double>(format.avg_bytes_per_sec); }

  // Bytes of the front buffer consumed by now. Caller holds m.
  double front_consumed(Clock::time_point now) const {
    if (count == 0) return 0;
    double c = consumed_current;
    if (timing) c += std::chrono::duration<double>(now - segment_start).count() * bytes_per_second();
    double len = ring[head]->bytes_recorded;
    return c < len ? c : len;
  }

  void run() {
    std::unique_lock<std::mutex> lock(m);
    while (!quit) {
      if (paused || count == 0) {
        timing = false;
        cv.wait(lock);
        continue;
      }
      AudioWaveHeader *h = ring[head];
      if (!untimed) {
        double left = h->bytes_recorded - consumed_current;
        if (left > 0) {
          uint64_t gen = generation;
          segment_start = Clock::now();
          timing = true;
          auto deadline = segment_start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(left / bytes_per_second()));
          bool woken = cv.wait_until(lock, deadline, [&] { return quit || paused || generation != gen; });
          if (generation != gen) continue;
          consumed_current = front_consumed(Clock::now());
          timing = false;
          if (woken) continue;  // paused or closing: the rest of the buffer waits
          if (consumed_current + 0.5 < h->bytes_recorded) continue;
        }
      }
      // The front buffer has played.
      head = (head + 1) % kNullRingSize;
      --count;
      played += h->bytes_recorded;
      consumed_current = 0;
      h->flags |= AUDIO_WHDR_DONE;
      ++callbacks_running;
      lock.unlock();
      done(context, h);
      lock.lock();
      --callbacks_running;
      cv.notify_all();
    }
  }
};

NullDevice &dev(void *state) { return *static_cast<NullDevice *>(state); }

bool null_query(const PcmFormat &fmt) {
  // AC-3 bursts over S/PDIF: 2 channels of 16 bits at 48 kHz.
  if (fmt.format_tag == kFormatAc3Spdif)
    return fmt.channels == 2 && fmt.rate == 48000 && fmt.bits_per_sample == 16 && fmt.block_align == 4;
  // Plain PCM (or its extensible form) of 1 to 8 channels, 8 or 16 bits.
  if (fmt.format_tag != kFormatPcm && fmt.format_tag != kFormatExtensible) return false;
  if (fmt.channels < 1 || fmt.channels > 8) return false;
  if (fmt.bits_per_sample != 8 && fmt.bits_per_sample != 16) return false;
  if (fmt.rate < 4000 || fmt.rate > 192000) return false;
  return fmt.block_align == fmt.channels * fmt.bits_per_sample / 8;
}

int open_common(void *state, const PcmFormat &fmt, DeviceDoneFn done, void *context, bool untimed) {
  if (!null_query(fmt)) return kDeviceBadFormat;
  NullDevice *d = new (state) NullDevice();
  d->format = fmt;
  d->done = done;
  d->context = context;
  d->untimed = untimed;
  try {
    d->worker = std::thread([d] { d->run(); });
  } catch (...) {
    d->~NullDevice();
    return kDeviceError;
  }
  return kDeviceOk;
}

int null_open(void *state, const PcmFormat &fmt, DeviceDoneFn done, void *context) {
  return open_common(state, fmt, done, context, false);
}

int null_open_untimed(void *state, const PcmFormat &fmt, DeviceDoneFn done, void *context) {
  return open_common(state, fmt, done, context, true);
}

int null_close(void *state) {
  NullDevice &d = dev(state);
  {
    std::lock_guard<std::mutex> lock(d.m);
    if (d.count > 0 || d.callbacks_running > 0) return kDeviceStillPlaying;
    d.quit = true;
  }
  d.cv.notify_all();
  d.worker.join();
  d.~NullDevice();
  return kDeviceOk;
}

int null_write(void *state, AudioWaveHeader *h) {
  NullDevice &d = dev(state);
  {
    std::lock_guard<std::mutex> lock(d.m);
    if (d.count == kNullRingSize) return kDeviceError;
    for (int i = 0; i < d.count; ++i)
      if (d.ring[(d.head + i) % kNullRingSize] == h) return kDeviceError;  // already queued
    d.ring[(d.head + d.count) % kNullRingSize] = h;
    ++d.count;
  }
  d.cv.notify_all();
  return kDeviceOk;
}

int null_reset(void *state) {
  NullDevice &d = dev(state);
  AudioWaveHeader *returned[kNullRingSize];
  int n = 0;
  {
    std::unique_lock<std::mutex> lock(d.m);
    while (d.count > 0) {
      returned[n++] = d.ring[d.head];
      d.head = (d.head + 1) % kNullRingSize;
      --d.count;
    }
    d.head = 0;
    d.played = 0;
    d.consumed_current = 0;
    d.timing = false;
    ++d.generation;
    d.cv.notify_all();
  }
  for (int i = 0; i < n; ++i) {
    returned[i]->flags |= AUDIO_WHDR_DONE;
    d.done(d.context, returned[i]);
  }
  // A buffer the worker had already taken is returned by the worker; reset
  // is complete only when that call has finished too.
  std::unique_lock<std::mutex> lock(d.m);
  d.cv.wait(lock, [&] { return d.callbacks_running == 0; });
  d.played = 0;
  return kDeviceOk;
}

int null_pause(void *state) {
  NullDevice &d = dev(state);
  {
    std::lock_guard<std::mutex> lock(d.m);
    d.paused = true;
  }
  d.cv.notify_all();
  return kDeviceOk;
}

int null_restart(void *state) {
  NullDevice &d = dev(state);
  {
    std::lock_guard<std::mutex> lock(d.m);
    d.paused = false;
  }
  d.cv.notify_all();
  return kDeviceOk;
}

uint64_t null_played_bytes(void *state) {
  NullDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  return d.played + static_cast<uint64_t>(d.front_consumed(Clock::now()));
}

uint32_t null_get_volume(void *state) {
  NullDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  return d.volume;
}

int null_set_volume(void *state, uint32_t volume) {
  NullDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  d.volume = volume;
  return kDeviceOk;
}

}  // namespace

const AudioOutputDriver kNullOutputDriver = {
    "null",     sizeof(NullDevice), null_query,   null_open,         null_close,      null_write,
    null_reset, null_pause,         null_restart, null_played_bytes, null_get_volume, null_set_volume,
};

const AudioOutputDriver kNullUntimedOutputDriver = {
    "null-untimed", sizeof(NullDevice), null_query,   null_open_untimed, null_close,      null_write,
    null_reset,     null_pause,         null_restart, null_played_bytes, null_get_volume, null_set_volume,
};

}  // namespace lunaret
