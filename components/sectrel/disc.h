// One opened disc behind a drive of the drive map: its table of contents
// and its sectors. Three kinds: libcdio (devices and BIN/CUE, NRG and TOC
// images), a bare ISO 9660 image through libiso9660 (which libcdio's image
// drivers refuse), and MODE2/2336 cue images read directly (libcdio 2.1
// misplaces their sectors).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sectrel {

constexpr int kRawBytes = 2352;
constexpr int kDataBytes = 2048;
constexpr int kMode2Bytes = 2336;  // a raw sector after sync and header
constexpr int kPregap = 150;       // LSN 0 is 00:02:00

/// Track types as command 7 reports them.
enum TrackType : int32_t { kTrackXa = 0, kTrackAudio = 1, kTrackData = 2 };

struct Track {
  int32_t number = 0;
  int32_t start = 0;   // LSN
  int32_t length = 0;  // sectors
  int32_t type = kTrackXa;
};

class Disc {
 public:
  virtual ~Disc() = default;
  /// The driver's name ("BIN/CUE", "NRG", "GNU/Linux", "ISO 9660 image",
  /// "BIN/CUE 2336").
  virtual std::string driver() const = 0;
  /// count raw 2352-byte sectors from lsn; false when any is unreadable.
  virtual bool read_raw(int32_t lsn, int32_t count, uint8_t *out) = 0;
  /// count 2048-byte sectors from lsn. -> bytes read, 0 on failure.
  virtual int32_t read_data(int32_t lsn, int32_t count, uint8_t *out) = 0;
  virtual bool set_speed(int32_t) { return false; }
  virtual int32_t disc_mode() const { return 0; }

  const std::vector<Track> &tracks() const { return tracks_; }
  int32_t lead_out() const { return lead_out_; }
  const Track *track(int32_t number) const;

 protected:
  std::vector<Track> tracks_;
  int32_t lead_out_ = 0;
};

/// Opens what a drive maps to. On failure returns null and says why.
std::unique_ptr<Disc> open_disc(const std::string &path, std::string *reason);

/// Opens (true) or closes the door of a device; false for images and
/// when the door did not move.
bool move_door(const std::string &path, bool open);

/// Loads libcdio and installs a log handler that never ends the process
/// (its default one calls exit() or abort() on damaged images).
/// Idempotent; false when libcdio could not be loaded.
bool quiet_libcdio();

/// Sync pattern and BCD header (minutes, seconds, frames of lsn + 150,
/// mode) of a raw sector.
void write_sync_header(uint8_t *sector, int32_t lsn, uint8_t mode);

}  // namespace sectrel
