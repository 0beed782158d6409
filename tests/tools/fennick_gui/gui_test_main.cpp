// main() of the window tests: the environment of every test binary plus
// the QApplication the widgets need.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/test_environment.h"

int main(int argc, char **argv) {
  testing_support::prepare_test_environment();
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
