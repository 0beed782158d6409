// The engine's global state, its one thread and the buffer flow between
// the fill queue, the media layer's callback queue and the device.
//
// A header is always in exactly one place: idle (owned by nobody), queued
// (in the fill queue), or at the device. `Engine::where` records it under
// `queue_lock`, so a header can never be queued twice or written while the
// device still holds it, whatever order the callbacks arrive in.
#include "audio/engine.h"

#include <new>
#include <thread>

#include "audio/media_link.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace lunaret {

struct Engine::ThreadState {
  std::thread thread;
  std::atomic<bool> quit{false};
};

Engine::Engine()
    : pcm_area(static_cast<int16_t *>(
          std::calloc(static_cast<size_t>(kBufferCount) * kSlotValues, sizeof(int16_t)))),
      place_scratch(new int16_t[kSlotValues]()) {
  if (!pcm_area) throw std::bad_alloc();
  for (int i = 0; i < kBufferCount; ++i) {
    headers[i].data = reinterpret_cast<char *>(slot(i));
    headers[i].buffer_length = kSlotBytes;
    headers[i].user = static_cast<uintptr_t>(i);
  }
  init_sources();
  start_thread();
}

Engine::~Engine() {
  stopping = true;
  stop_thread();
  if (device) {
    device->reset();
    device->close();
    device.reset();
  }
}

int Engine::header_index(const AudioWaveHeader *h) const {
  if (h < headers.data() || h >= headers.data() + kBufferCount) return -1;
  return static_cast<int>(h - headers.data());
}

void Engine::start_thread() {
  if (thread_) return;
  thread_ = std::make_unique<ThreadState>();
  thread_->thread = std::thread([this] {
    platform::set_current_thread_priority(platform::ThreadPriority::highest);
    thread_main();
  });
}

void Engine::stop_thread() {
  if (!thread_) return;
  thread_->quit = true;
  wake.set();
  if (thread_->thread.joinable()) thread_->thread.join();
  thread_.reset();
}

Engine &engine() {
  static Engine e;
  return e;
}

namespace {

void requeue_through_media(Engine &e, AudioWaveHeader *h, int i) {
  {
    platform::Lock lock(e.queue_lock);
    e.where[i] = Engine::Where::idle;
  }
  media().queue_callback(buffer_ready, h);
}

void drop_header(Engine &e, int i) {
  platform::Lock lock(e.queue_lock);
  e.where[i] = Engine::Where::idle;
}

}  // namespace

void Engine::thread_main() {
  for (;;) {
    busy.clear();
    starving = false;
    progress.bump();
    wake.wait();
    if (thread_->quit) return;
    if (stopping) continue;

    for (;;) {
      AudioWaveHeader *h = nullptr;
      int i = -1;
      {
        platform::Lock lock(queue_lock);
        if (fill_read == fill_write || at_device >= queue_limit.load()) break;
        if (stopping) {
          // Callers are changing state: what waits here is stale.
          while (fill_read != fill_write) {
            int k = header_index(fill_queue[fill_read]);
            if (k >= 0) where[k] = Where::idle;
            fill_read = (fill_read + 1) % kFillQueueSize;
          }
          break;
        }
        h = fill_queue[fill_read];
        fill_read = (fill_read + 1) % kFillQueueSize;
        i = header_index(h);
      }
      if (i < 0) continue;

      // Announce the fill, then look at `stopping` again: a caller that set
      // it either sees busy here and waits, or is seen by this check.
      busy.set();
      if (stopping) {
        drop_header(*this, i);
        busy.clear();
        break;
      }
      if (end_of_stream) {
        // Nothing more to play: the device drains what it holds.
        drop_header(*this, i);
        busy.clear();
        continue;
      }
      if (media().reserved42() != 0) {
        requeue_through_media(*this, h, i);
        busy.clear();
        continue;
      }
      if (!in_fill.try_set()) {
        // A synchronous decode owns the decoder right now.
        requeue_through_media(*this, h, i);
        busy.clear();
        continue;
      }
      FillResult r = decode_block(*this, slot(i));
      if (!r.ok) end_of_stream = true;
      if (r.values <= 0 || stopping || !device) {
        drop_header(*this, i);
        in_fill.clear();
        busy.clear();
        continue;
      }
      h->bytes_recorded = static_cast<uint32_t>(r.values * out.bytes_per_sample);
      h->flags = AUDIO_WHDR_PREPARED;
      // AC-3 bursts pass untouched.
      if (out.bytes_per_sample == 2 && !out.spdif) equalise_block(*this, slot(i), r.values);
      {
        platform::Lock lock(queue_lock);
        where[i] = Where::at_device;
        ++at_device;
        ring.slot[ring.write_index] = h;
        ring.write_index = (ring.write_index + 1) % kBufferCount;
        ring.bytes_written += h->bytes_recorded;
      }
      if (device->write(h) != kDeviceOk) {
        platform::Lock lock(queue_lock);
        where[i] = Where::idle;
        --at_device;
      }
      if (written < queue_cap) ++written;
      in_fill.clear();

      // The device runs low: allow a deeper queue and let readers wait for
      // the fill in progress (AudioWaitRead).
      int32_t cap = queue_cap;
      if (written >= cap && at_device < cap / 2) {
        int32_t limit = queue_limit + 2;
        queue_limit = limit > kQueueMax ? kQueueMax : limit;
        starving = true;
      }
      if (queue_limit / 2 < at_device) {
        starving = false;
        platform::sleep_ms(0);
      }
      busy.clear();
    }
  }
}

