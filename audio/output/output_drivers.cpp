// The driver list and the choice of the engine's device.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "audio/output/audio_device.h"

namespace lunaret {

namespace {

// Highest priority first: the sound card, then the device that stands in
// for one where SDL has no driver.
const AudioOutputDriver *const kDrivers[] = {
    &kSdlOutputDriver,
    &kNullOutputDriver,
    &kNullUntimedOutputDriver,
    nullptr,
};

std::atomic<const AudioOutputDriver *> g_forced{nullptr};

}  // namespace

const AudioOutputDriver *const *output_drivers() { return kDrivers; }

const AudioOutputDriver &default_output_driver() {
  if (const AudioOutputDriver *forced = g_forced.load()) return *forced;
  if (const char *name = std::getenv("LUNARET_AUDIO_OUTPUT")) {
    for (const AudioOutputDriver *const *d = kDrivers; *d; ++d)
      if (!std::strcmp((*d)->name, name)) return **d;
  }
  for (const AudioOutputDriver *const *d = kDrivers; *d; ++d)
    if ((*d)->query(make_pcm_format(2, 44100, 16))) return **d;
  return kNullOutputDriver;
}

void set_output_driver(const AudioOutputDriver *driver) { g_forced.store(driver); }

}  // namespace lunaret
