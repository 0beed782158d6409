// The environment every test binary runs in: headless drivers and a private
// settings folder unless the caller chose otherwise, so a test binary run
// by hand behaves as it does under ctest.
#pragma once

namespace testing_support {

/// Sets the environment up; call first thing in main().
void prepare_test_environment();

}  // namespace testing_support
