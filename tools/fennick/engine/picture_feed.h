// The picture side of a row: the engine's current picture converted into
// the source bitmap (our smoothed conversion or the engine's frame copy)
// and scaled or letterboxed into the output bitmap the encoder takes.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/common/picture_bitmap.h"
#include "tools/common/scalers.h"
#include "tools/common/ycbcr_to_bgr.h"
#include "tools/fennick/engine/job_types.h"
#include "tools/fennick/engine/part_thread.h"
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

/// The engine's current picture converted a row at a time into a small
/// ring of rows, for the area filter: the picture never exists whole in
/// B, G, R, and the rows stay in the cache while the filter reads them.
class ConvertedRows final : public tools_common::RowSource {
 public:
  /// Sizes the ring once per row of the job.
  void allocate(int32_t width, int32_t height, int32_t rows_held);
  /// Starts a picture; false when the planes cannot be converted.
  bool start(const tools_common::PlanesView &planes);
  int32_t width() const override { return width_; }
  int32_t height() const override { return height_; }
  const uint8_t *row(int32_t y) override;

 private:
  tools_common::YcbcrRowConverter converter_;
  std::vector<uint8_t> ring_;
  std::vector<int32_t> held_;  // the picture row in each slot, -1 none
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t row_bytes_ = 0;
};

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
  bool convert_by_rows(const ShownPicture &shown, tools_common::PictureBitmap *out);

  tools_common::PictureBitmap source_;  // when the picture is scaled
  tools_common::ScaleScratch scratch_;
  // Our conversion straight into the area filter, the upper and lower
  // halves of the output on two threads.
  ConvertedRows rows_[2];
  PartThread lower_half_;
  bool by_rows_ = false;
  PikranBitmapHeader header_{};
  bool scaled_ = false;
  bool letterbox_ = false;
  bool smooth_ = true;
  VideoProcessing processing_ = VideoProcessing::kHigh;
};

}  // namespace fennick
