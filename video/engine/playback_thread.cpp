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

// An interface call holds the stream (`busy`): the thread sleeps until the
// call lets go, for at most this long, then looks at its flags again.
constexpr uint32_t kBusyBackoffMs = 300;
// How long unloading waits for the thread to finish before leaving it.
constexpr uint32_t kUnloadWaitMs = 2000;
// The idle wait of VideoHalt and VideoClose.
constexpr uint32_t kIdleWaitMs = 300;

std::atomic<int32_t> g_threads_started{0};

// `stepping` is raised before the thread looks at any flag after a wait, and
// lowered only once it is about to wait again: a halt that stores `stopped`
// and then sees the thread idle knows the thread will see `stopped` too.
void set_idle(EngineState &s, bool idle) {
  if (idle) {
    s.playback.idle = 1;
    s.playback.stepping.clear();
    s.playback.changes.bump();
  } else {
    s.playback.stepping.set();
    s.playback.idle = 0;
  }
}

// Sleeps on the wake-up event, idle meanwhile.
void idle_wait(Engine &e) {
  set_idle(e.state, true);
  e.wake.wait();
  set_idle(e.state, false);
}

void playback_thread_body(Engine &e, const std::atomic<bool> &quit) {
  EngineState &s = e.state;
  while (!quit) {
    // 1. Wait for a play to begin. The halt's `abort` is taken before the
    // thread reports idle: a halt that returns has seen it taken, and one
    // that comes later stays set for the next round.
    s.playback.abort = 0;
    idle_wait(e);
    if (quit) break;
    for (;;) {
      // 2. Stopped and not scanning: stay idle until a run, a scan or the
      // unload sets the wake-up event (a halt or close sends the thread to
      // step 1 by `abort`, and needs no wake-up: it waits for `idle`).
      while (s.playback.stopped && !s.playback.scan && !s.playback.abort && !quit) idle_wait(e);
      if (quit) break;
      // 3. Nothing open: back to waiting.
      if (!s.source.open || (s.playback.stopped && !s.playback.scan)) break;
      // 4. One play step, unless an interface call holds the stream.
      if (s.playback.busy.try_hold_alone()) {
        play_step(e);
        s.playback.busy.release();
        stop_sound_if_asked();
        s.playback.changes.bump();
        platform::sleep_ms(0);
      } else {
        s.playback.busy.wait_free(kBusyBackoffMs);
      }
      // 5. A halt sends the thread back to its first wait.
      if (s.playback.abort) break;
    }
  }
  set_idle(s, true);
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
  if (s.playback.stepping.wait_clear(kIdleWaitMs)) return true;
  // No forced termination: the thread is told to stop and finishes its step
  // by itself; every loop checks `abort` and `stopped` between pictures.
  s.playback.abort = 1;
  s.playback.stopped = 1;
  return false;
}

}  // namespace kestrum
