// The FILE argument of the subcommands. Besides ordinary paths it takes
// files of mapped drives and their disc forms:
//   X:/MPEGAV/AVSEQ01.DAT          a file of the disc in drive X
//   X:/VIDEO_TS/VTS_01_X.VOB       a title set joined from part 1 to the
//                                  last part present
//   X: --track N                   CD track N read by raw sectors
//   --entry N | --entry MM:SS:FF   start a Video CD track at entry point N
//                                  of VCD/ENTRIES.VCD (from 1) or at an
//                                  address; "X: --entry N" picks the track
//   --angle N                      play angle N of a multi-angle title
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace razavori_cli {

struct SourceArg {
  std::string file;          // as given
  std::vector<char> buffer;  // what SysProbeBuffer / SysOpenBuffer take
  uint32_t start = 0;        // SysOpen's start (an entry point or 0)
  int32_t angle = -1;        // -1: leave the angle alone
  int32_t track = 0;         // --track N, 0 none
  std::string entry;         // --entry as given

  const char *name() const { return buffer.data(); }
  int32_t size() const { return static_cast<int32_t>(buffer.size()); }
};

/// Takes --track, --entry and --angle (with their values) out of argv,
/// leaving the other arguments in order. false with a message in *error
/// when a value is missing or malformed.
bool take_disc_options(std::vector<std::string> &args, SourceArg *arg, std::string *error);

/// take_disc_options on argv[1..argc) in place: -> the new argc, or -1
/// after printing "razavori COMMAND: cause".
int strip_disc_options(int argc, char **argv, SourceArg *arg, const char *command);

/// resolve_source with the cause printed as "razavori COMMAND: cause".
bool resolve_or_say(SourceArg *arg, const char *command);

/// Turns arg->file and the options into the path buffer. false with a
/// message naming the cause (unmapped drive, no such track or entry, title
/// set parts not one after another on the disc).
bool resolve_source(SourceArg *arg, std::string *error);

/// SysProbeBuffer + SysOpenBuffer of the resolved argument, then the angle.
/// -> the source handle, -1 when it cannot be opened.
int32_t open_source_arg(const SourceArg &arg, int32_t *length);

/// The Video CD entry points of the disc in drive (VCD/ENTRIES.VCD): CD
/// track numbers and BCD addresses 0x00MMSSFF. Empty when there is none.
struct EntryPoint {
  int32_t track;
  uint32_t msf;
};
std::vector<EntryPoint> read_entry_points(char drive_letter);

}  // namespace razavori_cli
