// main() of the window tests: the headless environment of every test binary
// plus the QApplication the widgets need.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
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
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
