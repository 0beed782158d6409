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

/// A stream's file name as the name of a parameterised case (letters,
/// digits and '_' only): "video_mpeg1.m1v" -> "video_mpeg1_m1v".
std::string case_name(const std::string &file);

}  // namespace testing_support
