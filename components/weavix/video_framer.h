// Cuts an MPEG-1/MPEG-2 video elementary stream into access units (the
// headers before a picture, the picture and its slices) and times them in
// 90 kHz ticks from picture types and temporal references. Nothing is
// decoded; the bytes pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "components/weavix/byte_window.h"

namespace weavix {

/// What the first sequence header (and its extension) says.
struct VideoInfo {
  bool mpeg2 = false;
  int width = 0;
  int height = 0;
  int frame_rate_code = 0;
  int64_t fps_num = 0;  // frame rate as a fraction
  int64_t fps_den = 1;
  int64_t bit_rate = 0;  // bit/s from the header (0 when unstated)
  int64_t vbv_bits = 0;  // decoder buffer size from the header
};

struct VideoUnit {
  const uint8_t *data = nullptr;  // valid until the next call
  size_t size = 0;
  int64_t pts = 0;   // 90 kHz, from display order
  int64_t dts = 0;   // 90 kHz, from decoding order; dts <= pts
  bool key = false;  // holds an I picture
};

class VideoFramer {
 public:
  explicit VideoFramer(ByteSource &source) : window_(source) {}

  /// Finds the first sequence header (bytes before it are skipped) and reads
  /// the stream's facts. False when none lies in the first `search` bytes.
  bool start(size_t search);
  const VideoInfo &info() const { return info_; }
  /// 90 kHz ticks of the first picture shown, the same for every stream.
  int64_t first_pts() const { return frame_ticks(0); }

  /// The next access unit; false at the end of the input.
  bool next(VideoUnit &unit);
  /// Damaged stretches skipped (bytes outside any picture, oversized units).
  int skipped() const { return skipped_; }
  uint64_t consumed() const { return window_.consumed(); }
  bool read_failed() const { return window_.read_failed(); }

 private:
  struct PictureFacts {
    bool seen = false;
    int temporal_reference = 0;
    int type = 0;  // 1 I, 2 P, 3 B, 4 D
    bool gop_before = false;
  };
  /// Presentation time of display index i (shifted by one picture so that
  /// the first decoding time is not negative).
  int64_t frame_ticks(int64_t index) const;
  void note_start_code(const uint8_t *p, size_t avail);
  void time_unit(VideoUnit &unit);
  /// Hands out the first `size` bytes in view as the next unit.
  void emit(VideoUnit &unit, size_t size);

  ByteWindow window_;
  VideoInfo info_;
  size_t scan_ = 0;  // where the start code search goes on in the window
  bool consume_pending_ = false;
  size_t pending_size_ = 0;
  PictureFacts picture_;
  bool gop_seen_ = false;      // a GOP header since the last picture
  bool second_field_ = false;  // the next picture start continues this unit
  int fields_ = 0;
  // Timing state, in display indexes.
  int64_t gop_base_ = 0;
  int64_t max_index_ = -1;
  int64_t last_anchor_ = -1;
  bool any_anchor_ = false;
  int64_t last_dts_ = INT64_MIN;
  int skipped_ = 0;
};

}  // namespace weavix
