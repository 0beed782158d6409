// main() of every test binary.
#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

int main(int argc, char **argv) {
  testing_support::prepare_test_environment();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
