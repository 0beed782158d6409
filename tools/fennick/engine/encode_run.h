// One row's encoding run on the encode thread: the engine's pictures picked
// by display time for each output picture, scaled and handed to the video
// encoder, the sound due for each picture to the audio encoder.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "tools/common/frame_rate.h"
#include "tools/fennick/engine/job_types.h"
#include "tools/fennick/engine/picture_feed.h"

namespace fennick {

class JobObserver;

/// What EncodeRun needs; the source is open in the engine and stopped.
struct EncodeJob {
  std::string video_temp;
  std::string audio_temp;
  int32_t start_percent = 0;  ///< 0..100
  int32_t end_percent = 100;
  bool range = false;  ///< stop at the end byte
  int32_t row = 0;
  int32_t source_width = 0;
  int32_t source_height = 0;
  int32_t out_width = 0;
  int32_t out_height = 0;
  tools_common::FrameRate source_rate{1, 1};
  int32_t frame_rate_code = 3;  ///< output code, 1..8
  int32_t layer = 2;
  int32_t audio_kbps = 224;
  bool video_cd = false;
  bool wide = false;  ///< the source shows 16:9
  VideoProcessing processing = VideoProcessing::kHigh;
  bool smooth_zoom = true;
  ShownPicture *shown = nullptr;  ///< filled by the open's host display
  const std::atomic<int32_t> *stop = nullptr;
  JobObserver *observer = nullptr;
};

struct EncodeResult {
  bool ok = false;       ///< both encoders closed cleanly with pictures written
  bool stopped = false;  ///< the stop counter ended the loop
  int64_t pictures = 0;  ///< output pictures
  int64_t decoded = 0;   ///< source pictures stepped through
  std::string reason;    ///< why it failed
  std::string note;      ///< e.g. a silent track stood in for the sound
};

/// The byte rate of the open source (bytes per second; 0 when unknown).
int32_t source_byte_rate();
/// The byte rate from the headers' bit rates and the pack overhead.
int32_t header_byte_rate();

EncodeResult EncodeRun(const EncodeJob &job);

}  // namespace fennick
