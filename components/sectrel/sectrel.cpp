// The entries of the sector-access library: a table of the 26 drive
// letters, each with the disc its map entry names, opened on first use and
// reopened when the map entry changes. Calls on one drive are serialised.
#include "components/sectrel/sectrel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "components/sectrel/disc.h"
#include "platform/drive.h"
#include "platform/ini.h"

namespace {

using sectrel::Disc;

constexpr int32_t kDrives = 26;
constexpr int32_t kFirstDrive = 2;  // A: and B: are never CD drives

struct Drive {
  std::mutex lock;
  std::string path;  // what the map said when the disc was opened
  std::string problem;
  std::unique_ptr<Disc> disc;
};

Drive g_drives[kDrives];

bool valid(int32_t drive) { return drive >= kFirstDrive && drive < kDrives; }

std::string mapped_path(int32_t drive) { return platform::drive_device(static_cast<char>('A' + drive)); }

// Follows the map: a changed entry closes the old disc; a missing disc is
// opened again (a device may have got one meanwhile). Caller holds the lock.
Disc *refresh(Drive &d, int32_t drive) {
  std::string path = mapped_path(drive);
  if (path != d.path) {
    d.disc.reset();
    d.path = std::move(path);
  }
  if (!d.disc) {
    d.disc = sectrel::open_disc(d.path, &d.problem);
    if (d.disc) d.problem.clear();
  }
  return d.disc.get();
}

// Reads use the disc in hand and open it only when there is none.
Disc *current(Drive &d, int32_t drive) { return d.disc ? d.disc.get() : refresh(d, drive); }

template <class F>
int32_t with_drive(int32_t drive, int32_t fallback, F &&body) {
  if (!valid(drive)) return fallback;
  Drive &d = g_drives[drive];
  std::lock_guard<std::mutex> hold(d.lock);
  try {
    return body(d);
  } catch (...) {
    return fallback;
  }
}

// Asked at every open: one read of the map's keys, not one per letter.
bool any_drive_mapped() {
  for (const std::string &key : platform::profile_get_keys("DRIVES", "RAZAVORI.INI")) {
    if (key.size() != 1) continue;
    const char l = static_cast<char>(key[0] >= 'a' && key[0] <= 'z' ? key[0] - 32 : key[0]);
    if (l >= 'A' + kFirstDrive && l <= 'Z' && !platform::drive_device(l).empty()) return true;
  }
  return false;
}

uint32_t checksum_serial(const uint8_t *data) {
  uint8_t lanes[4] = {};
  for (int i = 0; i < sectrel::kDataBytes; i += 4) {
    lanes[3] = static_cast<uint8_t>(lanes[3] + data[i]);
    lanes[2] = static_cast<uint8_t>(lanes[2] + data[i + 1]);
    lanes[1] = static_cast<uint8_t>(lanes[1] + data[i + 2]);
    lanes[0] = static_cast<uint8_t>(lanes[0] + data[i + 3]);
  }
  return static_cast<uint32_t>(lanes[3]) << 24 | static_cast<uint32_t>(lanes[2]) << 16 |
         static_cast<uint32_t>(lanes[1]) << 8 | lanes[0];
}

void copy_text(char *dst, size_t size, const std::string &src) {
  if (size == 0) return;
  const size_t n = std::min(size - 1, src.size());
  std::memcpy(dst, src.data(), n);
  dst[n] = 0;
}

int32_t track_command(Disc *disc, int32_t cmd, int32_t number) {
  const sectrel::Track *t = disc ? disc->track(number) : nullptr;
  if (!t)
    return cmd == SECTREL_CMD_TRACK_TYPE ? sectrel::kTrackAudio : 0;  // no such track rules the disc out
  switch (cmd) {
    case SECTREL_CMD_TRACK_START:
      return t->start;
    case SECTREL_CMD_TRACK_LENGTH:
      return t->length;
    default:
      return t->type;
  }
}

}  // namespace

