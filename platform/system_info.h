// The version query and the system code page, as the design asks Windows
// for them.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool nt_family = false;
};

/// The system answers as the NT family, version 5.1: the newest generation
/// the modules tell apart, so every "NT" and "NT 5 or later" path (buffered
/// reads, the multichannel output path, the newer overlay flags) is taken.
/// build carries the running kernel's major * 100 + minor, for logs only.
OsVersion os_version();
/// The running kernel's release text (uname), for logs.
std::string kernel_release();
/// The ANSI code page the user's locale corresponds to: 936 for Simplified
/// Chinese, 950 for Traditional Chinese, 932 for Japanese, 949 for Korean,
/// 1252 otherwise. Read from LC_ALL, then LC_CTYPE, then LANG.
uint32_t system_code_page();

}  // namespace platform
