#include "media/source/source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "components/sectrel/sectrel.h"
#include "media/blocks/angle_reader.h"
#include "media/blocks/block_reader.h"
#include "media/demux/demux.h"
#include "media/hooks/dvb_link.h"
#include "media/hooks/plugins.h"
#include "media/source/avi_source.h"
#include "media/source/disc_file.h"
#include "media/source/disc_lookup.h"
#include "media/source/sector_api.h"
#include "media/state.h"
#include "platform/file.h"

namespace dravik {

namespace {

constexpr int32_t kRawRun = 8;                               // sectors per raw read
constexpr int32_t kRawRunBytes = kRawRun * kRawSectorBytes;  // 18816
constexpr int32_t kDvdRun = 32;                              // sectors per DVD read
constexpr int32_t kDvdReadAhead = 16;

int32_t bcd(uint32_t v) { return static_cast<int32_t>((v >> 4) * 10 + (v & 15)); }

bool sector_access_available() { return sector_api().command(0, SECTREL_CMD_READY, 0) != 0; }

// A raw-sector path may be read by sectors when it is on a CD-ROM drive and
// is not a .DAT file, or is a .DAT file in MPEGAV or SEGMENT.
bool raw_path_qualifies(const std::string &path, int32_t drive) {
  if (drive < 0 || !sector_api().is_cd_drive(drive)) return false;
  if (!has_extension(path, "DAT")) return true;
  if (path.size() < 10) return false;
  std::string_view dir(path.data() + 3, 7);
  return equal_ignore_case(dir, "MPEGAV\\") || equal_ignore_case(dir, "MPEGAV/") ||
         equal_ignore_case(dir, "SEGMENT");
}

// Clears the data of a mode-2 raw sector the way players expect it: the
// sync/header/subheader (24 bytes) and the 4 trailing bytes become zero.
void blank_mode2_headers(uint8_t *sectors, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    uint8_t *p = sectors + i * kRawSectorBytes;
    if (p[15] == 2 && std::memcmp(p + 16, p + 20, 4) == 0) {
      std::memset(p, 0, 24);
      std::memset(p + kRawSectorBytes - 4, 0, 4);
    }
  }
}

// The file's bytes at pos: a file of a mapped drive from its sectors, any
// other from its descriptor.
int32_t read_source_at(const Source &src, int64_t pos, uint8_t *dst, int32_t len) {
  if (src.disc) return read_disc_file(*src.disc, pos, dst, len);
  return layer_read_at(src.file, pos, dst, len);
}

void clear_streams(State &s) {
  s.rings.video.clear();
  s.rings.audio.clear();
  s.rings.picture_mark = -1;
  s.rings.video_packets = s.rings.audio_packets = s.rings.spu_packets = 0;
  s.rings.raw_bytes = 0;
  store_video_avail(s);
  store_audio_avail(s);
}

// Raw sectors from a CD track or a raw-sector file by sector access. A
// failed read skips the 8 sectors while the disc is present.
int32_t read_cd_track_block(State &s, uint8_t *dst) {
  Source &src = s.source;
  const SectorApi &api = sector_api();
  for (;;) {
    int64_t sector = src.track_first + src.position / kRawSectorBytes;
    int64_t left = src.track_end - sector;
    if (left <= 0) return 0;
    int32_t count = left < kRawRun ? static_cast<int32_t>(left) : kRawRun;
    bool ok;
    if (count == kRawRun) {
      ok = api.read_raw8(src.drive, dst, static_cast<int32_t>(sector)) != 0;
    } else {
      std::memset(dst, 0, kRawRunBytes);
      ok = api.read_raw(src.drive, dst, static_cast<int32_t>(sector), count) != 0;
    }
    if (ok) {
      blank_mode2_headers(dst, count);
      src.position += static_cast<int64_t>(count) * kRawSectorBytes;
      return count * kRawSectorBytes;
    }
    if (api.command(src.drive, SECTREL_CMD_CANNOT_CONTINUE, 0)) return 0;
    src.position = (src.position / kRawSectorBytes) * kRawSectorBytes + kRawRunBytes;
  }
}

int32_t read_raw_sector_block(State &s, uint8_t *dst) {
  Source &src = s.source;
  if (!src.sectors.on) {
    int32_t n = read_source_at(src, src.position, dst, kRawRunBytes);
    src.position += n;
    return n;
  }
  const SectorApi &api = sector_api();
  while (src.position < src.size) {
    int64_t rel = src.position - kCdxaDataStart;
    if (rel < 0) rel = 0;
    int64_t sector = src.sectors.first_sector + rel / kRawSectorBytes;
    if (api.read_raw8(src.sectors.drive, dst, static_cast<int32_t>(sector))) {
      int64_t left = src.size - src.position;
      int32_t n = left < kRawRunBytes ? static_cast<int32_t>(left) : kRawRunBytes;
      src.position += n;
      return n;
    }
    if (api.command(src.sectors.drive, SECTREL_CMD_CANNOT_CONTINUE, 0)) return 0;
    // A bad sector on a present disc: go on 8 sectors later.
    src.position = kCdxaDataStart + (rel / kRawSectorBytes) * kRawSectorBytes + kRawRunBytes;
  }
  return 0;
}

// Sector index (from the start of the source) of a DVD position.
int64_t dvd_sector_of(const Source &src, int64_t pos) {
  return src.sector_scale ? pos / src.sector_scale : pos / kDvdSectorBytes;
}

int64_t total_dvd_sectors(const Source &src) {
  if (src.sectors.on) return src.sectors.sectors;
  return src.size / kDvdSectorBytes;
}

// count sectors of a DVD source from sector index first into dst.
int32_t read_dvd_sectors(State &s, int64_t first, int32_t count, uint8_t *dst) {
  Source &src = s.source;
  if (src.sectors.on) {
    int64_t left = src.sectors.sectors - first;
    if (left <= 0) return 0;
    if (count > left) count = static_cast<int32_t>(left);
    int32_t n = sector_api().read_data(src.sectors.drive, dst,
                                       static_cast<int32_t>(src.sectors.first_sector + first), count);
    if (n < 0) n = 0;
    if (n > count * kDvdSectorBytes) n = count * kDvdSectorBytes;
    return n;
  }
  return read_source_at(src, first * kDvdSectorBytes, dst, count * kDvdSectorBytes);
}

int32_t read_dvd_block(State &s, uint8_t *dst) {
  Source &src = s.source;
  if (!src.sectors.on) {
    int32_t n = read_source_at(src, src.position, dst, kBlockBytes);
    src.position += n;
    return n;
  }
  int64_t first = dvd_sector_of(src, src.position);
  int32_t n = read_dvd_sectors(s, first, kDvdRun, dst);
  if (src.sector_scale) {
    src.position += static_cast<int64_t>(n / kDvdSectorBytes) * src.sector_scale;
  } else {
    src.position += n;
  }
  return n;
}

// The first quarter of a DVD source is searched for a navigation pack (a
// DSI packet at offset 1024 of a sector); -> its sector index or -1.
int64_t find_navigation_pack(State &s) {
  static constexpr uint8_t kDsi[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
  const int64_t quarter = total_dvd_sectors(s.source) / 4;
  auto buf = std::make_unique<uint8_t[]>(kDvdRun * kDvdSectorBytes);
  for (int64_t first = 0; first < quarter; first += kDvdRun) {
    int32_t n = read_dvd_sectors(s, first, kDvdRun, buf.get());
    int32_t sectors = n / kDvdSectorBytes;
    for (int32_t i = 0; i < sectors && first + i < quarter; ++i) {
      if (std::memcmp(buf.get() + i * kDvdSectorBytes + 1024, kDsi, sizeof kDsi) == 0) return first + i;
    }
    if (sectors < kDvdRun) break;
  }
  return -1;
}

bool open_cd_track(State &s, const PathForm &path) {
  const SectorApi &api = sector_api();
  if (!api.open_drive(path.drive)) return false;
  api.command(path.drive, SECTREL_CMD_PREPARE, 0);
  int32_t first = api.command(path.drive, SECTREL_CMD_TRACK_START, path.track);
  int32_t length = api.command(path.drive, SECTREL_CMD_TRACK_LENGTH, path.track);
  if (length <= 0 || first < 0) {
    api.command(path.drive, SECTREL_CMD_RELEASE, 0);
    return false;
  }
  Source &src = s.source;
  src.type = SourceType::cd_track;
  src.handle = DRAVIK_HANDLE_CD_TRACK;
  src.drive = path.drive;
  src.size = static_cast<int64_t>(length) * kRawSectorBytes;
  src.track_first = first;
  src.track_end = first + src.size / kRawSectorBytes;
  return true;
}

bool open_file_source(State &s, const PathForm &path, std::string file_name) {
  Source &src = s.source;
  const int32_t drive = drive_of_path(file_name);
  const bool on_cd = drive >= 0 && sector_api().is_cd_drive(drive);
  if (on_cd) {
    src.drive = drive;
    if (s.settings.drive_param_set) {
      const SectorApi &api = sector_api();
      for (int i = 0; i < 11 && !api.command(drive, SECTREL_CMD_PARAM_READY, 0); ++i) {
      }
      api.command(drive, SECTREL_CMD_DRIVE_PARAM, s.settings.drive_param);
    }
  }
  // A file of a mapped drive is served by its sectors; the descriptor then
  // only stands for the open source.
  if (auto disc = find_disc_file(file_name)) src.disc = std::make_shared<const DiscFile>(*disc);
  // (the platform's open refuses character devices, so /dev/null is
  // opened here).
  if (src.disc) {
    src.file.handle = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  } else {
    src.file = layer_open(s.hooks, file_name.c_str());
  }
  if (!src.file.is_open()) return false;
  src.fd = src.file.os_fd();
  src.handle = src.file.handle;
  src.type = SourceType::file;
  src.path = path.name;
  const int64_t size = src.disc ? src.disc->size : layer_size(src.file);
  src.size = size < 0 ? 0 : size;

  uint8_t head[kCdxaDataStart] = {};
  if (read_source_at(src, 0, head, kCdxaDataStart) == kCdxaDataStart && std::memcmp(head, "RIFF", 4) == 0 &&
      std::memcmp(head + 8, "CDXA", 4) == 0 && std::memcmp(head + 12, "fmt ", 4) == 0) {
    src.raw_sector = true;
  }
  src.dvd = path.kind == PathKind::joined_set || has_extension(file_name, "VOB");
  src.joined = path.kind == PathKind::joined_set;

  if (src.joined) {
    JoinedSize js = joined_set_size(path.sectors);
    src.size = js.size;
    src.sector_scale = js.scale;
    if (sector_access_available())
      src.sectors = {true, drive < 0 ? 0 : drive, path.first_sector, path.sectors};
  } else if (src.disc && (src.raw_sector || src.dvd)) {
    src.sectors = {true, src.disc->drive, src.disc->first_sector, src.disc->sectors};
  } else if (sector_access_available()) {
    if (src.raw_sector && s.settings.cdxa_direct && raw_path_qualifies(file_name, drive)) {
      if (auto e = iso9660_lookup(drive, file_name)) src.sectors = {true, drive, e->first_sector, e->sectors};
    } else if (src.dvd && on_cd) {
      if (auto e = s.listing.lookup(drive, file_name))
        src.sectors = {true, drive, e->first_sector, e->sectors};
    }
  }
  src.data_start = src.raw_sector ? kCdxaDataStart : 0;
  src.position = src.data_start;
  if (src.dvd) {
    int64_t nav = find_navigation_pack(s);
    if (nav >= 0) {
      src.nav_pack = true;
      rearm_angle_reading(s);
      src.position = src.sector_scale ? nav * src.sector_scale : nav * kDvdSectorBytes;
    }
  }
  return true;
}

// A Video CD entry point more than 8 sectors after the file's first sector
// starts the reading there and becomes the floor of later seeks.
void apply_entry_point(State &s, uint32_t start) {
  const uint8_t *b = s.parse.bytes.get();
  if (s.parse.valid_bytes < 15) return;
  const uint32_t first_msf = static_cast<uint32_t>(b[12]) << 16 | b[13] << 8 | b[14];
  const int32_t first = bcd_address_to_sector(first_msf);
  const int32_t entry = bcd_address_to_sector(start);
  if (entry - first < 9) return;
  const int64_t pos = kCdxaDataStart + static_cast<int64_t>(kRawSectorBytes) * (entry - first);
  // An entry at or past the end would leave nothing to read: start at the
  // beginning, as for an earlier one.
  if (pos >= s.source.size) return;
  s.source.position = pos;
  s.source.lowest_start = pos;
  load_parse_block(s);
}

// "DVBStream.DVB": the stream the DVB library serves, when it is loaded.
bool open_dvb_source(State &s) {
  if (!dvb_loaded(s) || !dvb_open(s)) return false;
  Source &src = s.source;
  src.type = SourceType::dvb;
  src.handle = DRAVIK_HANDLE_DVB;
  src.path = DRAVIK_DVB_NAME;
  src.size = dvb_info(s, RIVENNE_INFO_SIZE);
  src.dvb_mix = dvb_info(s, RIVENNE_INFO_MIX);
  return true;
}

}  // namespace

int32_t read_dvd_source_sectors(State &s, int64_t first, int32_t count, uint8_t *dst) {
  return read_dvd_sectors(s, first, count, dst);
}

int32_t bcd_address_to_sector(uint32_t msf) {
  return bcd((msf >> 16) & 0xFF) * 4500 + bcd((msf >> 8) & 0xFF) * 75 + bcd(msf & 0xFF) - 150;
}

int64_t snap_raw_sector(int64_t pos) {
  if (pos <= kCdxaDataStart) return kCdxaDataStart;
  return kCdxaDataStart + ((pos - kCdxaDataStart) / kRawSectorBytes) * kRawSectorBytes;
}

int32_t open_source(State &s, const PathForm &path, uint32_t start, bool analyse) {
  // A source left open would leak its descriptor; close it first.
  if (s.source.type != SourceType::none) close_source(s);
  const Opener opener = s.next_opener;
  s.next_opener = Opener::mpeg;
  if (opener == Opener::avi) return open_avi_source(s, path.name.c_str());
  if (opener == Opener::plugin) {
    s.source = Source{};
    clear_streams(s);
    s.raw_mode = 0;
    // The bare elementary starts mean nothing to a plug-in.
    const bool raw = start == DRAVIK_START_RAW_VIDEO || start == DRAVIK_START_RAW_AUDIO;
    if (path.kind == PathKind::file && open_plugin_source(s, path.name, raw ? 0 : start))
      return s.source.handle;
    s.source = Source{};
    return -1;
  }
  if (opener != Opener::mpeg) return -1;

  s.source = Source{};
  clear_streams(s);
  s.end.store(false);
  s.select.video_id = s.select.audio_id = s.select.spu_id = -1;
  s.select.video_seen = SeenList{};
  s.select.audio_seen = SeenList{};
  s.select.spu_seen_ages = SeenList{};
  s.select.spu_seen = DravikSpuTable{};
  reset_parser(s);

  bool ok = false;
  switch (path.kind) {
    case PathKind::track_player:
      ok = open_cd_track(s, path);
      break;
    case PathKind::dvb:
      ok = open_dvb_source(s);
      break;
    case PathKind::joined_set: {
      std::string first = path.name;
      first[first.size() - 5] = static_cast<char>('0' + path.first_part % 10);
      ok = open_file_source(s, path, first);
      break;
    }
    case PathKind::file:
      ok = open_file_source(s, path, path.name);
      break;
    case PathKind::refused:
      break;
  }
  if (!ok) {
    layer_close(s.source.file);
    s.source = Source{};
    return -1;
  }

  if (s.source.type != SourceType::dvb) dvb_note_open(s, path.name.c_str());
  s.raw_mode = start == DRAVIK_START_RAW_VIDEO ? 1 : start == DRAVIK_START_RAW_AUDIO ? 2 : 0;
  set_block_count(s, s.source.dvd ? kDvdReadAhead : 1);
  if (s.raw_mode == 0) {
    load_parse_block(s);
    if (s.source.raw_sector && start >= 1 && start <= 0xFFFFFF) apply_entry_point(s, start);
    if (analyse) opening_analysis(s);
  }
  return s.source.handle;
}

int64_t seek_source(State &s, int64_t pos, int32_t origin) {
  Source &src = s.source;
  if (src.type == SourceType::none) return -1;
  if (src.type == SourceType::avi) return seek_avi_source(pos, origin);
  if (src.type == SourceType::plugin) {
    return seek_plugin_source(s, static_cast<int32_t>(pos), origin);
  }
  if (s.raw_mode != 0) {
    if (pos == 0 && origin == 1) return src.position;
    int64_t base = origin == 1 ? src.position : origin == 2 ? src.size : 0;
    int64_t target = base + pos;
    src.position = target < 0 ? 0 : target;
    s.rings.raw_bytes = 0;
    return src.position;
  }
  // Blocks read ahead are not yet the reader's: positions count from the
  // next block the parser takes.
  const int64_t here = s.read_ahead.next_position(s);
  if (pos == 0 && origin == 1) return here;

  s.end.store(false);
  stop_block_reader_for_seek(s);
  clear_streams(s);
  reset_parser(s);
  if (src.type != SourceType::dvb) dvb_note_seek(s, pos, origin);

  int64_t target = pos;
  if (src.raw_sector && origin == 0) target = snap_raw_sector(target);
  if (origin == 1) target += here;
  if (origin == 2) target += src.size;
  if (src.raw_sector && !src.sector_scale) target = snap_raw_sector(target);
  if (target < src.lowest_start) target = src.lowest_start;
  if (target < 0) target = 0;
  if (src.dvd && !src.sector_scale) target &= ~static_cast<int64_t>(kDvdSectorBytes - 1);
  if (src.type == SourceType::dvb) {
    const int64_t at = dvb_seek(s, target, 0);
    if (at >= 0) target = at;
  }
  src.position = target;
  if (src.nav_pack) rearm_angle_reading(s);

  int32_t n = load_parse_block(s);
  s.queue.clear();
  wake_block_reader(s);
  return n > 0 ? target : -1;
}

void close_source(State &s) {
  Source &src = s.source;
  if (src.type == SourceType::none) return;
  if (src.type == SourceType::avi) close_avi_source(s);
  if (src.type == SourceType::plugin) {
    close_plugin_source(s);
    src = Source{};
    return;
  }
  // The reader stops before the descriptor goes: a round in progress holds
  // the I/O lock, which the stop takes, and no round starts after it.
  stop_block_reader_for_close(s);
  layer_close(src.file);
  if (src.type == SourceType::dvb) {
    dvb_close(s);
  } else {
    dvb_note_close(s);
  }
  if (src.type == SourceType::cd_track) sector_api().command(src.drive, SECTREL_CMD_RELEASE, 0);
  src = Source{};
  s.raw_mode = 0;
}

namespace {

int32_t read_block_of(State &s, uint8_t *dst) {
  Source &src = s.source;
  switch (src.type) {
    case SourceType::cd_track:
      return read_cd_track_block(s, dst);
    case SourceType::dvb: {
      const int32_t n = dvb_read(s, dst, kBlockBytes);
      src.position += n;
      return n;
    }
    case SourceType::file:
      if (src.raw_sector) return read_raw_sector_block(s, dst);
      if (src.dvd && src.nav_pack) return read_angle_aware_block(s, dst);
      if (src.dvd) return read_dvd_block(s, dst);
      {
        int32_t n = read_source_at(src, src.position, dst, kBlockBytes);
        src.position += n;
        return n;
      }
    default:
      return 0;
  }
}

}  // namespace

int32_t read_source_block(State &s, uint8_t *dst) {
  const int32_t n = read_block_of(s, dst);
  if (n > 0 && s.source.type != SourceType::dvb) dvb_note_block(s, dst, n);
  return n;
}

int32_t read_raw_elementary(State &s, void *buf, int32_t len) {
  Source &src = s.source;
  if (src.type != SourceType::file || len <= 0) return 0;
  int32_t n = read_source_at(src, src.position, static_cast<uint8_t *>(buf), len);
  src.position += n;
  s.rings.raw_bytes += n;
  return n;
}

}  // namespace dravik
