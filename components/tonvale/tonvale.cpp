#include "components/tonvale/tonvale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "components/tonvale/biquad.h"

namespace tonvale {

namespace {

constexpr uint32_t kMagic = 0x544F4E56;  // "TONV": marks a live object

struct Equaliser {
  std::mutex lock;
  bool enabled = false;
  bool formatted = false;
  int channels = 0;
  int rate = 0;
  int band_count = 0;
  int32_t centres[TONVALE_BANDS] = {};
  int32_t gains[TONVALE_BANDS] = {};
  // Filters of every band and the list of those that change anything, in
  // band order; rebuilt only when the format or the gains change, never
  // per block. memory is indexed by band, so a band keeps its memory while
  // its gain moves (no click while a slider is dragged); a band that is
  // left out has zero memory, ready for when it comes back.
  Biquad filters[TONVALE_BANDS];
  int active[TONVALE_BANDS] = {};
  int active_count = 0;
  double memory[TONVALE_MAX_CHANNELS][TONVALE_BANDS][2] = {};
};

// What TonvaleConstruct writes into the caller's 64-byte block.
struct Handle {
  uint32_t magic;
  Equaliser *eq;
};
static_assert(sizeof(Handle) <= TONVALE_OBJECT_SIZE, "the handle must fit the caller's block");

Equaliser *from_object(void *object) {
  if (!object) return nullptr;
  Handle h;
  std::memcpy(&h, object, sizeof h);
  return h.magic == kMagic ? h.eq : nullptr;
}

void clear_memory(Equaliser &eq) { std::memset(eq.memory, 0, sizeof eq.memory); }

void rebuild_filters(Equaliser &eq) {
  eq.active_count = 0;
  for (int b = 0; b < TONVALE_BANDS; ++b) {
    const int32_t gain = eq.gains[b];
    const int32_t centre = eq.centres[b];
    // Flat bands and centres the rate cannot carry change nothing.
    const bool used =
        eq.formatted && b < eq.band_count && gain != 0 && centre > 0 && 2 * int64_t(centre) < eq.rate;
    if (!used) {
      for (auto &channel : eq.memory) channel[b][0] = channel[b][1] = 0.0;
      continue;
    }
    eq.filters[b] = peaking(centre, eq.rate, gain);
    eq.active[eq.active_count++] = b;
  }
}

int16_t saturate(double v) {
  const double r = std::nearbyint(v);
  if (r >= 32767.0) return 32767;
  if (r <= -32768.0) return -32768;
  return int16_t(r);
}

void equalise(Equaliser &eq, const int16_t *src, int16_t *dst, int32_t frames) {
  const int channels = eq.channels;
  const int bands = eq.active_count;
  for (int32_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      double x = src[c];
      for (int k = 0; k < bands; ++k) {
        const int b = eq.active[k];
        x = biquad_step(eq.filters[b], eq.memory[c][b], x);
      }
      dst[c] = saturate(x);
    }
    src += channels;
    dst += channels;
  }
  // Silence decays the filter memory into subnormal numbers, which are very
  // slow on x86; below any audible level they are simply zero.
  for (auto &channel : eq.memory)
    for (auto &band : channel)
      for (double &w : band)
        if (std::fabs(w) < 1e-15) w = 0.0;
}

}  // namespace

}  // namespace tonvale

using tonvale::Equaliser;

extern "C" void *TonvaleConstruct(void *block) {
  if (!block) return nullptr;
  auto *eq = new (std::nothrow) Equaliser;
  if (!eq) return nullptr;
  tonvale::Handle h{tonvale::kMagic, eq};
  std::memset(block, 0, TONVALE_OBJECT_SIZE);
  std::memcpy(block, &h, sizeof h);
  return block;
}

extern "C" void TonvaleDestroy(void *object) {
  Equaliser *eq = tonvale::from_object(object);
  if (!eq) return;
  delete eq;
  std::memset(object, 0, sizeof(tonvale::Handle));
}

extern "C" int32_t TonvaleSetFormat(void *object, int32_t channels, int32_t rate, int32_t band_count,
                                    const int32_t *bands) {
  Equaliser *eq = tonvale::from_object(object);
  if (!eq || channels < 1 || channels > TONVALE_MAX_CHANNELS || rate <= 0 || band_count < 1 ||
      band_count > TONVALE_BANDS || !bands)
    return 0;
  std::lock_guard<std::mutex> g(eq->lock);
  eq->channels = channels;
  eq->rate = rate;
  eq->band_count = band_count;
  std::fill(std::begin(eq->centres), std::end(eq->centres), 0);
  std::copy(bands, bands + band_count, eq->centres);
  eq->formatted = true;
  tonvale::clear_memory(*eq);
  tonvale::rebuild_filters(*eq);
  return 1;
}

extern "C" int32_t TonvaleSetGains(void *object, const int32_t *gains) {
  Equaliser *eq = tonvale::from_object(object);
  if (!eq || !gains) return 0;
  std::lock_guard<std::mutex> g(eq->lock);
  bool changed = false;
  for (int b = 0; b < TONVALE_BANDS; ++b) {
    const int32_t v = std::clamp<int32_t>(gains[b], -TONVALE_MAX_GAIN_DB, TONVALE_MAX_GAIN_DB);
    changed = changed || v != eq->gains[b];
    eq->gains[b] = v;
  }
  if (changed) tonvale::rebuild_filters(*eq);
  return 1;
}

extern "C" int32_t TonvaleProcess(void *object, const void *src, void *dst, int32_t frames) {
  Equaliser *eq = tonvale::from_object(object);
  if (!eq || !src || !dst || frames < 0) return 0;
  std::lock_guard<std::mutex> g(eq->lock);
  if (!eq->enabled || !eq->formatted || eq->active_count == 0) {
    // Nothing to change: the samples go through bit for bit.
    if (src != dst && eq->channels > 0) std::memmove(dst, src, size_t(frames) * size_t(eq->channels) * 2);
    return 1;
  }
  tonvale::equalise(*eq, static_cast<const int16_t *>(src), static_cast<int16_t *>(dst), frames);
  return 1;
}

extern "C" int32_t TonvaleSetEnable(void *object, int32_t enable) {
  Equaliser *eq = tonvale::from_object(object);
  if (!eq) return 0;
  std::lock_guard<std::mutex> g(eq->lock);
  const bool on = enable != 0;
  if (on && !eq->enabled) tonvale::clear_memory(*eq);
  eq->enabled = on;
  return 1;
}

extern "C" void *TonvaleProc(int32_t ordinal) {
  switch (ordinal) {
    case TONVALE_ORD_CONSTRUCT:
      return reinterpret_cast<void *>(&TonvaleConstruct);
    case TONVALE_ORD_DESTROY:
      return reinterpret_cast<void *>(&TonvaleDestroy);
    case TONVALE_ORD_SET_FORMAT:
      return reinterpret_cast<void *>(&TonvaleSetFormat);
    case TONVALE_ORD_SET_GAINS:
      return reinterpret_cast<void *>(&TonvaleSetGains);
    case TONVALE_ORD_PROCESS:
      return reinterpret_cast<void *>(&TonvaleProcess);
    case TONVALE_ORD_SET_ENABLE:
      return reinterpret_cast<void *>(&TonvaleSetEnable);
    default:
      return nullptr;
  }
}
