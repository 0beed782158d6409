// Private-profile (INI) files with the Win32 semantics the modules rely on:
// case-insensitive sections and keys, defaults, integer reads, writing and
// deleting keys and whole sections. A bare file name (no '/') lives in the
// suite's settings folder (settings_folder()); a path is used as it is.
// Either way the file name itself is matched case-insensitively, so
// "RAZAVORI.INI" finds an existing "razavori.ini".
//
// Comments and lines the reader does not understand are kept when a file is
// rewritten; a rewrite goes to a temporary file that then replaces the old
// one, so a crash never leaves half a settings file. Calls from several
// threads of one process are serialised.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

/// The settings folder: $RAZAVORI_HOME if set, else $XDG_CONFIG_HOME/razavori,
/// else ~/.config/razavori. Created on first use.
std::string settings_folder();
/// Full path of an INI file named by the modules ("RAZAVORI.INI", ...).
std::string profile_path(const char *file);

/// GetPrivateProfileString: the value of key in section, blanks around it
/// removed (and one pair of enclosing quotes), or def (trailing blanks
/// removed; null counts as "") when the key or file is missing.
std::string profile_get_string(const char *section, const char *key, const char *def, const char *file);
/// GetPrivateProfileInt: the leading decimal integer of the value ("12abc"
/// gives 12, "-5" gives -5, no digits give 0); def when the key is missing
/// or its value empty.
int32_t profile_get_int(const char *section, const char *key, int32_t def, const char *file);
/// WritePrivateProfileString: sets key = value, creating the section and the
/// file as needed. value null deletes the key; key null deletes the section.
/// Deleting what does not exist succeeds and creates nothing. Returns false
/// when section is null or the file cannot be written.
bool profile_write_string(const char *section, const char *key, const char *value, const char *file);
/// The key names of section in file order (the first spelling of each), as
/// GetPrivateProfileString with a null key lists them.
std::vector<std::string> profile_get_keys(const char *section, const char *file);
/// The section names in file order, as GetPrivateProfileString with a null
/// section lists them.
std::vector<std::string> profile_get_sections(const char *file);

}  // namespace platform
