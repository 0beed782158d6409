// VCMD_BENCHMARK: decodes and presents pictures as fast as it can and
// reports the time spent, with the audio engine's own timing run.
#include <cstring>

#include "audio/audio_api.h"
#include "platform/clock.h"
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"

namespace kestrum::commands {

namespace {

// Pictures decoded and presented at most.
constexpr int32_t kBenchmarkPictures = 130;
// Added to the picture count when a processor variant is on.
constexpr int32_t kBenchmarkVariantBonus = 20;

}  // namespace

int32_t run_benchmark(KestrumBenchmarkRecord *out) {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!out || !s.playback.stopped || s.source.open_mode != static_cast<int32_t>(OpenMode::video)) return 0;
  KestrumBenchmarkRecord r{};
  const int64_t freq = platform::perf_frequency();
  auto ms = [freq](int64_t ticks) { return static_cast<int32_t>(ticks * 1000 / freq); };
  int64_t decode_ticks = 0;
  int64_t present_ticks = 0;
  const int64_t begin = platform::perf_counter();
  {
    platform::Lock lock(e.engine_lock);
    for (int32_t i = 0; i < kBenchmarkPictures; ++i) {
      const int64_t t0 = platform::perf_counter();
      if (!decode_next_picture()) break;
      const int64_t t1 = platform::perf_counter();
      present_current();
      const int64_t t2 = platform::perf_counter();
      decode_ticks += t1 - t0;
      present_ticks += t2 - t1;
      ++r.pictures;
    }
  }
  r.elapsed_ms = ms(platform::perf_counter() - begin);
  // The decoder pulls its input inside each step; reading is not timed
  // apart from decoding here, so it counts as 0.
  r.decode_ms = ms(decode_ticks);
  r.read_ms = 0;
  r.present_ms = ms(present_ticks);
  if (s.picture.variant) r.pictures += kBenchmarkVariantBonus;
  AudioTimingRun audio_run{-1, 0, 0, 0, 0};
  if (s.audio_link.audio_open) audio().command(AUDIO_CMD_TIMING_RUN, reinterpret_cast<intptr_t>(&audio_run));
  static_assert(sizeof r.audio == sizeof audio_run, "the record carries the audio timing run as it is");
  std::memcpy(r.audio, &audio_run, sizeof r.audio);
  *out = r;
  return 1;
}

}  // namespace kestrum::commands
