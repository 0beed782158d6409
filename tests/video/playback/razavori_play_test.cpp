// `razavori play` without a terminal plays the file to its end and leaves:
// the run lasts about as long as the stream, and it ends by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/support/test_media.h"

namespace {

std::string razavori() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/bin/razavori";
}

struct Case {
  const char *name;
  double seconds;  // length of the stream
};

class RazavoriPlay : public ::testing::TestWithParam<Case> {};

INSTANTIATE_TEST_SUITE_P(Files, RazavoriPlay,
                         ::testing::Values(Case{"mpeg1_system.mpg", 3.0},
                                           Case{"audio_l2_48k_stereo.mp2", 3.0}),
                         [](const auto &info) { return testing_support::case_name(info.param.name); });

TEST_P(RazavoriPlay, PlaysToTheEndWithoutATerminal) {
  const std::string path = testing_support::media_path(GetParam().name);
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system((razavori() + " play '" + path + "' < /dev/null > /dev/null").c_str());
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(rc, 0);
  // Played in real time, not skipped through: at least most of its length.
  EXPECT_GE(took, GetParam().seconds * 0.8);
}

TEST(RazavoriPlayErrors, AFileThatCannotBeOpenedIsReported) {
  const int rc = std::system((razavori() + " play /nonexistent/file.mpg < /dev/null 2> /dev/null").c_str());
  EXPECT_NE(rc, 0);
  EXPECT_NE(std::system((razavori() + " play < /dev/null 2> /dev/null").c_str()), 0);
}

}  // namespace
