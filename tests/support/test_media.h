// Where tests find their inputs: the generated test streams with their
// ffmpeg references, the bundled samples, and a private scratch folder.
#pragma once

#include <string>

namespace testing_support {

/// Folder holding the generated streams (RAZAVORI_TEST_MEDIA, else the
/// build tree's test-media folder).
std::string media_dir();
/// media_dir() + "/" + name.
std::string media_path(const std::string &name);
/// The source tree's samples/ folder + "/" + name.
std::string sample_path(const std::string &name);
/// A fresh, empty folder for this test binary's outputs.
std::string scratch_dir();

}  // namespace testing_support
