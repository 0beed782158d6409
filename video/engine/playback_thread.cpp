// The engine's one playback thread and the process-wide engine it serves.
// The thread sleeps on the wake-up event until a play starts, advances
// pictures while not stopped, and reports `idle` whenever it is waiting, so
// that VideoHalt and VideoClose can tell when it has let go of the stream.
#include <atomic>
#include <mutex>

#include "platform/clock.h"
#include "platform/thread.h"
#include "video/engine/engine.h"
#include "video/engine/play_loop.h"

namespace kestrum {

namespace {

// While stopped (and not scanning) the thread re-checks its flags this often.
constexpr uint32_t kStoppedPollMs = 1000;
// An interface call holds the stream (`busy`): try again after this long.
constexpr uint32_t kBusyBackoffMs = 300;
// How long unloading waits for the thread to finish before leaving it.
constexpr uint32_t kUnloadWaitMs = 2000;
// The idle wait of VideoHalt: this many checks, this far apart (300 ms).
constexpr int kIdleChecks = 10;
constexpr uint32_t kIdleCheckMs = 30;

std::atomic<int32_t> g_threads_started{0};

void playback_thread_body(Engine &e, const std::atomic<bool> &quit) {
  EngineState &s = e.state;
  while (!quit) {
    // 1. Wait for a play to begin.
    s.playback.idle = 1;
    s.playback.abort = 0;
    s.playback.busy = 0;
    e.wake.wait();
    if (quit) break;
    for (;;) {
      // 2. Stopped and not scanning: stay idle until asked to leave.
      while (s.playback.stopped && !s.playback.scan && !s.playback.abort && !quit) {
        s.playback.idle = 1;
        e.wake.wait(kStoppedPollMs);
      }
      if (quit) return;
      // 3. Nothing open: back to waiting.
      if (!s.source.open || (s.playback.stopped && !s.playback.scan)) break;
      // 4. One play step, unless an interface call holds the stream.
      s.playback.idle = 0;
      if (s.playback.busy.fetch_add(1) == 0) {
        play_step(e);
        s.playback.busy.fetch_sub(1);
        platform::sleep_ms(0);
      } else {
        s.playback.busy.fetch_sub(1);
        platform::sleep_ms(kBusyBackoffMs);
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
  for (int i = 0; i < kIdleChecks; ++i) {
    if (s.playback.idle) return true;
    platform::sleep_ms(kIdleCheckMs);
  }
  if (s.playback.idle) return true;
  // No forced termination: the thread is told to stop and finishes its step
  // by itself; every loop checks `abort` and `stopped` between pictures.
  s.playback.abort = 1;
  s.playback.stopped = 1;
  return false;
}

}  // namespace kestrum
