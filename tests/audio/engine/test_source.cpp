#include "tests/audio/engine/test_source.h"

#include <algorithm>

namespace lunaret_test {

namespace {

CountingSource g_source;
Recorder g_recorder;

bool cs_open(lunaret::Engine &) { return true; }

bool cs_prepare(lunaret::Engine &, lunaret::SourceFormat &f) {
  f.layer = 2;
  f.rate_index = 0;
  f.rate = g_source.rate;
  f.channels = g_source.channels;
  f.mode = g_source.channels == 2 ? 0 : 3;
  f.bit_rate = 224;
  return true;
}

lunaret::FillResult cs_fill(lunaret::Engine &e, int16_t *dst, int32_t capacity, int32_t frames) {
  ++g_source.fills;
  int32_t out_channels = (e.mono_out() || g_source.channels == 1) ? 1 : 2;
  int32_t values = 0;
  for (int32_t f = 0; f < frames && g_source.frames_done < g_source.frames_total; ++f) {
    int32_t n = 1152 * out_channels;
    if (values + n > capacity) break;
    for (int32_t i = 0; i < n; ++i) {
      int16_t v;
      if (g_source.impulses) {
        bool click = (i == 0) && (g_source.frames_done % 9 == 0);
        v = click ? 10000 : 0;
      } else {
        v = counting_value(g_source.values_done + i);
      }
      dst[values + i] = v;
    }
    values += n;
    g_source.values_done += n;
    ++g_source.frames_done;
  }
  if (values == 0) e.input_ended = true;
  return {values, values > 0};
}

void cs_reset(lunaret::Engine &, bool) {}
void cs_close(lunaret::Engine &) {}

const lunaret::SourceOps kCountingOps = {cs_open, cs_prepare, cs_fill, cs_reset, cs_close};

const lunaret::AudioOutputDriver &base() { return lunaret::kNullUntimedOutputDriver; }

int rec_write(void *state, AudioWaveHeader *h) {
  {
    std::lock_guard<std::mutex> lock(g_recorder.m);
    const auto *p = reinterpret_cast<const int16_t *>(h->data);
    g_recorder.values.insert(g_recorder.values.end(), p, p + h->bytes_recorded / 2);
    ++g_recorder.writes;
  }
  return base().write(state, h);
}

int rec_open(void *state, const lunaret::PcmFormat &f, lunaret::DeviceDoneFn done, void *ctx) {
  return base().open(state, f, done, ctx);
}
int rec_close(void *state) { return base().close(state); }
int rec_reset(void *state) { return base().reset(state); }
int rec_pause(void *state) { return base().pause(state); }
int rec_restart(void *state) { return base().restart(state); }
uint64_t rec_played(void *state) { return base().played_bytes(state); }
uint32_t rec_get_volume(void *state) { return base().get_volume(state); }
int rec_set_volume(void *state, uint32_t v) { return base().set_volume(state, v); }
bool rec_query(const lunaret::PcmFormat &f) { return base().query(f); }

ManualDevice g_manual;

bool man_query(const lunaret::PcmFormat &f) { return base().query(f); }
int man_open(void *, const lunaret::PcmFormat &, lunaret::DeviceDoneFn done, void *ctx) {
  std::lock_guard<std::mutex> lock(g_manual.m);
  g_manual.held.clear();
  g_manual.done = done;
  g_manual.context = ctx;
  return lunaret::kDeviceOk;
}
int man_close(void *) {
  std::lock_guard<std::mutex> lock(g_manual.m);
  return g_manual.held.empty() ? lunaret::kDeviceOk : lunaret::kDeviceStillPlaying;
}
int man_write(void *, AudioWaveHeader *h) {
  std::lock_guard<std::mutex> lock(g_manual.m);
  g_manual.held.push_back(h);
  return lunaret::kDeviceOk;
}
int man_reset(void *) {
  g_manual.release(~size_t{0});
  return lunaret::kDeviceOk;
}
int man_ok(void *) { return lunaret::kDeviceOk; }
uint64_t man_played(void *) { return 0; }
uint32_t man_get_volume(void *) { return 0xFFFFFFFFu; }
int man_set_volume(void *, uint32_t) { return lunaret::kDeviceOk; }

}  // namespace

void ManualDevice::release(size_t n) {
  std::vector<AudioWaveHeader *> out;
  {
    std::lock_guard<std::mutex> lock(m);
    n = std::min(n, held.size());
    out.assign(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(n));
    held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(n));
  }
  for (AudioWaveHeader *h : out) {
    h->flags |= AUDIO_WHDR_DONE;
    done(context, h);
  }
}

size_t ManualDevice::holding() {
  std::lock_guard<std::mutex> lock(m);
  return held.size();
}

ManualDevice &manual_device() { return g_manual; }

const lunaret::AudioOutputDriver kManualDriver = {
    "manual",  1,      man_query, man_open,   man_close,      man_write,
    man_reset, man_ok, man_ok,    man_played, man_get_volume, man_set_volume,
};

int16_t counting_value(int64_t k) { return static_cast<int16_t>((k * 7919) & 0xFFFF); }

CountingSource &counting_source() { return g_source; }

void CountingSource::install() {
  g_source = CountingSource{};
  lunaret::set_source_ops(lunaret::SourceKind::mpeg_audio, &kCountingOps);
}

void CountingSource::uninstall() { lunaret::set_source_ops(lunaret::SourceKind::mpeg_audio, nullptr); }

void Recorder::clear() {
  std::lock_guard<std::mutex> lock(m);
  values.clear();
  writes = 0;
}

int Recorder::write_count() {
  std::lock_guard<std::mutex> lock(m);
  return writes;
}

std::vector<int16_t> Recorder::take() {
  std::lock_guard<std::mutex> lock(m);
  return values;
}

Recorder &recorder() { return g_recorder; }

const lunaret::AudioOutputDriver kRecordingDriver = {
    "recording",    lunaret::kNullUntimedOutputDriver.state_size,
    rec_query,      rec_open,
    rec_close,      rec_write,
    rec_reset,      rec_pause,
    rec_restart,    rec_played,
    rec_get_volume, rec_set_volume,
};

}  // namespace lunaret_test
