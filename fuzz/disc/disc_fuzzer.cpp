// A fuzzed disc behind a fake sector library: the ISO 9660 lookups, the
// VIDEO_TS listing, Video CD recognition, title-set joining and
// angle-aware reading over it, and the NRG and cue-sheet checks over the
// same bytes. None may crash, hang, or read outside the disc or a buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "components/sectrel/image_checks.h"
#include "components/sectrel/sectrel.h"
#include "media/blocks/angle_reader.h"
#include "media/source/disc_file.h"
#include "media/source/disc_lookup.h"
#include "media/source/disc_structure.h"
#include "media/source/sector_api.h"
#include "media/state.h"

namespace {

constexpr int kDrive = 21;  // V:

// The disc: the input's bytes as 2048-byte data sectors; raw sectors are
// the same bytes at 2352-byte steps. Reads outside it fail.
struct Disc {
  const uint8_t *data = nullptr;
  size_t size = 0;
  uint8_t toc[8] = {};  // last track, track types, ...
  int64_t data_sectors() const { return static_cast<int64_t>(size / 2048); }
  int64_t raw_sectors() const { return static_cast<int64_t>(size / 2352); }
};
Disc g_disc;

int32_t fake_open(int32_t drive) { return drive == kDrive; }

int32_t fake_read_raw(int32_t drive, void *buf, int32_t first, int32_t count) {
  if (drive != kDrive || first < 0 || count <= 0 ||
      first + static_cast<int64_t>(count) > g_disc.raw_sectors())
    return 0;
  std::memcpy(buf, g_disc.data + static_cast<size_t>(first) * 2352, static_cast<size_t>(count) * 2352);
  return 1;
}
int32_t fake_read_raw8(int32_t drive, void *buf, int32_t first) {
  return fake_read_raw(drive, buf, first, 8);
}

int32_t fake_read_data(int32_t drive, void *buf, int32_t first, int32_t count) {
  if (drive != kDrive || first < 0 || count <= 0 ||
      first + static_cast<int64_t>(count) > g_disc.data_sectors())
    return 0;
  std::memcpy(buf, g_disc.data + static_cast<size_t>(first) * 2048, static_cast<size_t>(count) * 2048);
  return count * 2048;
}

int32_t fake_command(int32_t drive, int32_t cmd, int32_t param) {
  if (drive != kDrive && drive != 0) return 0;
  switch (cmd) {
    case SECTREL_CMD_READY:
      return 1;
    case SECTREL_CMD_LAST_TRACK:
      return static_cast<int32_t>(static_cast<uint32_t>(g_disc.toc[0]) << 16);
    case SECTREL_CMD_TRACK_TYPE:
      return g_disc.toc[1 + (param & 3)] % 3;
    case SECTREL_CMD_TRACK_START:
      return static_cast<int32_t>(g_disc.toc[5]) * 37 - 20;
    default:
      return 0;
  }
}

bool fake_is_cd(int32_t drive) { return drive == kDrive; }
uint32_t fake_serial(int32_t) { return 7; }

const dravik::SectorApi kFake = {fake_open,      fake_read_raw8, fake_read_raw, fake_command,
                                 fake_read_data, fake_is_cd,     fake_serial};

void angle_reading(dravik::State &s, const uint8_t *data, size_t size) {
  dravik::Source &src = s.source;
  src.type = dravik::SourceType::file;
  src.dvd = true;
  src.nav_pack = true;
  const int64_t sectors = g_disc.data_sectors();
  src.sectors = {true, kDrive, 0, static_cast<int32_t>(sectors)};
  src.size = static_cast<int32_t>(sectors * 2048);
  src.sector_scale = size > 0 && (data[0] & 1) ? 3 : 0;
  if (src.sector_scale) src.size = static_cast<int32_t>(sectors * src.sector_scale);
  src.lowest_start = 0;
  src.position = 0;
  dravik::select_angle(s, size > 1 ? data[1] % 10 : 0);
  dravik::rearm_angle_reading(s);
  std::vector<uint8_t> block(32 * 2048);
  // Every read moves on or ends: a bounded number of reads covers the
  // source several times over.
  for (int i = 0; i < 64; ++i) {
    const int32_t n = dravik::read_angle_aware_block(s, block.data());
    if (n < 0 || n > 32 * 2048 || src.position < 0 || src.position > src.size) __builtin_trap();
    if (n == 0) break;
    if (i == 3) dravik::select_angle(s, size > 2 ? data[2] % 10 : 2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Image checks on the raw bytes.
  if (size) {
    sectrel::check_nrg(data, size, 0, size);
    uint8_t footer[12] = {};
    std::memcpy(footer, data + (size > 12 ? size - 12 : 0), size < 12 ? size : 12);
    sectrel::nrg_chunk_offset(footer, size);
    sectrel::parse_cue(std::string_view(reinterpret_cast<const char *>(data), size),
                       static_cast<int64_t>(size));
  }
  g_disc = Disc{data, size, {}};
  if (size >= 8) std::memcpy(g_disc.toc, data + size - 8, 8);
  dravik::set_sector_api(&kFake);
  // One state for all runs (it is large); what a run leaves is reset.
  static dravik::State *const state = new dravik::State;
  dravik::State *s = state;
  s->listing.forget();
  s->settings.vcd_kind = 0;
  s->source = dravik::Source{};

  dravik::iso9660_lookup(kDrive, "V:\\MPEGAV\\AVSEQ01.DAT");
  dravik::disc_entry_lookup(kDrive, "V:/VIDEO_TS/VTS_01_1.VOB");
  if (auto f = dravik::find_disc_file("V:/MPEGAV/AVSEQ01.DAT")) {
    std::vector<uint8_t> buf(40000);
    dravik::read_disc_file(*f, 0, buf.data(), static_cast<int32_t>(buf.size()));
    dravik::read_disc_file(*f, 43, buf.data(), 5000);
  }
  dravik::recognise_video_cd(*s, kDrive);
  std::string name = "V:/VIDEO_TS/VTS_01_X.VOB";
  std::vector<char> request(name.begin(), name.end());
  request.push_back(0);
  request.push_back(1);
  request.push_back(static_cast<char>(size > 3 ? data[3] % 11 : 3));
  request.resize(request.size() + 8, 0);
  DravikJoinRequest r = {request.data(), static_cast<int32_t>(request.size())};
  dravik::join_title_set(*s, &r);
  angle_reading(*s, data, size);
  s->source = dravik::Source{};
  dravik::set_sector_api(nullptr);
  return 0;
}
