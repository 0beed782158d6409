// A fresh folder per test, removed afterwards, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/test_media.h"

namespace platform_test {

class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    // Parameterised test names carry '/', which must not become folders.
    std::replace(name.begin(), name.end(), '/', '_');
    dir_ = std::filesystem::path(testing_support::scratch_dir()) / name;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  std::string dir() const { return dir_.string(); }

  static void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string read_text(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path dir_;
};

// Points RAZAVORI_HOME at a folder for the life of the object, so bare INI
// names resolve there.
class ScopedHome {
 public:
  explicit ScopedHome(const std::string &folder) {
    const char *old = std::getenv("RAZAVORI_HOME");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("RAZAVORI_HOME", folder.c_str(), 1);
  }
  ~ScopedHome() {
    if (had_)
      setenv("RAZAVORI_HOME", old_.c_str(), 1);
    else
      unsetenv("RAZAVORI_HOME");
  }

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace platform_test
