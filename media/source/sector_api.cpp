#include "media/source/sector_api.h"

#include <atomic>

#include "components/sectrel/sectrel.h"

namespace dravik {

namespace {

// Every drive of the drive map is a CD-ROM drive.
bool mapped_drive(int32_t drive) { return SectrelIsMapped(drive) != 0; }

constexpr SectorApi kDefault = {
    SectrelOpenDrive, SectrelReadRaw8, SectrelReadRaw,      SectrelCommand,
    SectrelReadData,  mapped_drive,    SectrelVolumeSerial,
};

std::atomic<const SectorApi *> g_api{&kDefault};

}  // namespace

const SectorApi &sector_api() { return *g_api.load(std::memory_order_acquire); }

void set_sector_api(const SectorApi *api) { g_api.store(api ? api : &kDefault, std::memory_order_release); }

}  // namespace dravik
