#include "tests/video/engine/fake_ports.h"

#include <algorithm>
#include <string>
#include <thread>
#include <utility>

#include "platform/lock.h"
#include "platform/wait_flag.h"
#include "video/engine/engine.h"

namespace fake {

Trail trail;
MediaState media;
AudioState audio;
DecoderState decoder;

namespace {

constexpr int32_t kPull = 16384;
uint8_t g_planes[3][352 * 288] = {};

// The real flush, stop and close wait for the sound's fill thread, whose
// reads may call back into the engine and take engine_lock. This stand-in
// waits (within a bound) for a thread that takes it; -> whether it could.
bool fill_thread_could_take_engine_lock() {
  constexpr uint32_t kBoundMs = 2000;
  platform::WaitFlag took;
  std::thread fill([&] {
    platform::Lock lock(kestrum::engine().engine_lock);
    took.set();
  });
  const bool ok = took.wait_set(kBoundMs);
  fill.join();  // takes the lock once the caller lets go
  return ok;
}

int32_t bytes_per_picture() {
  return decoder.pictures.empty() ? media.total_length
                                  : media.total_length / static_cast<int32_t>(decoder.pictures.size());
}

const kestrum::MediaPort kMedia = {
    [](const char *, int32_t *length) -> int32_t {
      if (length) *length = media.probe_kind >= 0 ? media.total_length : 0;
      return media.probe_kind;
    },
    [](const char *, uint32_t start) -> int32_t {
      media.last_open_start = start;
      if (media.open_result != -1) {
        ++media.opens;
        media.position = 0;
      }
      return media.open_result;
    },
    []() -> int32_t {
      ++media.closes;
      return 0;
    },
    [](int32_t pos, int32_t origin) -> int32_t {
      if (pos == 0 && origin == 1) return media.position;
      ++media.seeks;
      const int64_t target = origin == 0 ? pos : static_cast<int64_t>(media.position) + pos;
      media.position = static_cast<int32_t>(std::clamp<int64_t>(target, 0, media.total_length));
      // The fake decoder's pictures follow the byte position.
      decoder.next = static_cast<size_t>(media.position / std::max(1, bytes_per_picture()));
      return media.position;
    },
    [](int32_t which) -> int32_t { return which; },
    [](int32_t cmd, intptr_t param) -> intptr_t {
      media.controls.emplace_back(cmd, param);
      trail.add("ctl " + std::to_string(cmd));
      switch (cmd) {
        case CTL_STREAM_MIX:
          return media.stream_mix;
        case CTL_PLUGIN_ACTIVE: {
          // A plug-in without entries: it hands out no picture.
          static const SourcePluginTable kEmpty = {};
          static SourcePlugin no_pictures = {&kEmpty};
          return media.plugin ? reinterpret_cast<intptr_t>(&no_pictures) : 0;
        }
        case CTL_SOURCE_SIZE:
          return media.total_length;
        case CTL_SPU_TABLE:
          return 0x1234;
        default:
          return 0;
      }
    },
    [](void *, int32_t len) -> int32_t {
      const int32_t n = std::min(len, media.total_length - media.position);
      media.position += n;
      return n;
    },
    [](int32_t) -> int32_t {
      ++media.callbacks_run;
      trail.add("refills");
      return 0;
    },
};

const kestrum::AudioPort kAudio = {
    [](int32_t mode) { audio.channel_mode = mode; },
    [](void *) -> int32_t {
      ++audio.opens;
      return 1;
    },
    []() -> int32_t {
      ++audio.stops;
      if (!fill_thread_could_take_engine_lock()) ++audio.stops_under_engine_lock;
      return 1;
    },
    []() -> int32_t {
      ++audio.plays;
      return 1;
    },
    [](const char *) -> int32_t { return audio.open_file_result; },
    []() -> int32_t {
      ++audio.closes;
      if (!fill_thread_could_take_engine_lock()) ++audio.closes_under_engine_lock;
      return 1;
    },
    [](int32_t) -> int32_t { return 0; },
    []() {
      ++audio.flushes;
      if (!fill_thread_could_take_engine_lock()) ++audio.flushes_under_engine_lock;
    },
    []() {},
    [](int32_t on) -> int32_t {
      audio.pause = on;
      return 1;
    },
    []() -> uint32_t { return audio.volume; },
    [](uint32_t v) -> uint32_t {
      audio.volume = v;
      return v;
    },
    [](int32_t mode) { audio.rate_mode = mode; },
    [](int32_t hint) -> int32_t { return hint; },
    [](int32_t cmd, intptr_t arg) -> intptr_t {
      trail.add("audio " + std::to_string(cmd));
      switch (cmd) {
        case AUDIO_CMD_END_OF_STREAM:
          return audio.end_of_stream;
        case AUDIO_CMD_RATE_SUPPORTED:
          return arg == 44100 ? 1 : 0;
        case AUDIO_CMD_RATE_CHANNELS:
          return 2;
        default:
          return 0;
      }
    },
    []() -> int32_t { return 192 << 10; },
};

const kestrum::DecoderPort kDecoder = {
    []() {
      ++decoder.resets;
      decoder.next = 0;
      decoder.current = -1;
    },
    []() { ++decoder.restarts; },
    [](int32_t) -> int32_t {
      // The first picture is decoded at open.
      if (decoder.pictures.empty()) return 0;
      media.position = std::min(media.total_length, kPull);
      decoder.current = 0;
      decoder.next = 1;
      return 1;
    },
    []() -> int32_t {
      if (decoder.next >= decoder.pictures.size()) return 0;
      decoder.current = static_cast<int32_t>(decoder.next++);
      // Reading runs one pull ahead of the picture being decoded.
      const int64_t wanted = static_cast<int64_t>(decoder.next) * bytes_per_picture() + kPull;
      media.position = static_cast<int32_t>(std::min<int64_t>(wanted, media.total_length));
      return 1;
    },
    [](kestrum::StreamParams *p) {
      *p = kestrum::StreamParams{};
      p->horizontal_size = decoder.width;
      p->vertical_size = decoder.height;
      p->coded_width = (decoder.width + 15) & ~15;
      p->coded_height = (decoder.height + 15) & ~15;
      p->frame_rate_code = decoder.frame_rate_code;
      p->bit_rate_value = 2900;
      p->have_sequence = 1;
      p->picture_coding_type =
          decoder.current >= 0 ? decoder.pictures[static_cast<size_t>(decoder.current)] : 0;
    },
    [](KestrumPicture *out) -> int32_t {
      if (decoder.current < 0) return 0;
      *out = KestrumPicture{};
      out->y = g_planes[0];
      out->cb = g_planes[1];
      out->cr = g_planes[2];
      out->y_pitch = 352;
      out->c_pitch = 176;
      out->width = decoder.width;
      out->height = decoder.height;
      out->coded_width = 352;
      out->coded_height = 288;
      out->chroma_format = 1;
      out->picture_type = decoder.pictures[static_cast<size_t>(decoder.current)];
      return 1;
    },
    []() -> int32_t {
      return decoder.next >= decoder.pictures.size() && media.position >= media.total_length ? 1 : 0;
    },
    [](int32_t n) { decoder.coefficient_limit = n; },
    [](int32_t) {},
};

}  // namespace

void Trail::add(std::string call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<std::string> Trail::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void Trail::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

void install(size_t pictures) {
  trail.clear();
  media = MediaState{};
  audio = AudioState{};
  decoder = DecoderState{};
  static const int32_t kGop[] = {1, 3, 3, 2, 3, 3, 2, 3, 3, 2, 3, 3};
  for (size_t i = 0; i < pictures; ++i) decoder.pictures.push_back(kGop[i % 12]);
  kestrum::set_media_port(&kMedia);
  kestrum::set_audio_port(&kAudio);
  kestrum::set_decoder_port(&kDecoder);
}

void uninstall() {
  kestrum::set_media_port(nullptr);
  kestrum::set_audio_port(nullptr);
  kestrum::set_decoder_port(nullptr);
}

}  // namespace fake
