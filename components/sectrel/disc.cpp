#include "components/sectrel/disc.h"

#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "components/sectrel/cdio_dynamic.h"
#include "components/sectrel/image_checks.h"

namespace sectrel {

namespace {

constexpr int64_t kMaxCueBytes = 1 << 20;
constexpr uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

uint8_t to_bcd(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }

int64_t file_bytes(const std::string &path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool read_at(int fd, int64_t pos, void *dst, size_t len) {
  auto *p = static_cast<uint8_t *>(dst);
  size_t got = 0;
  while (got < len) {
    ssize_t r = ::pread(fd, p + got, len - got, static_cast<off_t>(pos + static_cast<int64_t>(got)));
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

std::string lower_extension(const std::string &path) {
  size_t dot = path.find_last_of('.');
  size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) return "";
  std::string ext = path.substr(dot + 1);
  for (char &c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext;
}

std::string folder_of(const std::string &path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string stem_of(const std::string &path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

void quiet_handler(cdio_log_level_t, const char *) {}

// ---- libcdio -------------------------------------------------------------

class CdioDisc : public Disc {
 public:
  CdioDisc(CdIo_t *cdio, bool device) : cdio_(cdio), device_(device) {}
  ~CdioDisc() override {
    if (cdio_) cdio_destroy(cdio_);
  }

  bool load_toc(std::string *reason) {
    const track_t first = cdio_get_first_track_num(cdio_);
    const track_t last = cdio_get_last_track_num(cdio_);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first < 1 || last > 99 || first > last) {
      *reason = device_ ? "no disc in the drive" : "no readable table of contents";
      return false;
    }
    const lsn_t lead_out = cdio_get_disc_last_lsn(cdio_);
    lsn_t previous = -1;
    for (int t = first; t <= last; ++t) {
      Track tr;
      tr.number = t;
      tr.start = cdio_get_track_lsn(cdio_, static_cast<track_t>(t));
      tr.length = static_cast<int32_t>(cdio_get_track_sec_count(cdio_, static_cast<track_t>(t)));
      switch (cdio_get_track_format(cdio_, static_cast<track_t>(t))) {
        case TRACK_FORMAT_AUDIO:
          tr.type = kTrackAudio;
          break;
        case TRACK_FORMAT_XA:
          tr.type = kTrackXa;
          break;
        default:
          tr.type = kTrackData;
          break;
      }
      // What libcdio 2.1 answers for a damaged image: a start at or
      // before the previous one, or a length running past the lead-out.
      if (tr.start == CDIO_INVALID_LSN || tr.start <= previous || tr.length < 0 ||
          (lead_out != CDIO_INVALID_LSN && static_cast<int64_t>(tr.start) + tr.length > lead_out)) {
        *reason = "track " + std::to_string(t) + " lies outside the disc";
        return false;
      }
      previous = tr.start;
      tracks_.push_back(tr);
    }
    lead_out_ = lead_out == CDIO_INVALID_LSN ? 0 : lead_out;
    return true;
  }

  std::string driver() const override {
    const char *name = cdio_ ? cdio_get_driver_name(cdio_) : nullptr;
    return name ? name : "libcdio";
  }

  bool read_raw(int32_t lsn, int32_t count, uint8_t *out) override {
    if (!cdio_ || count <= 0 || lsn < 0) return false;
    for (int32_t done = 0; done < count;) {
      const Track *t = track_at(lsn + done);
      if (!t) return false;
      const int32_t run = std::min(count - done, t->start + t->length - (lsn + done));
      uint8_t *dst = out + static_cast<size_t>(done) * kRawBytes;
      if (t->type == kTrackAudio) {
        if (cdio_read_audio_sectors(cdio_, dst, lsn + done, static_cast<uint32_t>(run)) != DRIVER_OP_SUCCESS)
          return false;
      } else {
        // libcdio hands out the 2336 bytes after the header, the run in one
        // call; sync and header are ours to put back.
        scratch_.resize(static_cast<size_t>(run) * kMode2Bytes);
        const uint32_t n = static_cast<uint32_t>(run);
        driver_return_code_t rc = t->type == kTrackXa
                                      ? cdio_read_mode2_sectors(cdio_, scratch_.data(), lsn + done, true, n)
                                      : cdio_read_mode1_sectors(cdio_, scratch_.data(), lsn + done, true, n);
        if (rc != DRIVER_OP_SUCCESS) return false;
        for (int32_t i = 0; i < run; ++i) {
          uint8_t *s = dst + static_cast<size_t>(i) * kRawBytes;
          std::memcpy(s + 16, scratch_.data() + static_cast<size_t>(i) * kMode2Bytes, kMode2Bytes);
          write_sync_header(s, lsn + done + i, t->type == kTrackXa ? 2 : 1);
        }
      }
      done += run;
    }
    return true;
  }

  int32_t read_data(int32_t lsn, int32_t count, uint8_t *out) override {
    if (!cdio_ || count <= 0 || lsn < 0) return 0;
    if (cdio_read_data_sectors(cdio_, out, lsn, kDataBytes, static_cast<uint32_t>(count)) !=
        DRIVER_OP_SUCCESS)
      return 0;
    return count * kDataBytes;
  }

  bool set_speed(int32_t speed) override {
    return device_ && cdio_ && cdio_set_speed(cdio_, speed) == DRIVER_OP_SUCCESS;
  }

  int32_t disc_mode() const override { return cdio_ ? static_cast<int32_t>(cdio_get_discmode(cdio_)) : 0; }

 private:
  const Track *track_at(int32_t lsn) const {
    for (const Track &t : tracks_)
      if (lsn >= t.start && lsn < t.start + t.length) return &t;
    return nullptr;
  }

  CdIo_t *cdio_;
  bool device_;
  std::vector<uint8_t> scratch_;
};

// ---- ISO 9660 image: one mode-1 data track -------------------------------

class IsoDisc : public Disc {
 public:
  IsoDisc(iso9660_t *iso, int64_t bytes) : iso_(iso) {
    Track t;
    t.number = 1;
    t.start = 0;
    t.length = static_cast<int32_t>(std::min<int64_t>(bytes / kDataBytes, INT32_MAX));
    t.type = kTrackData;
    tracks_.push_back(t);
    lead_out_ = t.length;
  }
  ~IsoDisc() override { iso9660_close(iso_); }

  std::string driver() const override { return "ISO 9660 image"; }

  bool read_raw(int32_t lsn, int32_t count, uint8_t *out) override {
    for (int32_t i = 0; i < count; ++i) {
      uint8_t *s = out + static_cast<size_t>(i) * kRawBytes;
      std::memset(s, 0, kRawBytes);
      write_sync_header(s, lsn + i, 1);
      if (read_data(lsn + i, 1, s + 16) != kDataBytes) return false;
    }
    return true;
  }

  int32_t read_data(int32_t lsn, int32_t count, uint8_t *out) override {
    if (count <= 0 || lsn < 0 || static_cast<int64_t>(lsn) + count > lead_out_) return 0;
    long n = iso9660_iso_seek_read(iso_, out, lsn, count);
    return n == static_cast<long>(count) * kDataBytes ? count * kDataBytes : 0;
  }

  int32_t disc_mode() const override { return CDIO_DISC_MODE_CD_DATA; }

 private:
  iso9660_t *iso_;
};

// ---- MODE2/2336 cue image, read directly ---------------------------------

class Mode2336Disc : public Disc {
 public:
  Mode2336Disc(int fd, const CueSheet &sheet, int64_t bytes) : fd_(fd) {
    const int32_t sectors = static_cast<int32_t>(std::min<int64_t>(bytes / kMode2Bytes, INT32_MAX));
    for (size_t i = 0; i < sheet.tracks.size(); ++i) {
      Track t;
      t.number = sheet.tracks[i].number;
      t.start = sheet.tracks[i].start;
      const int32_t end = i + 1 < sheet.tracks.size() ? sheet.tracks[i + 1].start : sectors;
      t.length = end - t.start;
      t.type = kTrackXa;
      tracks_.push_back(t);
    }
    lead_out_ = sectors;
  }
  ~Mode2336Disc() override { ::close(fd_); }

  std::string driver() const override { return "BIN/CUE 2336"; }

  bool read_raw(int32_t lsn, int32_t count, uint8_t *out) override {
    if (count <= 0 || lsn < 0 || static_cast<int64_t>(lsn) + count > lead_out_) return false;
    for (int32_t i = 0; i < count; ++i) {
      uint8_t *s = out + static_cast<size_t>(i) * kRawBytes;
      if (!read_at(fd_, static_cast<int64_t>(lsn + i) * kMode2Bytes, s + 16, kMode2Bytes)) return false;
      write_sync_header(s, lsn + i, 2);
    }
    return true;
  }

  int32_t read_data(int32_t lsn, int32_t count, uint8_t *out) override {
    if (count <= 0 || lsn < 0 || static_cast<int64_t>(lsn) + count > lead_out_) return 0;
    for (int32_t i = 0; i < count; ++i) {
      // Form 1 user data follows the 8-byte subheader.
      if (!read_at(fd_, static_cast<int64_t>(lsn + i) * kMode2Bytes + 8,
                   out + static_cast<size_t>(i) * kDataBytes, kDataBytes))
        return 0;
    }
    return count * kDataBytes;
  }

  int32_t disc_mode() const override { return CDIO_DISC_MODE_CD_XA; }

 private:
  int fd_;
};

std::unique_ptr<Disc> open_cdio(CdIo_t *cdio, bool device, std::string *reason) {
  if (!cdio) {
    if (reason->empty()) *reason = device ? "cannot open the device" : "libcdio cannot open the image";
    return nullptr;
  }
  auto disc = std::make_unique<CdioDisc>(cdio, device);
  if (!disc->load_toc(reason)) return nullptr;
  return disc;
}

// A cue sheet is checked first; libcdio opens X.cue only with X.bin beside
// it, so a sheet that names another file is refused with that reason.
std::unique_ptr<Disc> open_cue(const std::string &cue, std::string *reason) {
  const int64_t cue_bytes = file_bytes(cue);
  if (cue_bytes < 0) {
    *reason = "no such image";
    return nullptr;
  }
  if (cue_bytes > kMaxCueBytes) {
    *reason = "cue sheet larger than 1 MiB";
    return nullptr;
  }
  std::string text(static_cast<size_t>(cue_bytes), '\0');
  int fd = ::open(cue.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || !read_at(fd, 0, text.data(), text.size())) {
    if (fd >= 0) ::close(fd);
    *reason = "cannot read the cue sheet";
    return nullptr;
  }
  ::close(fd);
  const std::string bin = folder_of(cue) + stem_of(cue) + ".bin";
  CueSheet sheet = parse_cue(text, -1);
  if (!sheet.ok) {
    *reason = sheet.reason;
    return nullptr;
  }
  const std::string named = sheet.file.substr(sheet.file.find_last_of("/\\") + 1);
  if (named != stem_of(cue) + ".bin") {
    *reason = "libcdio opens X.cue only with X.bin beside it (this one names " + named + ")";
    return nullptr;
  }
  const int64_t bin_bytes = file_bytes(bin);
  if (bin_bytes < 0) {
    *reason = "no " + named + " beside the cue sheet";
    return nullptr;
  }
  sheet = parse_cue(text, bin_bytes);
  if (!sheet.ok) {
    *reason = sheet.reason;
    return nullptr;
  }
  if (sheet.mode2_2336) {
    int bfd = ::open(bin.c_str(), O_RDONLY | O_CLOEXEC);
    if (bfd < 0) {
      *reason = "cannot open " + named;
      return nullptr;
    }
    return std::make_unique<Mode2336Disc>(bfd, sheet, bin_bytes);
  }
  return open_cdio(cdio_open_cue(cue.c_str()), false, reason);
}

std::unique_ptr<Disc> open_nrg(const std::string &path, std::string *reason) {
  const int64_t bytes = file_bytes(path);
  int fd = bytes >= 12 ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    *reason = bytes < 0 ? "no such image" : "no NRG footer";
    return nullptr;
  }
  uint8_t footer[12];
  std::string problem = "no NRG footer";
  if (read_at(fd, bytes - 12, footer, sizeof footer)) {
    const int64_t start = nrg_chunk_offset(footer, static_cast<uint64_t>(bytes));
    if (start >= 0 && bytes - start <= 4096) {
      std::vector<uint8_t> tail(static_cast<size_t>(bytes - start));
      problem = read_at(fd, start, tail.data(), tail.size())
                    ? check_nrg(tail.data(), tail.size(), static_cast<uint64_t>(start),
                                static_cast<uint64_t>(bytes))
                    : "cannot read the NRG chunk list";
    } else if (start >= 0) {
      problem = "NRG chunk list longer than 4 KiB";
    }
  }
  ::close(fd);
  if (!problem.empty()) {
    *reason = problem;
    return nullptr;
  }
  return open_cdio(cdio_open_nrg(path.c_str()), false, reason);
}

}  // namespace

const Track *Disc::track(int32_t number) const {
  for (const Track &t : tracks_)
    if (t.number == number) return &t;
  return nullptr;
}

void write_sync_header(uint8_t *sector, int32_t lsn, uint8_t mode) {
  std::memcpy(sector, kSync, sizeof kSync);
  const int32_t a = lsn + kPregap;
  sector[12] = to_bcd(a / 4500 % 100);
  sector[13] = to_bcd(a / 75 % 60);
  sector[14] = to_bcd(a % 75);
  sector[15] = mode;
}

bool move_door(const std::string &path, bool open) {
  if (path.rfind("/dev/", 0) != 0 || !quiet_libcdio()) return false;
  if (open) return cdio_eject_media_drive(path.c_str()) == DRIVER_OP_SUCCESS;
  driver_id_t id = DRIVER_DEVICE;
  return cdio_close_tray(path.c_str(), &id) == DRIVER_OP_SUCCESS;
}

bool quiet_libcdio() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (cdio_loaded()) cdio_log_set_handler(quiet_handler);
  });
  return cdio_loaded();
}

std::unique_ptr<Disc> open_disc(const std::string &path, std::string *reason) {
  reason->clear();
  if (!quiet_libcdio()) {
    *reason = "libcdio is missing";
    return nullptr;
  }
  if (path.empty()) {
    *reason = "not mapped";
    return nullptr;
  }
  const std::string ext = lower_extension(path);
  if (path.rfind("/dev/", 0) == 0) return open_cdio(cdio_open(path.c_str(), DRIVER_DEVICE), true, reason);
  if (file_bytes(path) < 0) {
    *reason = "no such image";
    return nullptr;
  }
  if (ext == "iso") {
    iso9660_t *iso = iso9660_open(path.c_str());
    if (!iso) {
      *reason = "not an ISO 9660 image";
      return nullptr;
    }
    return std::make_unique<IsoDisc>(iso, file_bytes(path));
  }
  if (ext == "cue") return open_cue(path, reason);
  if (ext == "bin") {
    const std::string cue = folder_of(path) + stem_of(path) + ".cue";
    if (file_bytes(cue) >= 0) return open_cue(cue, reason);
    return open_cdio(cdio_open_bincue(path.c_str()), false, reason);
  }
  if (ext == "nrg") return open_nrg(path, reason);
  if (ext == "toc") return open_cdio(cdio_open_cdrdao(path.c_str()), false, reason);
  *reason = "not a device nor a .cue, .bin, .nrg, .toc or .iso image";
  return nullptr;
}

}  // namespace sectrel
