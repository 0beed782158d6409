#include "platform/system_info.h"

#include <strings.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>

namespace platform {

OsVersion os_version() {
  OsVersion v;
  v.major = 5;
  v.minor = 1;
  v.nt_family = true;
  utsname u;
  if (uname(&u) == 0) {
    unsigned kmajor = 0, kminor = 0;
    const char *p = u.release;
    while (*p >= '0' && *p <= '9') kmajor = kmajor * 10 + unsigned(*p++ - '0');
    if (*p == '.') ++p;
    while (*p >= '0' && *p <= '9') kminor = kminor * 10 + unsigned(*p++ - '0');
    v.build = (kmajor % 1000) * 100 + kminor % 100;
  }
  return v;
}

std::string kernel_release() {
  utsname u;
  return uname(&u) == 0 ? std::string(u.release) : std::string();
}

uint32_t system_code_page() {
  const char *locale = nullptr;
  for (const char *var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char *v = std::getenv(var);
    if (v && *v) {
      locale = v;
      break;
    }
  }
  if (!locale) return 1252;
  auto starts = [&](const char *prefix) { return strncasecmp(locale, prefix, std::strlen(prefix)) == 0; };
  if (starts("zh_TW") || starts("zh_HK") || starts("zh_MO")) return 950;
  if (starts("zh")) return 936;
  if (starts("ja")) return 932;
  if (starts("ko")) return 949;
  return 1252;
}

}  // namespace platform
