// What goes into a run of the converter and what comes out of it: the
// settings snapshot, the rows with their stream choices, status messages,
// progress and outcomes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fennick {

/// Video processing ("FENNICK" "VDOPROCESS").
enum class VideoProcessing : int32_t {
  kFast = 0,  ///< the engine's frame copy
  kMmx = 1,   ///< the engine's frame copy
  kHigh = 2   ///< our own smoothed conversion (the default)
};

/// Stream choices of one row, taken when the row is added or changed in the
/// window (or from the command line).
struct StreamChoice {
  int32_t audio_id = -1;       ///< stream id / sub-id to select; -1 keeps the source's choice
  int32_t subpicture_id = -1;  ///< subpicture burned into the pictures; -1 = "No Subpicture"
  int32_t angle = 0;           ///< 0 = any angle
};

/// One row of the list: input and output paths, its stream choices.
struct JobRow {
  std::string input;
  std::string output;
  StreamChoice streams;
};

/// Settings snapshot taken at the start of a run.
struct JobSettings {
  int32_t frame_rate_code = -1;  ///< -1 automatic (chosen afresh for each row), else 1..5
  int32_t layer = 2;             ///< MPEG audio layer 1 or 2
  int32_t audio_kbps = 224;      ///< audio bit rate
  bool video_cd = false;         ///< "MPEG file with VCD format"
  bool original_size = true;     ///< "Primal Image Size": output = source size
  int32_t width = 720;           ///< output size when original_size is off
  int32_t height = 480;
  bool shutdown_when_done = false;
  bool range_mode = false;  ///< convert only range_start..range_end percent
  int32_t range_start = 0;
  int32_t range_end = 100;
  VideoProcessing processing = VideoProcessing::kHigh;  ///< "VDOPROCESS"
  bool smooth_zoom = true;                              ///< "SMOOTHZOOM"
  bool overwrite = false;  ///< replace an existing output file (else the row fails)
  /// Folder under which each run makes its private temporary folder; empty
  /// = $TMPDIR, else /tmp.
  std::string temp_parent;
};

/// A status text: a string id of the engine's table with its arguments
/// (%s filled in order), plus a reason for failures.
struct StatusMessage {
  int32_t string_id = 0;
  std::vector<std::string> args;
  std::string reason;
};

/// Counts reported after each output picture of a row.
struct PictureProgress {
  int32_t row = 0;
  int64_t pictures_out = 0;       ///< pictures handed to the video encoder
  int64_t pictures_decoded = 0;   ///< source pictures decoded
  int64_t expected_pictures = 0;  ///< estimate for the range
  double source_seconds = 0;      ///< source display time reached
  int32_t percent = 0;            ///< as OnProgress
};

enum class RowOutcome : int32_t {
  kSuccess = 0,  ///< string 47
  kStopped = 1,  ///< string 51: a valid, shorter file
  kFailure = 2,  ///< string 45; no output file was made or changed
  kSkipped = 3   ///< not started because the run was stopped
};

struct RowResult {
  int32_t row = 0;
  RowOutcome outcome = RowOutcome::kFailure;
  std::string output;  ///< the file written (empty when none)
  std::string reason;  ///< why it failed, or notes (e.g. "no sound: silent track")
  int64_t pictures = 0;
  int32_t frame_rate_code = 0;  ///< the code the row was encoded at
};

struct RunSummary {
  std::vector<RowResult> rows;
  bool stopped = false;           ///< StopJobs was called during the run
  bool shutdown_pending = false;  ///< the run asked for a power-off
  int32_t failed = 0;             ///< rows with kFailure
};

}  // namespace fennick
