#include "tests/support/test_media.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace testing_support {

static std::string env_or(const char *name, const char *fallback) {
  const char *v = std::getenv(name);
  return v && *v ? v : fallback;
}

std::string media_dir() { return env_or("RAZAVORI_TEST_MEDIA", RAZAVORI_TEST_MEDIA_DEFAULT); }

std::string media_path(const std::string &name) { return media_dir() + "/" + name; }

std::string sample_path(const std::string &name) {
  return env_or("RAZAVORI_SOURCE_DIR", RAZAVORI_SOURCE_DIR_DEFAULT) + "/samples/" + name;
}

std::string scratch_dir() {
  static std::string dir = [] {
    auto base = std::filesystem::temp_directory_path() / ("razavori-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    return base.string();
  }();
  return dir;
}

std::string case_name(const std::string &file) {
  std::string n = file;
  for (char &c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return n;
}

}  // namespace testing_support
