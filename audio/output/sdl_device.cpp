// The sound-card device on SDL2's audio layer.
//
// SDL pulls sound through a callback on its own thread. The callback copies
// from the written buffers in order, applies the volume as a gain and hands
// a buffer back (done notification) as soon as its last byte has gone to
// SDL. The position is what the callbacks took, advanced smoothly across
// the chunk handed over last, so the clock follows what was really
// consumed, never what was merely queued.
//
// Pause and restart are kept in our own state (the callback plays silence
// and the position stands still) rather than through SDL's pause, because
// SDL's pause takes the lock the callback runs under, and the callback calls
// into the engine. Our own mutex is never held while SDL or the engine is
// called.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "audio/output/audio_device.h"
#include "platform/sdl_dynamic.h"

namespace lunaret {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSdlRingSize = 256;
constexpr uint32_t kFullVolume = 0xFFFFFFFFu;

// The audio subsystem is started once per process and never stopped: SDL
// counts subsystem users, so the video engine may start and stop its own
// without disturbing ours.
bool sdl_audio_ready() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = platform::sdl_loaded() && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0; });
  return ready;
}

// A callback period of roughly 20 ms, as a power of two in frames.
Uint16 period_frames(uint32_t rate) {
  uint32_t want = rate / 50;
  Uint16 frames = 256;
  while (frames < want && frames < 8192) frames = static_cast<Uint16>(frames * 2);
  return frames;
}

SDL_AudioSpec spec_for(const PcmFormat &fmt) {
  SDL_AudioSpec s{};
  s.freq = static_cast<int>(fmt.rate);
  s.format = fmt.bits_per_sample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  s.channels = static_cast<Uint8>(fmt.channels);
  s.samples = period_frames(fmt.rate);
  return s;
}

// The SDL output that takes AC-3 bursts unchanged (an S/PDIF output), by
// name; none unless the environment names one.
const char *spdif_device_name() {
  const char *name = std::getenv("LUNARET_SPDIF_DEVICE");
  return name && *name ? name : nullptr;
}

bool is_spdif(const PcmFormat &fmt) { return fmt.format_tag == kFormatAc3Spdif; }

// What the format itself allows, before SDL is asked.
bool plausible(const PcmFormat &fmt) {
  if (is_spdif(fmt))
    return fmt.channels == 2 && fmt.rate == 48000 && fmt.bits_per_sample == 16 && fmt.block_align == 4;
  if (fmt.format_tag != kFormatPcm && fmt.format_tag != kFormatExtensible) return false;
  if (fmt.channels < 1 || fmt.channels > 8) return false;
  if (fmt.bits_per_sample != 8 && fmt.bits_per_sample != 16) return false;
  if (fmt.rate < 4000 || fmt.rate > 192000) return false;
  return fmt.block_align == fmt.channels * fmt.bits_per_sample / 8;
}

// Gains in 1/65536 for each output channel from a volume word. Up to two
// channels the words act on left and right separately; more channels follow
// the louder word as an attenuation in hundredths of a decibel, the way a
// surround device's single volume does.
struct Gains {
  uint32_t channel[8];
  bool unity;
};

int32_t surround_millibels(uint32_t volume) {
  uint32_t louder = std::max(volume & 0xFFFFu, volume >> 16);
  return static_cast<int32_t>(louder * 10000u / 0xFFFFu) - 10000;
}

Gains gains_for(uint32_t volume, int channels) {
  Gains g{};
  if (channels <= 2) {
    uint32_t left = volume & 0xFFFFu, right = volume >> 16;
    g.channel[0] = left == 0xFFFFu ? 65536u : left;
    g.channel[1] = right == 0xFFFFu ? 65536u : right;
    if (channels == 1) g.channel[1] = g.channel[0];
  } else {
    int32_t mb = surround_millibels(volume);
    uint32_t q = mb >= 0 ? 65536u : static_cast<uint32_t>(std::lround(65536.0 * std::pow(10.0, mb / 2000.0)));
    for (uint32_t &c : g.channel) c = q;
  }
  g.unity = true;
  for (int c = 0; c < channels; ++c) g.unity = g.unity && g.channel[c] == 65536u;
  return g;
}