extern "C" {

int32_t SectrelOpenDrive(int32_t drive) {
  return with_drive(drive, 0, [&](Drive &d) { return refresh(d, drive) ? 1 : 0; });
}

int32_t SectrelReadRaw8(int32_t drive, void *buffer, int32_t first) {
  return SectrelReadRaw(drive, buffer, first, 8);
}

int32_t SectrelReadRaw(int32_t drive, void *buffer, int32_t first, int32_t count) {
  if (!buffer || count <= 0 || first < 0) return 0;
  return with_drive(drive, 0, [&](Drive &d) {
    Disc *disc = current(d, drive);
    return disc && disc->read_raw(first, count, static_cast<uint8_t *>(buffer)) ? 1 : 0;
  });
}

int32_t SectrelReadData(int32_t drive, void *buffer, int32_t first, int32_t count) {
  if (!buffer || count <= 0 || first < 0 || count > INT32_MAX / sectrel::kDataBytes) return 0;
  return with_drive(drive, 0, [&](Drive &d) {
    Disc *disc = current(d, drive);
    return disc ? disc->read_data(first, count, static_cast<uint8_t *>(buffer)) : 0;
  });
}

int32_t SectrelCommand(int32_t drive, int32_t command, int32_t param) {
  if (drive == 0 && command == SECTREL_CMD_READY) return any_drive_mapped() ? 1 : 0;
  return with_drive(drive, 0, [&](Drive &d) -> int32_t {
    switch (command) {
      case SECTREL_CMD_LAST_TRACK: {
        Disc *disc = refresh(d, drive);
        return disc && !disc->tracks().empty() ? disc->tracks().back().number << 16 : 0;
      }
      case SECTREL_CMD_DISC_VALUE: {
        Disc *disc = refresh(d, drive);
        return disc ? disc->disc_mode() : 0;
      }
      case SECTREL_CMD_TRACK_START:
      case SECTREL_CMD_TRACK_LENGTH:
      case SECTREL_CMD_TRACK_TYPE:
        return track_command(refresh(d, drive), command, param);
      case SECTREL_CMD_CANNOT_CONTINUE:
        return refresh(d, drive) ? 0 : 1;
      case SECTREL_CMD_READY:
      case SECTREL_CMD_PREPARE:
      case SECTREL_CMD_PARAM_READY:
        return refresh(d, drive) ? 1 : 0;
      case SECTREL_CMD_RELEASE:
        return 1;  // the disc stays open for the next use
      case SECTREL_CMD_DRIVE_PARAM: {
        Disc *disc = refresh(d, drive);
        return disc && disc->set_speed(param) ? 1 : 0;
      }
      case SECTREL_CMD_DOOR: {
        std::string path = mapped_path(drive);
        d.disc.reset();  // the disc changes either way
        d.path = path;
        return sectrel::move_door(path, param != 0) ? 1 : 0;  // images have no door: 0
      }
      default:
        return 0;  // 5, 12 and anything else
    }
  });
}

int32_t SectrelIsMapped(int32_t drive) { return valid(drive) && !mapped_path(drive).empty() ? 1 : 0; }

uint32_t SectrelVolumeSerial(int32_t drive) {
  // Asked to tell discs apart: follow the map before reading.
  if (!SectrelOpenDrive(drive)) return 0;
  uint8_t sector[sectrel::kDataBytes];
  if (SectrelReadData(drive, sector, 16, 1) != sectrel::kDataBytes) return 0;
  return checksum_serial(sector);
}

int32_t SectrelDescribe(int32_t drive, SectrelDriveInfo *info) {
  if (!info) return 0;
  std::memset(info, 0, sizeof *info);
  return with_drive(drive, 0, [&](Drive &d) {
    Disc *disc = refresh(d, drive);
    copy_text(info->source, sizeof info->source, d.path);
    copy_text(info->driver, sizeof info->driver, disc ? disc->driver() : std::string());
    copy_text(info->problem, sizeof info->problem, d.problem);
    info->ready = disc ? 1 : 0;
    info->lead_out = disc ? disc->lead_out() : 0;
    return 1;
  });
}

}  // extern "C"
