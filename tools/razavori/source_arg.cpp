#include "tools/razavori/source_arg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/media_api.h"
#include "platform/drive.h"

namespace razavori_cli {

namespace {

constexpr int kMaxEntries = 500;

bool parse_int(const std::string &s, int lo, int hi, int *out) {
  if (s.empty()) return false;
  char *end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (*end || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

uint8_t to_bcd(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }
int from_bcd(uint8_t v) { return (v >> 4) * 10 + (v & 15); }

// "X:" alone (with an optional separator).
bool is_bare_drive(const std::string &f) {
  return platform::drive_letter(f.c_str()) &&
         (f.size() == 2 || (f.size() == 3 && (f[2] == '/' || f[2] == '\\')));
}

bool is_joined_name(const std::string &f) {
  if (f.size() < 12) return false;
  std::string tail = f.substr(f.size() - 12);
  for (char &c : tail) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  tail[4] = tail[5] = '#';
  return tail == "VTS_##_X.VOB";
}

// A whole (small) file of the source through the media library's bare
// reading mode.
std::vector<uint8_t> read_small_file(const std::string &path, int32_t limit) {
  std::vector<uint8_t> bytes;
  if (SysOpen(path.c_str(), DRAVIK_START_RAW_VIDEO) == DRAVIK_HANDLE_NONE) return bytes;
  bytes.resize(static_cast<size_t>(limit));
  int32_t got = 0, n;
  while (got < limit && (n = SysReadVideo(bytes.data() + got, limit - got)) > 0) got += n;
  SysClose();
  bytes.resize(static_cast<size_t>(got));
  return bytes;
}

void set_name(SourceArg *arg, const std::string &name) {
  arg->buffer.assign(name.begin(), name.end());
  arg->buffer.push_back(0);
}

bool resolve_track(SourceArg *arg, char letter, std::string *error) {
  if (arg->track < 1 || arg->track > 99) {
    *error = "--track needs a number from 1 to 99";
    return false;
  }
  const int32_t drive = letter - 'A';
  const int32_t length = static_cast<int32_t>(SysControl(CTL_TRACK_LENGTH, drive << 16 | arg->track));
  if (length <= 0) {
    *error = std::string("drive ") + letter + ": has no track " + std::to_string(arg->track);
    return false;
  }
  set_name(arg, DRAVIK_TRACK_PLAYER_NAME);
  arg->buffer.push_back(static_cast<char>(drive));
  arg->buffer.push_back(static_cast<char>(arg->track - 1));
  return true;
}

bool resolve_joined(SourceArg *arg, std::string *error) {
  std::string part = arg->file;
  int last = 0;
  for (int n = 1; n <= 9; ++n) {
    part[part.size() - 5] = static_cast<char>('0' + n);
    if (SysFileSize(part.c_str()) < 0) break;
    last = n;
  }
  if (last == 0) {
    part[part.size() - 5] = '1';
    *error = "no " + part;
    return false;
  }
  set_name(arg, arg->file);
  arg->buffer.push_back(1);
  arg->buffer.push_back(static_cast<char>(last));
  arg->buffer.resize(arg->buffer.size() + 8, 0);
  DravikJoinRequest request = {arg->buffer.data(), static_cast<int32_t>(arg->buffer.size())};
  if (SysControl(CTL_JOIN_VTS, reinterpret_cast<intptr_t>(&request)) != 1) {
    *error = "parts 1 to " + std::to_string(last) + " of " + arg->file +
             " do not lie one after another on the disc";
    return false;
  }
  return true;
}

// --entry N (from 1) or MM:SS:FF.
bool resolve_entry(SourceArg *arg, std::string *error) {
  int m = 0, s = 0, f = 0;
  if (std::sscanf(arg->entry.c_str(), "%d:%d:%d", &m, &s, &f) == 3) {
    if (m < 0 || m > 99 || s < 0 || s > 59 || f < 0 || f > 74) {
      *error = "--entry MM:SS:FF out of range";
      return false;
    }
    arg->start = static_cast<uint32_t>(to_bcd(m)) << 16 | static_cast<uint32_t>(to_bcd(s)) << 8 | to_bcd(f);
    return true;
  }
  int n = 0;
  if (!parse_int(arg->entry, 1, kMaxEntries, &n)) {
    *error = "--entry needs a number from 1 or MM:SS:FF";
    return false;
  }
  const char letter = platform::drive_letter(arg->file.c_str());
  const auto entries = letter ? read_entry_points(letter) : std::vector<EntryPoint>{};
  if (n > static_cast<int>(entries.size())) {
    *error = "the disc has " + std::to_string(entries.size()) + " entry points";
    return false;
  }
  const EntryPoint &e = entries[static_cast<size_t>(n - 1)];
  arg->start = e.msf;
  if (is_bare_drive(arg->file)) {
    // The entry's track file: CD track 2 is the first MPEG track.
    char name[40];
    std::snprintf(name, sizeof name, "%c:/MPEGAV/AVSEQ%02d.DAT", letter, static_cast<int>(e.track - 1));
    if (SysFileSize(name) < 0)
      std::snprintf(name, sizeof name, "%c:/MPEG2/AVSEQ%02d.MPG", letter, static_cast<int>(e.track - 1));
    set_name(arg, name);
  }
  return true;
}

}  // namespace

bool take_disc_options(std::vector<std::string> &args, SourceArg *arg, std::string *error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    const bool ours = a == "--track" || a == "--entry" || a == "--angle";
    if (!ours) {
      rest.push_back(a);
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = a + " needs a value";
      return false;
    }
    const std::string &v = args[++i];
    if (a == "--track" && !parse_int(v, 1, 99, &arg->track)) {
      *error = "--track needs a number from 1 to 99";
      return false;
    }
    if (a == "--angle" && !parse_int(v, 0, 9, &arg->angle)) {
      *error = "--angle needs a number from 0 to 9";
      return false;
    }
    if (a == "--entry") arg->entry = v;
  }
  args = std::move(rest);
  return true;
}

bool resolve_source(SourceArg *arg, std::string *error) {
  const char letter = platform::drive_letter(arg->file.c_str());
  if (letter && platform::drive_device(letter).empty() && (is_bare_drive(arg->file) || arg->track)) {
    *error = std::string("drive ") + letter + ": is not mapped (razavori discs --map " + letter + "=PATH)";
    return false;
  }
  set_name(arg, arg->file);
  if (arg->track) {
    if (!letter || !is_bare_drive(arg->file)) {
      *error = "--track needs a drive (X:) as FILE";
      return false;
    }
    if (!resolve_track(arg, letter, error)) return false;
  } else if (letter && is_joined_name(arg->file)) {
    if (!resolve_joined(arg, error)) return false;
  } else if (is_bare_drive(arg->file) && arg->entry.empty()) {
    *error = "a drive as FILE needs --track N or --entry N";
    return false;
  }
  if (!arg->entry.empty() && !resolve_entry(arg, error)) return false;
  return true;
}

int strip_disc_options(int argc, char **argv, SourceArg *arg, const char *command) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  if (!take_disc_options(args, arg, &error)) {
    std::fprintf(stderr, "razavori %s: %s\n", command, error.c_str());
    return -1;
  }
  // What is left is a subsequence of argv: keep those pointers in order.
  int out = 1;
  for (int i = 1; i < argc && static_cast<size_t>(out - 1) < args.size(); ++i)
    if (args[static_cast<size_t>(out - 1)] == argv[i]) argv[out++] = argv[i];
  return out;
}

bool resolve_or_say(SourceArg *arg, const char *command) {
  std::string error;
  if (resolve_source(arg, &error)) return true;
  std::fprintf(stderr, "razavori %s: %s\n", command, error.c_str());
  return false;
}

int32_t open_source_arg(const SourceArg &arg, int32_t *length) {
  SysProbeBuffer(arg.name(), arg.size(), length);
  const int32_t handle = SysOpenBuffer(arg.name(), arg.size(), arg.start);
  if (handle != DRAVIK_HANDLE_NONE && arg.angle >= 0) {
    SysControl(CTL_ANGLE_SELECT, arg.angle);
    SysSeek(0, 0);  // the choice applies from the first unit
  }
  return handle;
}

std::vector<EntryPoint> read_entry_points(char letter) {
  std::vector<EntryPoint> entries;
  const std::string path = std::string(1, letter) + ":/VCD/ENTRIES.VCD";
  const std::vector<uint8_t> b = read_small_file(path, 2048);
  // "ENTRYVCD", version, profile, count (big-endian), then track and
  // address (BCD) of each.
  if (b.size() < 12 || std::memcmp(b.data(), "ENTRYVCD", 8) != 0) return entries;
  const int count = b[10] << 8 | b[11];
  for (int i = 0; i < count && i < kMaxEntries && 12 + 4 * i + 4 <= static_cast<int>(b.size()); ++i) {
    const uint8_t *e = b.data() + 12 + 4 * i;
    entries.push_back(
        {from_bcd(e[0]), static_cast<uint32_t>(e[1]) << 16 | static_cast<uint32_t>(e[2]) << 8 | e[3]});
  }
  return entries;
}

}  // namespace razavori_cli