// WAVE speaker bits and SDL's fixed speaker order for each channel count.
constexpr uint16_t kFL = 0x1, kFR = 0x2, kFC = 0x4, kLFE = 0x8, kBL = 0x10, kBR = 0x20, kBC = 0x100,
                   kSL = 0x200, kSR = 0x400;
constexpr int kMaxChannels = 8;
constexpr uint16_t kSdlOrder[kMaxChannels + 1][kMaxChannels] = {
    {},
    {kFC},
    {kFL, kFR},
    {kFL, kFR, kLFE},
    {kFL, kFR, kBL, kBR},
    {kFL, kFR, kLFE, kBL, kBR},
    {kFL, kFR, kFC, kLFE, kSL, kSR},
    {kFL, kFR, kFC, kLFE, kBC, kSL, kSR},
    {kFL, kFR, kFC, kLFE, kBL, kBR, kSL, kSR},
};

// Where each channel of a positioned format goes on SDL's speakers: the
// smallest count holding all of its speakers; a back centre that no count
// holds with the rest is split over back left and right.
struct SpeakerMap {
  int out_channels = 0;  // 0: channels pass as they are
  int8_t to[kMaxChannels] = {};
  int8_t also[kMaxChannels] = {};  // second place of a split channel, else -1
};

int sdl_position(int count, uint16_t bit) {
  for (int i = 0; i < count; ++i)
    if (kSdlOrder[count][i] == bit) return i;
  return -1;
}

SpeakerMap speaker_map(const PcmFormat &fmt) {
  SpeakerMap m;
  const uint16_t mask = static_cast<uint16_t>(fmt.channel_mask);
  if (mask == 0 || fmt.bits_per_sample != 16) return m;
  uint16_t bits[kMaxChannels];
  int n = 0;
  for (uint16_t b = 1; b != 0 && n < fmt.channels; b = static_cast<uint16_t>(b << 1))
    if (mask & b) bits[n++] = b;
  if (n != fmt.channels) return m;
  for (int split = 0; split < 2; ++split) {
    for (int count = fmt.channels; count <= kMaxChannels; ++count) {
      bool fits = true;
      for (int i = 0; i < n && fits; ++i) {
        if (split && bits[i] == kBC)
          fits = sdl_position(count, kBL) >= 0 && sdl_position(count, kBR) >= 0;
        else
          fits = sdl_position(count, bits[i]) >= 0;
      }
      if (!fits) continue;
      for (int i = 0; i < n; ++i) {
        const bool halves = split && bits[i] == kBC && sdl_position(count, kBC) < 0;
        m.to[i] = static_cast<int8_t>(sdl_position(count, halves ? kBL : bits[i]));
        m.also[i] = static_cast<int8_t>(halves ? sdl_position(count, kBR) : -1);
      }
      bool identity = count == fmt.channels;
      for (int i = 0; i < n; ++i) identity = identity && m.to[i] == i && m.also[i] < 0;
      m.out_channels = identity ? 0 : count;
      return m;
    }
  }
  return m;
}

struct SdlDevice {
  std::mutex m;
  std::condition_variable cv;
  PcmFormat format;
  DeviceDoneFn done = nullptr;
  void *context = nullptr;
  SDL_AudioDeviceID id = 0;
  Uint8 silence = 0;

  AudioWaveHeader *ring[kSdlRingSize] = {};
  int head = 0;
  int count = 0;
  uint32_t front_offset = 0;  // bytes of the front buffer already taken

  bool paused = false;
  int callbacks_running = 0;  // done calls in progress outside the lock

  // Position: bytes taken by callbacks before the latest one, the bytes of
  // data the latest one took, and when it ran. The latest chunk counts as
  // playing out over the real time it lasts, whatever pace the driver
  // pulls at.
  uint64_t taken_before = 0;
  uint32_t last_chunk = 0;
  Clock::time_point last_callback;
  bool chunk_live = false;  // the last chunk is still being played out
  Clock::time_point paused_at;

