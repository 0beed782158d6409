// The engine's side of the outside equaliser: one object per real device,
// built with the band table scaled to the device's rate.
#include "audio/engine.h"
#include "components/tonvale/tonvale.h"

namespace lunaret {

namespace {

// Band centres at 48 kHz.
constexpr int32_t kBands48k[10] = {120, 220, 280, 580, 800, 4000, 6000, 12000, 4000, 4000};

}  // namespace

void equaliser_create(Engine &e) {
  if (e.eq_object.load() || !e.out.valid) return;
  void *obj = TonvaleConstruct(e.eq_block.data());
  if (!obj) return;  // no equaliser: blocks pass unchanged
  int32_t bands[10];
  for (int i = 0; i < 10; ++i)
    bands[i] = static_cast<int32_t>(static_cast<int64_t>(kBands48k[i]) * e.out.pcm.rate / 48000);
  TonvaleSetFormat(obj, e.out.pcm.channels, static_cast<int32_t>(e.out.pcm.rate), 10, bands);
  TonvaleSetGains(obj, e.eq_values.data());
  TonvaleSetEnable(obj, e.eq_enable);
  e.eq_object.store(obj);
}

void equaliser_destroy(Engine &e) {
  void *obj = e.eq_object.exchange(nullptr);
  if (obj) TonvaleDestroy(obj);
}

void equalise_block(Engine &e, int16_t *data, int32_t values) {
  void *obj = e.eq_object.load();
  if (!obj || values <= 0 || e.out.pcm.channels == 0) return;
  TonvaleProcess(obj, data, data, values / e.out.pcm.channels);
}

void equaliser_update_gains(Engine &e) {
  if (void *obj = e.eq_object.load()) TonvaleSetGains(obj, e.eq_values.data());
}

void equaliser_update_enable(Engine &e) {
  if (void *obj = e.eq_object.load()) TonvaleSetEnable(obj, e.eq_enable);
}

}  // namespace lunaret
