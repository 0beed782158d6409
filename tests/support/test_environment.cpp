#include "tests/support/test_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

void prepare_test_environment() {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!std::getenv("RAZAVORI_HOME")) {
    auto home = std::filesystem::temp_directory_path() / ("razavori-home-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("RAZAVORI_HOME", home.c_str(), 1);
  }
}

}  // namespace testing_support
