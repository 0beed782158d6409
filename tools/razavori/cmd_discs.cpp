// razavori discs [--map X=PATH] [--unmap X] [--eject X] [--close X]:
// the drive map and what each mapped drive holds: its device or image, the
// driver reading it, whether it is ready, its tracks, the Video CD kind and
// entry points, and the DVD title sets with whether their parts join.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "components/sectrel/sectrel.h"
#include "media/media_api.h"
#include "platform/drive.h"
#include "platform/ini.h"
#include "tools/razavori/command.h"
#include "tools/razavori/source_arg.h"

namespace razavori_cli {

namespace {

constexpr const char *kSettings = "RAZAVORI.INI";
constexpr const char *kDrives = "DRIVES";

int usage() {
  std::fprintf(stderr, "usage: razavori discs [--map X=PATH] [--unmap X] [--eject X] [--close X]\n");
  return 2;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// "X" or "X:" -> the letter, 0 when it is none.
char letter_of(const std::string &s) {
  if (s.empty() || s.size() > 2 || (s.size() == 2 && s[1] != ':')) return 0;
  const char l = upper(s[0]);
  return l >= 'A' && l <= 'Z' ? l : 0;
}

SectrelCommandFn drive_command() {
  return reinterpret_cast<SectrelCommandFn>(SysControl(CTL_DRIVE_ENTRY, 0));
}

const char *track_type(int32_t type) {
  switch (type) {
    case 0:
      return "XA (mode 2)";
    case 1:
      return "audio";
    default:
      return "data (mode 1)";
  }
}

const char *vcd_kind(intptr_t kind) {
  switch (kind) {
    case 1:
      return "Video CD";
    case 2:
      return "HQ Video CD";
    case 3:
      return "Super Video CD";
    default:
      return "none";
  }
}

std::string msf(uint32_t bcd) {
  char s[16];
  std::snprintf(s, sizeof s, "%02X:%02X:%02X", (bcd >> 16) & 0xFF, (bcd >> 8) & 0xFF, bcd & 0xFF);
  return s;
}

int32_t lsn_of(uint32_t bcd) {
  auto d = [](uint32_t v) { return static_cast<int32_t>((v >> 4) * 10 + (v & 15)); };
  return d((bcd >> 16) & 0xFF) * 4500 + d((bcd >> 8) & 0xFF) * 75 + d(bcd & 0xFF) - 150;
}

void list_title_sets(char letter) {
  bool any = false;
  for (int vts = 1; vts <= 99; ++vts) {
    char ifo[40];
    std::snprintf(ifo, sizeof ifo, "%c:/VIDEO_TS/VTS_%02d_0.IFO", letter, vts);
    if (SysFileSize(ifo) < 0) break;
    if (!any) std::printf("  VIDEO_TS title sets:\n");
    any = true;
    SourceArg arg;
    char joined[40];
    std::snprintf(joined, sizeof joined, "%c:/VIDEO_TS/VTS_%02d_X.VOB", letter, vts);
    arg.file = joined;
    std::string why;
    int parts = 0;
    for (int n = 1; n <= 9; ++n) {
      char vob[40];
      std::snprintf(vob, sizeof vob, "%c:/VIDEO_TS/VTS_%02d_%d.VOB", letter, vts, n);
      if (SysFileSize(vob) < 0) break;
      parts = n;
    }
    std::printf("    VTS_%02d: %d part%s", vts, parts, parts == 1 ? "" : "s");
    if (parts > 0 && resolve_source(&arg, &why)) {
      const char *f = arg.name() + std::strlen(arg.name()) + 3;
      int32_t first, sectors;
      std::memcpy(&first, f, 4);
      std::memcpy(&sectors, f + 4, 4);
      std::printf(", joins: yes (first sector %d, %d sectors)\n", first, sectors);
    } else {
      std::printf(", joins: no%s%s\n", why.empty() ? "" : " - ", why.c_str());
    }
  }
}

void list_drive(char letter) {
  const int32_t drive = letter - 'A';
  std::printf("%c: %s\n", letter, platform::drive_device(letter).c_str());
  SectrelDriveInfo info;
  SectrelDescribe(drive, &info);
  if (!info.ready) {
    std::printf("  ready: no (%s)\n", info.problem[0] ? info.problem : "unknown");
    return;
  }
  std::printf("  driver: %s\n  ready: yes\n", info.driver);
  const SectrelCommandFn cmd = drive_command();
  const int32_t last =
      static_cast<int32_t>(static_cast<uint32_t>(cmd(drive, SECTREL_CMD_LAST_TRACK, 0)) >> 16);
  std::printf("  tracks: %d (lead-out at LSN %d)\n", last, info.lead_out);
  for (int32_t t = 1; t <= last; ++t) {
    std::printf("    %2d  LSN %6d  length %6d  %s\n", t, cmd(drive, SECTREL_CMD_TRACK_START, t),
                cmd(drive, SECTREL_CMD_TRACK_LENGTH, t), track_type(cmd(drive, SECTREL_CMD_TRACK_TYPE, t)));
  }
  const intptr_t mpeg_tracks = SysControl(CTL_VCD_TRACKS, drive);
  const intptr_t kind = SysControl(CTL_VCD_KIND, 0);
  std::printf("  Video CD: %s (kind %d), MPEG tracks: %d\n", vcd_kind(kind), static_cast<int>(kind),
              static_cast<int>(mpeg_tracks));
  const auto entries = read_entry_points(letter);
  if (!entries.empty()) std::printf("  entry points:\n");
  for (size_t i = 0; i < entries.size(); ++i) {
    std::printf("    %2zu  track %d  %s  LSN %d\n", i + 1, entries[i].track, msf(entries[i].msf).c_str(),
                lsn_of(entries[i].msf));
  }
  list_title_sets(letter);
}

bool map(const std::string &spec) {
  const size_t eq = spec.find('=');
  const char letter = eq == std::string::npos ? 0 : letter_of(spec.substr(0, eq));
  if (!letter || eq + 1 >= spec.size()) {
    std::fprintf(stderr, "razavori discs: --map needs X=PATH\n");
    return false;
  }
  if (letter == 'A' || letter == 'B') {
    std::fprintf(stderr, "razavori discs: A: and B: cannot be CD drives\n");
    return false;
  }
  std::string path = spec.substr(eq + 1);
  if (path[0] != '/') {
    char *real = realpath(path.c_str(), nullptr);
    if (!real) {
      std::fprintf(stderr, "razavori discs: no such device or image: %s\n", path.c_str());
      return false;
    }
    path = real;
    std::free(real);
  }
  const char key[2] = {letter, 0};
  if (!platform::profile_write_string(kDrives, key, path.c_str(), kSettings)) {
    std::fprintf(stderr, "razavori discs: cannot write the settings file\n");
    return false;
  }
  return true;
}

bool door(const std::string &drive_arg, bool open) {
  const char letter = letter_of(drive_arg);
  if (!letter || platform::drive_device(letter).empty()) {
    std::fprintf(stderr, "razavori discs: %s is not a mapped drive\n", drive_arg.c_str());
    return false;
  }
  if (!drive_command()(letter - 'A', SECTREL_CMD_DOOR, open ? 1 : 0)) {
    std::fprintf(stderr, "razavori discs: the door of %c: did not move (an image has none)\n", letter);
    return false;
  }
  return true;
}

}  // namespace

int run_discs(int argc, char **argv) {
  bool acted = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string v = argv[++i];
    bool ok;
    if (a == "--map") {
      ok = map(v);
    } else if (a == "--unmap") {
      const char letter = letter_of(v);
      const char key[2] = {letter, 0};
      ok = letter && platform::profile_write_string(kDrives, key, nullptr, kSettings);
      if (!ok) std::fprintf(stderr, "razavori discs: --unmap needs a drive letter\n");
    } else if (a == "--eject" || a == "--close") {
      ok = door(v, a == "--eject");
    } else {
      return usage();
    }
    if (!ok) return 1;
    acted = true;
  }
  if (acted) return 0;
  const std::string letters = platform::mapped_drives();
  if (letters.empty()) std::printf("no drives mapped (razavori discs --map X=PATH)\n");
  for (char l : letters) list_drive(l);
  return 0;
}

}  // namespace razavori_cli
