// Drives as the design knows them ("X:"): a drive is an entry of the drive
// map, section "DRIVES" of "RAZAVORI.INI", key = drive letter, value = a
// device (/dev/sr0) or a disc image (.cue/.bin, .iso). Every mapped drive
// is a CD-ROM drive.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// GetDriveType's answers, with their Windows values.
enum class DriveType : uint32_t {
  unknown = 0,
  no_root_dir = 1,
  removable = 2,
  fixed = 3,
  remote = 4,
  cdrom = 5,
  ramdisk = 6,
};

/// The device or image mapped to a drive letter (either case), or "".
std::string drive_device(char letter);
/// The drive letter of a drive path ("X:", "x:\", "X:/", "X:\VIDEO_TS"),
/// upper case, or 0 when path is no drive path.
char drive_letter(const char *path);
/// Type of a drive root: cdrom for a mapped drive letter, no_root_dir for
/// an unmapped one; an ordinary Linux folder is fixed, anything else
/// no_root_dir.
DriveType drive_type(const char *root);
/// The mapped drive letters, upper case, in alphabetical order.
std::string mapped_drives();

}  // namespace platform
