// The engine's one playback thread and the process-wide engine it serves.
// The thread sleeps on the wake-up event until a play starts, advances
// pictures while not stopped, and reports `idle` whenever it is waiting, so
// that VideoHalt and VideoClose can tell when it has let go of the stream.
#include <atomic>
#include <mutex>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/wait_flag.h"
#include "video/engine/engine.h"
#include "video/engine/play_loop.h"

namespace kestrum {

namespace {

// An interface call holds the stream (`busy`): the thread looks again in
// steps this long, for at most the back-off, and goes on as soon as the call
// lets go.
constexpr uint32_t kBusyBackoffMs = 300;
constexpr uint32_t kBusyStepMs = 2;
// How long unloading waits for the thread to finish before leaving it.
constexpr uint32_t kUnloadWaitMs = 2000;
// The idle wait of VideoHalt.
constexpr uint32_t kIdleWaitMs = 300;

std::atomic<int32_t> g_threads_started{0};

// Raised while the thread works on the stream, lowered whenever it waits:
// what VideoHalt and VideoClose sleep on. Never freed (the thread may
// outlive the unload).
platform::WaitFlag &stepping() {
  static auto *const flag = new platform::WaitFlag;
  return *flag;
}

void set_idle(EngineState &s, bool idle) {
  s.playback.idle = idle ? 1 : 0;
  if (idle) {
    stepping().clear();
  } else {
    stepping().set();
  }
}

void playback_thread_body(Engine &e, const std::atomic<bool> &quit) {
  EngineState &s = e.state;
  while (!quit) {
    // 1. Wait for a play to begin.
    set_idle(s, true);
    s.playback.abort = 0;
    s.playback.busy = 0;
    e.wake.wait();
    if (quit) break;
    for (;;) {
      // 2. Stopped and not scanning: stay idle until a run, a scan or the
      // unload sets the wake-up event (a halt or close sends the thread to
      // step 1 by `abort`, and needs no wake-up: it waits for `idle`).
      while (s.playback.stopped && !s.playback.scan && !s.playback.abort && !quit) {
        set_idle(s, true);
        e.wake.wait();
      }
      if (quit) return;
      // 3. Nothing open: back to waiting.
      if (!s.source.open || (s.playback.stopped && !s.playback.scan)) break;
      // 4. One play step, unless an interface call holds the stream.
      set_idle(s, false);
      if (s.playback.busy.fetch_add(1) == 0) {
        play_step(e);
        s.playback.busy.fetch_sub(1);
        platform::sleep_ms(0);
      } else {
        s.playback.busy.fetch_sub(1);
        for (uint32_t waited = 0; s.playback.busy.load() != 0 && waited < kBusyBackoffMs;
             waited += kBusyStepMs)
          platform::sleep_ms(kBusyStepMs);
      }
      // 5. A halt sends the thread back to its first wait.
      if (s.playback.abort) break;
    }
  }
}

struct Runtime {
  Engine engine;
  std::atomic<bool> quit{false};
  platform::Thread thread;

  Runtime() {
    engine.state.presentation.caption_text = {};
    for (size_t i = 0; kDefaultCaption[i]; ++i)
      engine.state.presentation.caption_text[i] = kDefaultCaption[i];
    engine.state.presentation.on_top = read_on_top_setting();
    thread.start([this](const std::atomic<bool> &) { playback_thread_body(engine, quit); },
                 platform::ThreadPriority::above_normal);
    g_threads_started.fetch_add(1);
  }
  /// Asks the thread to leave and waits a bound; -> whether it has.
  bool stop() {
    quit = true;
    engine.state.playback.abort = 1;
    engine.wake.set();
    return thread.stop(kUnloadWaitMs);
  }
};

// At unload the thread is asked to stop. The engine is freed only when the
// thread has finished: one that misses the bound (a step stuck in a read)
// goes on running on an engine that stays.
struct Unloader {
  Runtime *runtime;
  ~Unloader() {
    if (runtime->stop()) delete runtime;
  }
};

Runtime &runtime() {
  static Runtime *const r = new Runtime;  // a plain pointer: never destroyed itself
  static const Unloader unloader{r};
  return *r;
}

}  // namespace

Engine &engine() { return runtime().engine; }

int32_t playback_threads_started() { return g_threads_started.load(); }

bool wait_for_idle() {
  EngineState &s = engine().state;
  if (stepping().wait_clear(kIdleWaitMs)) return true;
  // No forced termination: the thread is told to stop and finishes its step
  // by itself; every loop checks `abort` and `stopped` between pictures.
  s.playback.abort = 1;
  s.playback.stopped = 1;
  return false;
}

}  // namespace kestrum
