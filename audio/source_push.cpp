// The pushed-PCM kind: a source plug-in that serves sound pushes PCM from
// its own thread into the push queue; the engine's fills take it from
// there. The plug-in is started and stopped with the output, and reads the
// engine's clock through the function registered with it.
#include "audio/source_push.h"

#include <atomic>

#include "audio/decode/pcm_modes.h"
#include "audio/engine.h"
#include "audio/media_link.h"

namespace lunaret {

namespace {

struct PushSource {
  SourcePlugin *plugin = nullptr;
  PushFormat format;
  PushQueue queue;
  std::atomic<bool> running{false};
  // Keeps the clock going across device restarts (pause, mode changes).
  std::atomic<int32_t> clock_offset{0};
  std::atomic<uint32_t> step_ms{kPushWaitStepMs};
};

PushSource &source() {
  static PushSource s;
  return s;
}

// The table of a plug-in that pushes sound; older video-only plug-ins end
// their table before the push entries, so only one that says it has audio
// is asked for them.
const SourcePluginTable *push_table(SourcePlugin *p) {
  if (!p || !p->table) return nullptr;
  const SourcePluginTable *t = p->table;
  if (!t->has_audio || !t->has_audio(p)) return nullptr;
  if (!t->push_format || !t->push_register) return nullptr;
  return t;
}

void start_plugin(PushSource &s) {
  if (!s.plugin || s.running.exchange(true)) return;
  if (s.plugin->table->push_start) s.plugin->table->push_start(s.plugin);
}

void stop_plugin(PushSource &s) {
  if (!s.plugin || !s.running.exchange(false)) return;
  if (s.plugin->table->push_stop) s.plugin->table->push_stop(s.plugin);
}

bool plugin_ended(const PushSource &s) {
  return s.plugin->table->push_ended && s.plugin->table->push_ended(s.plugin) != 0;
}

int32_t clock_ms(Engine &e) {
  const int32_t position = get_play_time(e);
  return (position < 0 ? 0 : position) + source().clock_offset.load();
}

// Called by the plug-in on its own thread.
void on_push(void *, const void *data, int32_t length, int32_t flag) {
  PushSource &s = source();
  if (flag == DRAVIK_PUSH_RESET) {
    s.queue.clear();
    s.clock_offset = 0;
    return;
  }
  const int32_t queued = s.queue.push(data, length);
  // A plug-in source carries nothing through the media layer, so its
  // callback queue is run here: one waiting buffer per queued block.
  for (int32_t i = 0; i < queued; ++i) {
    auto *item = reinterpret_cast<void *>(media().control(CTL_QUEUE_TAKE, 0));
    if (!item) break;
    buffer_ready(item);
  }
}

int32_t on_clock(void *context, int32_t *queued) {
  if (queued) *queued = source().queue.queued();
  return clock_ms(*static_cast<Engine *>(context));
}

void detach(PushSource &s) {
  stop_plugin(s);
  s.queue.set_accepting(false);
  s.queue.clear();
  s.plugin = nullptr;
}

bool push_open(Engine &e) {
  PushSource &s = source();
  detach(s);
  auto *p = reinterpret_cast<SourcePlugin *>(media().control(CTL_PLUGIN_ACTIVE, 0));
  const SourcePluginTable *t = push_table(p);
  if (!t) return false;
  PushFormat f;
  if (!t->push_format(p, &f.rate, &f.bits, &f.channels) || !f.valid()) return false;
  s.plugin = p;
  s.format = f;
  s.clock_offset = 0;
  s.queue.configure(f);
  s.queue.set_accepting(true);
  t->push_register(p, on_push, on_clock, &e);
  return true;
}

bool push_prepare(Engine &, SourceFormat &f) {
  const PushSource &s = source();
  if (!s.plugin) return false;
  f.layer = 0;
  f.rate = s.format.rate;
  f.channels = s.format.channels;
  f.block_channels = s.format.out_channels();
  f.bits = 16;
  f.bit_rate = 0;
  return true;
}

FillResult push_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t) {
  PushSource &s = source();
  if (!s.plugin) {
    e.input_ended = true;
    return {0, false};
  }
  // A caller pulling PCM without output (a converter) needs the pushes too.
  start_plugin(s);
  for (;;) {
    // The end is asked first: whatever the plug-in pushed before it ended
    // is queued by then.
    if (plugin_ended(s) && s.queue.queued() == 0) {
      e.input_ended = true;
      return {0, false};
    }
    const PushQueue::Wait w = s.queue.wait(e.stopping, s.step_ms.load());
    if (w == PushQueue::Wait::ready) break;
    // A caller changes state: this fill gives nothing, the stream goes on.
    if (w == PushQueue::Wait::stopped) return {0, true};
  }
  const int32_t channels = s.format.out_channels();
  const int32_t values = s.queue.take(dst, capacity);
  const bool half = e.rate_mode_active == AUDIO_RATE_HALF;
  return {apply_modes(dst, values / channels, channels, half, e.channel_mode), true};
}

void push_reset(Engine &, bool reader) {
  // A new position: what waits belongs to the old one. A mode change keeps it.
  if (reader) source().queue.clear();
}

void push_close(Engine &) { detach(source()); }

const SourceOps kPushOps = {push_open, push_prepare, push_fill, push_reset, push_close};

}  // namespace

const SourceOps &push_source_ops() { return kPushOps; }

void push_output_started(Engine &e) {
  if (e.kind == SourceKind::push_pcm) start_plugin(source());
}

void push_output_stopping(Engine &e) {
  if (e.kind != SourceKind::push_pcm || !e.device) return;
  PushSource &s = source();
  s.clock_offset = clock_ms(e);
  stop_plugin(s);
}

void push_clock_restart(Engine &e) {
  if (e.kind == SourceKind::push_pcm) source().clock_offset = 0;
}

void wake_source_wait(Engine &) { source().queue.wake(); }

PushQueue &push_queue() { return source().queue; }

void set_push_wait_step(uint32_t ms) { source().step_ms = ms ? ms : kPushWaitStepMs; }

}  // namespace lunaret