void buffer_ready(void *item) {
  Engine &e = engine();
  auto *h = static_cast<AudioWaveHeader *>(item);
  int i = e.header_index(h);
  if (i < 0 || e.stopping) return;
  {
    platform::Lock lock(e.queue_lock);
    if (e.where[i] != Engine::Where::idle) return;
    e.where[i] = Engine::Where::queued;
    e.fill_queue[e.fill_write] = h;
    e.fill_write = (e.fill_write + 1) % kFillQueueSize;
  }
  e.wake.set();
}

void device_done(void *context, AudioWaveHeader *h) {
  Engine &e = *static_cast<Engine *>(context);
  int i = e.header_index(h);
  if (i < 0) return;
  platform::Lock lock(e.queue_lock);
  if (e.where[i] != Engine::Where::at_device) return;
  --e.at_device;
  e.ring.played_index = (e.ring.played_index + 1) % kBufferCount;
  e.ring.bytes_played += h->bytes_recorded;
  if (e.stopping) {
    // Returned by a reset while callers change state: not recycled.
    e.where[i] = Engine::Where::idle;
  } else {
    e.where[i] = Engine::Where::queued;
    e.fill_queue[e.fill_write] = h;
    e.fill_write = (e.fill_write + 1) % kFillQueueSize;
    e.wake.set();
  }
  e.progress.bump();
}

bool flow_settled(Engine &e) {
  platform::Lock lock(e.queue_lock);
  return e.at_device == 0 && !e.busy && e.fill_read == e.fill_write;
}

void quiesce(Engine &e) {
  e.wake.reset();
  // The fill in progress ends by itself (its reads come from the media
  // layer's rings or a file); the caller sleeps until it does. Rounds of a
  // bound, so that a stuck fill shows as a pause rather than a busy loop.
  while (!e.busy.wait_clear(kQuiesceRoundMs)) {
  }
}

void forget_buffers(Engine &e) {
  platform::Lock lock(e.queue_lock);
  for (int k = 0; k < kBufferCount; ++k)
    if (e.where[k] == Engine::Where::queued) e.where[k] = Engine::Where::idle;
  // The read index belongs to the thread, which is quiesced here.
  e.fill_read = e.fill_write;
}

void queue_all_buffers(Engine &e) {
  for (int k = 0; k < kBufferCount; ++k) {
    bool idle;
    {
      platform::Lock lock(e.queue_lock);
      idle = e.where[k] == Engine::Where::idle;
    }
    if (idle) media().queue_callback(buffer_ready, &e.headers[k]);
  }
}

SourceKind decide_kind(Engine &e) {
  const MediaLink &m = media();
  if (m.control(CTL_PLUGIN_ACTIVE, 0) != 0) {
    e.stream_id = 0;
    return SourceKind::push_pcm;
  }
  if (e.source_tag == AUDIO_TAG_AVI) {
    e.stream_id = 0;
    return SourceKind::avi_audio;
  }
  // A bare audio file is never demultiplexed, so the media layer sees no
  // stream ids in it: its kind comes from its header word alone.
  if (!e.audio_file && m.control(CTL_AUDIO_COUNT, 0) == 0) {
    e.stream_id = -1;
    return SourceKind::no_audio;
  }
  SourceKind kind = SourceKind::mpeg_audio;
  int32_t id = static_cast<int32_t>(m.control(CTL_AUDIO_CURRENT, 0));
  e.stream_id = id;
  if (id >= 0x80 && id <= 0x87)
    kind = SourceKind::ac3;
  else if (id >= 0xA0 && id <= 0xA7)
    kind = SourceKind::lpcm;
  if (e.audio_file && e.sync_word == 0x0B77) kind = SourceKind::ac3;
  return kind;
}

}  // namespace lunaret