  uint32_t volume = kFullVolume;
  Gains gains = gains_for(kFullVolume, 2);

  // Channels moved to SDL's speaker positions: the chunk is gathered here
  // first, then spread over the device's channels.
  SpeakerMap map;
  std::unique_ptr<Uint8[]> gather;
  uint32_t gather_bytes = 0;

  double bytes_per_second() const { return static_cast<double>(format.avg_bytes_per_sec); }

  // Caller holds m.
  uint64_t position(Clock::time_point now) const {
    if (!chunk_live) return taken_before + last_chunk;
    double secs = std::chrono::duration<double>((paused ? paused_at : now) - last_callback).count();
    double into = secs * bytes_per_second();
    uint32_t part = into >= last_chunk ? last_chunk : static_cast<uint32_t>(into);
    part -= part % format.block_align;
    return taken_before + part;
  }

  void apply_gain(Uint8 *dst, uint32_t bytes) const {
    if (gains.unity) return;
    int ch = format.channels;
    if (format.bits_per_sample == 16) {
      auto *s = reinterpret_cast<int16_t *>(dst);
      uint32_t n = bytes / 2;
      for (uint32_t i = 0; i < n; ++i)
        s[i] = static_cast<int16_t>(
            (static_cast<int32_t>(s[i]) * static_cast<int32_t>(gains.channel[i % ch])) >> 16);
    } else {
      for (uint32_t i = 0; i < bytes; ++i) {
        int32_t v = static_cast<int32_t>(dst[i]) - 128;
        dst[i] = static_cast<Uint8>(((v * static_cast<int32_t>(gains.channel[i % ch])) >> 16) + 128);
      }
    }
  }

  // Spreads `bytes` of gathered frames over the device's channels.
  void spread(Uint8 *stream, uint32_t bytes) const {
    const int in = format.channels, out = map.out_channels;
    const auto *src = reinterpret_cast<const int16_t *>(gather.get());
    auto *dst = reinterpret_cast<int16_t *>(stream);
    const uint32_t frames = bytes / (2u * static_cast<uint32_t>(in));
    for (uint32_t f = 0; f < frames; ++f) {
      const int16_t *s = src + f * in;
      int16_t *d = dst + f * out;
      for (int c = 0; c < in; ++c) {
        if (map.also[c] < 0) {
          d[map.to[c]] = s[c];
        } else {
          const int32_t half = s[c] / 2;
          d[map.to[c]] = static_cast<int16_t>(std::clamp<int32_t>(d[map.to[c]] + half, -32768, 32767));
          d[map.also[c]] = static_cast<int16_t>(std::clamp<int32_t>(d[map.also[c]] + half, -32768, 32767));
        }
      }
    }
  }

  void fill(Uint8 *stream, int len) {
    std::memset(stream, silence, static_cast<size_t>(len));
    Uint8 *target = stream;
    if (map.out_channels > 0) {
      const uint32_t frames = std::min<uint32_t>(static_cast<uint32_t>(len) / (2u * map.out_channels),
                                                 gather_bytes / format.block_align);
      len = static_cast<int>(frames * format.block_align);
      target = gather.get();
    }
    AudioWaveHeader *finished[kSdlRingSize];
    int n_finished = 0;
    {
      std::unique_lock<std::mutex> lock(m);
      // While paused the chunk in flight stays where the pause caught it.
      if (paused) return;
      Clock::time_point now = Clock::now();
      taken_before += last_chunk;
      last_chunk = 0;
      uint32_t want = static_cast<uint32_t>(len);
      uint32_t got = 0;
      while (got < want && count > 0) {
        AudioWaveHeader *h = ring[head];
        uint32_t left = h->bytes_recorded - front_offset;
        uint32_t take = std::min(left, want - got);
        std::memcpy(target + got, h->data + front_offset, take);
        got += take;
        front_offset += take;
        if (front_offset >= h->bytes_recorded) {
          head = (head + 1) % kSdlRingSize;
          --count;
          front_offset = 0;
          finished[n_finished++] = h;
        }
      }
      if (!is_spdif(format)) apply_gain(target, got);
      if (map.out_channels > 0) spread(stream, got);
      last_chunk = got;
      last_callback = now;
      chunk_live = got > 0;
      callbacks_running += n_finished > 0 ? 1 : 0;
    }
    if (n_finished == 0) return;
    for (int i = 0; i < n_finished; ++i) {
      finished[i]->flags |= AUDIO_WHDR_DONE;
      done(context, finished[i]);
    }
    std::lock_guard<std::mutex> lock(m);
    --callbacks_running;
    cv.notify_all();
  }
};

