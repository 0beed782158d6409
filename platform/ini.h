// Private-profile (INI) files with the Win32 semantics the modules rely on:
// case-insensitive sections and keys, defaults, integer reads, writing and
// deleting keys and whole sections. A bare file name (no '/') lives in the
// suite's settings folder (settings_folder()); a path is used as it is.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// The settings folder: $RAZAVORI_HOME if set, else $XDG_CONFIG_HOME/razavori,
/// else ~/.config/razavori. Created on first use.
std::string settings_folder();
/// Full path of an INI file named by the modules ("RAZAVORI.INI", ...).
std::string profile_path(const char *file);

/// GetPrivateProfileString: the value of key in section, blanks around it
/// removed (and one pair of enclosing quotes), or def when the key or file
/// is missing.
std::string profile_get_string(const char *section, const char *key, const char *def, const char *file);
/// GetPrivateProfileInt: the leading decimal integer of the value ("12abc"
/// gives 12, "-5" gives -5, no digits give 0); def when the key is missing
/// or its value empty.
int32_t profile_get_int(const char *section, const char *key, int32_t def, const char *file);
/// WritePrivateProfileString: sets key = value, creating the section and the
/// file as needed. value null deletes the key; key null deletes the section.
bool profile_write_string(const char *section, const char *key, const char *value, const char *file);

}  // namespace platform
