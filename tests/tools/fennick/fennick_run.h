// Running the fennick program and reading its results with the oracles.
#pragma once

#include <string>
#include <vector>

#include "tests/components/encoder_support/encoder_support.h"

namespace fennick_test {

/// The fennick program of this build.
std::string fennick_binary();
/// Runs "fennick ARGS" under a time limit with TMPDIR set to `tmpdir` (when
/// given); stdout and stderr together.
encoder_test::ToolRun fennick(const std::string &args, const std::string &tmpdir = {});
/// Files in a folder (names only).
std::vector<std::string> folder_files(const std::string &dir);
/// A fresh empty folder under the test's scratch folder.
std::string fresh_folder(const std::string &name);

/// Times in seconds at which pictures turn bright (mean luma above 128)
/// and sound starts after silence, as ffmpeg's signalstats and
/// silencedetect see them.
struct Onsets {
  std::vector<double> flashes;
  std::vector<double> beeps;
};
Onsets onsets(const std::string &path);

/// Length of the first video stream from its picture count at `fps`, and of
/// the first audio stream from its frame count (1152 samples at 44.1 kHz);
/// -1 when there is none. Counts, not time stamps: the muxer's start
/// offsets do not enter.
double video_seconds(const std::string &path, double fps);
double audio_seconds(const std::string &path);

}  // namespace fennick_test