SdlDevice &dev(void *state) { return *static_cast<SdlDevice *>(state); }

void SDLCALL sdl_callback(void *userdata, Uint8 *stream, int len) {
  static_cast<SdlDevice *>(userdata)->fill(stream, len);
}

// What the output device offers, asked of SDL once: whether there is one,
// and how many channels it plays (0 = SDL does not say). Asking costs no
// open: a trial open of a real device takes tens of milliseconds and may
// click.
struct DeviceOffer {
  bool present = false;
  int channels = 0;
};

int listed_channels(int devices) {
  SDL_AudioSpec spec{};
  char *name = nullptr;
  const auto default_info = platform::sdl().SDL_GetDefaultAudioInfo;  // SDL 2.24 and later
  if (default_info && default_info(&name, &spec, 0) == 0) {
    SDL_free(name);
    if (spec.channels > 0) return spec.channels;
  }
  int most = 0;
  for (int i = 0; i < devices; ++i) {
    if (SDL_GetAudioDeviceSpec(i, 0, &spec) == 0) most = std::max(most, static_cast<int>(spec.channels));
  }
  return most;
}

DeviceOffer ask_device_offer() {
  DeviceOffer offer;
  const int devices = SDL_GetNumAudioDevices(0);
  if (devices >= 0) {
    offer.present = devices > 0;
  } else {
    // A driver that cannot list its devices: one open of the default in
    // plain stereo settles whether there is one.
    SDL_AudioSpec want = spec_for(make_pcm_format(2, 44100, 16));
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    offer.present = id != 0;
    if (id) SDL_CloseAudioDevice(id);
  }
  if (offer.present) offer.channels = listed_channels(devices);
  return offer;
}

const DeviceOffer &device_offer() {
  static std::once_flag once;
  static DeviceOffer offer;
  std::call_once(once, [] { offer = ask_device_offer(); });
  return offer;
}

// SDL converts any plausible format to what the device takes, so a format
// is usable when there is a device; more than two channels only when the
// device plays that many (or does not say how many it plays).
bool sdl_query(const PcmFormat &fmt) {
  if (!plausible(fmt) || !sdl_audio_ready()) return false;
  // Bursts only to an output named for them; SDL may not convert them.
  if (is_spdif(fmt)) return spdif_device_name() != nullptr;
  const DeviceOffer &offer = device_offer();
  if (!offer.present) return false;
  // A positioned format may need more of SDL's channels than it has.
  const int channels = std::max<int>(fmt.channels, speaker_map(fmt).out_channels);
  return channels <= 2 || offer.channels == 0 || channels <= offer.channels;
}

int sdl_open(void *state, const PcmFormat &fmt, DeviceDoneFn done, void *context) {
  if (!plausible(fmt) || !sdl_audio_ready()) return kDeviceBadFormat;
  SdlDevice *d = new (state) SdlDevice();
  d->format = fmt;
  d->done = done;
  d->context = context;
  d->gains = gains_for(kFullVolume, fmt.channels);
  SDL_AudioSpec want = spec_for(fmt);
  want.callback = sdl_callback;
  want.userdata = d;
  const char *name = nullptr;
  if (is_spdif(fmt)) {
    name = spdif_device_name();
    if (!name) {
      d->~SdlDevice();
      return kDeviceBadFormat;
    }
  } else {
    d->map = speaker_map(fmt);
    if (d->map.out_channels > 0) {
      want.channels = static_cast<Uint8>(d->map.out_channels);
      d->gather_bytes = static_cast<uint32_t>(want.samples) * fmt.block_align;
      d->gather.reset(new (std::nothrow) Uint8[d->gather_bytes]);
      if (!d->gather) {
        d->~SdlDevice();
        return kDeviceError;
      }
    }
  }
  SDL_AudioSpec have{};
  // No allowed changes: SDL converts to whatever the hardware takes, so the
  // bytes we hand over are exactly the format the engine chose.
  d->id = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
  if (d->id == 0) {
    d->~SdlDevice();
    return kDeviceBadFormat;
  }
  d->silence = have.silence;
  SDL_PauseAudioDevice(d->id, 0);
  return kDeviceOk;
}

