// Settings files come from discs too (the browser's "NAME.ini"), so the
// private-profile reader and writer get arbitrary bytes: the input becomes
// the file, then every section and key found is read back as text and as an
// integer, one key is rewritten, one deleted and one section removed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/razavori-ini-fuzz-" + std::to_string(getpid()) + ".ini";
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  const char *file = path.c_str();
  auto sections = platform::profile_get_sections(file);
  for (const auto &s : sections) {
    for (const auto &k : platform::profile_get_keys(s.c_str(), file)) {
      platform::profile_get_string(s.c_str(), k.c_str(), "d", file);
      platform::profile_get_int(s.c_str(), k.c_str(), 7, file);
    }
  }
  if (!sections.empty()) {
    const char *first = sections.front().c_str();
    auto keys = platform::profile_get_keys(first, file);
    platform::profile_write_string(first, "FuzzKey", "value", file);
    if (!keys.empty()) platform::profile_write_string(first, keys.back().c_str(), nullptr, file);
    platform::profile_write_string(sections.back().c_str(), nullptr, nullptr, file);
  }
  std::remove(path.c_str());
  return 0;
}
