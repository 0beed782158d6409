#include "media/source/sector_api.h"

#include <atomic>

#include "components/sectrel/sectrel.h"

namespace dravik {

namespace {

// The drive map lives in the suite's settings file; until the disc layer
// reads it, no path names a CD-ROM drive.
bool no_cd_drive(int32_t) { return false; }
uint32_t no_serial(int32_t) { return 0; }

constexpr SectorApi kDefault = {
    SectrelOpenDrive, SectrelReadRaw8, SectrelReadRaw, SectrelCommand,
    SectrelReadData,  no_cd_drive,     no_serial,
};

std::atomic<const SectorApi *> g_api{&kDefault};

}  // namespace

const SectorApi &sector_api() { return *g_api.load(std::memory_order_acquire); }

void set_sector_api(const SectorApi *api) { g_api.store(api ? api : &kDefault, std::memory_order_release); }

}  // namespace dravik
