// The picture side of a row: the engine's current picture converted into
// the source bitmap (our smoothed conversion or the engine's frame copy)
// and scaled or letterboxed into the output bitmap the encoder takes.
#pragma once

#include <cstdint>

#include "tools/common/picture_bitmap.h"
#include "tools/common/scalers.h"
#include "tools/fennick/engine/job_types.h"
#include "video/video_api.h"

namespace fennick {

/// Size and duration of the picture the engine presented last, as the host
/// display saw it.
struct ShownPicture {
  int32_t width = 0;
  int32_t height = 0;
  int32_t fields = 2;
  int64_t presented = 0;  ///< pictures presented so far
};

/// A host display that shows nothing and only notes each picture's size and
/// display duration. `shown` must outlive the open.
KestrumHostDisplay silent_display(ShownPicture *shown);

class PictureFeed {
 public:
  /// Sizes the source bitmap once per row (when the picture is scaled).
  /// False for sizes the bitmaps refuse.
  bool start(int32_t source_width, int32_t source_height, int32_t out_width, int32_t out_height,
             bool letterbox, VideoProcessing processing, bool smooth_zoom);
  /// Converts the engine's current picture (held while it is read) into
  /// `out`, a bitmap of the output size. False when there is no picture to
  /// read (`out` is then undefined).
  bool take_current(const ShownPicture &shown, tools_common::PictureBitmap *out);
  /// The output header (for the encoder's parameters).
  const PikranBitmapHeader *output_header() const { return &header_; }

 private:
  bool direct() const { return !letterbox_ && !scaled_; }
  bool convert(const ShownPicture &shown, tools_common::PictureBitmap *into);

  tools_common::PictureBitmap source_;  // when the picture is scaled
  tools_common::ScaleScratch scratch_;
  PikranBitmapHeader header_{};
  bool scaled_ = false;
  bool letterbox_ = false;
  bool smooth_ = true;
  VideoProcessing processing_ = VideoProcessing::kHigh;
};

}  // namespace fennick