int sdl_close(void *state) {
  SdlDevice &d = dev(state);
  {
    std::lock_guard<std::mutex> lock(d.m);
    if (d.count > 0 || d.callbacks_running > 0) return kDeviceStillPlaying;
  }
  // Waits for the callback thread to end; our mutex is free, so it can.
  SDL_CloseAudioDevice(d.id);
  d.~SdlDevice();
  return kDeviceOk;
}

int sdl_write(void *state, AudioWaveHeader *h) {
  SdlDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  if (d.count == kSdlRingSize) return kDeviceError;
  for (int i = 0; i < d.count; ++i)
    if (d.ring[(d.head + i) % kSdlRingSize] == h) return kDeviceError;  // already queued
  d.ring[(d.head + d.count) % kSdlRingSize] = h;
  ++d.count;
  return kDeviceOk;
}

int sdl_reset(void *state) {
  SdlDevice &d = dev(state);
  AudioWaveHeader *returned[kSdlRingSize];
  int n = 0;
  bool was_paused;
  {
    std::lock_guard<std::mutex> lock(d.m);
    was_paused = d.paused;
    while (d.count > 0) {
      returned[n++] = d.ring[d.head];
      d.head = (d.head + 1) % kSdlRingSize;
      --d.count;
    }
    d.head = 0;
    d.front_offset = 0;
    // Nothing plays while the buffers go back; the pause state the caller
    // set is restored afterwards.
    d.paused = true;
    d.paused_at = Clock::now();
  }
  for (int i = 0; i < n; ++i) {
    returned[i]->flags |= AUDIO_WHDR_DONE;
    d.done(d.context, returned[i]);
  }
  // Buffers the callback had already finished are returned by the
  // callback; reset is complete only when those calls have ended too.
  std::unique_lock<std::mutex> lock(d.m);
  d.cv.wait(lock, [&] { return d.callbacks_running == 0; });
  d.taken_before = 0;
  d.last_chunk = 0;
  d.chunk_live = false;
  d.paused = was_paused;
  d.paused_at = Clock::now();
  return kDeviceOk;
}

int sdl_pause(void *state) {
  SdlDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  if (!d.paused) {
    d.paused = true;
    d.paused_at = Clock::now();
  }
  return kDeviceOk;
}

int sdl_restart(void *state) {
  SdlDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  if (d.paused) {
    // The chunk in flight resumes where it stood.
    d.last_callback += Clock::now() - d.paused_at;
    d.paused = false;
  }
  return kDeviceOk;
}

uint64_t sdl_played_bytes(void *state) {
  SdlDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  return d.position(Clock::now());
}

uint32_t sdl_get_volume(void *state) {
  SdlDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  if (d.format.channels <= 2) return d.volume;
  uint32_t v = static_cast<uint32_t>(surround_millibels(d.volume) + 10000) * 0xFFFFu / 10000u;
  return v | (v << 16);
}

int sdl_set_volume(void *state, uint32_t volume) {
  SdlDevice &d = dev(state);
  std::lock_guard<std::mutex> lock(d.m);
  d.volume = volume;
  d.gains = gains_for(volume, d.format.channels);
  return kDeviceOk;
}

}  // namespace

const AudioOutputDriver kSdlOutputDriver = {
    "sdl",     sizeof(SdlDevice), sdl_query,   sdl_open,         sdl_close,      sdl_write,
    sdl_reset, sdl_pause,         sdl_restart, sdl_played_bytes, sdl_get_volume, sdl_set_volume,
};

}  // namespace lunaret
