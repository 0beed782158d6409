// main() of every test binary: headless drivers and a private settings
// folder unless the caller chose otherwise, so a test binary run by hand
// behaves as it does under ctest.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char **argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!std::getenv("RAZAVORI_HOME")) {
    auto home = std::filesystem::temp_directory_path() / ("razavori-home-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("RAZAVORI_HOME", home.c_str(), 1);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
