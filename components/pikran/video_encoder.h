// One MPEG-1 video encoding job on libavcodec's mpeg1video: settings from
// PikranParams, pictures from packed DIBs, the stream into an output file.
#pragma once

#include <cstdint>
#include <memory>

#include "components/common/output_file.h"
#include "components/pikran/dib_picture.h"
#include "components/pikran/pikran.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace pikran {

/// The encoder settings a PikranParams asks for.
struct EncoderSettings {
  int width = 0;
  int height = 0;
  int frame_rate_code = 0;
  int64_t bit_rate = 0;
  int64_t min_rate = 0;  // 0 = not constrained
  int64_t max_rate = 0;  // 0 = not constrained
  int buffer_bits = 0;   // 0 = the encoder scales the VBV with the bit rate
  int gop_size = 0;
};

/// nullopt-like: false when the parameters are refused.
bool settings_from_params(const PikranParams &p, EncoderSettings &out);

class VideoEncoder {
 public:
  VideoEncoder() = default;
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder &) = delete;
  VideoEncoder &operator=(const VideoEncoder &) = delete;

  /// Readies the encoder and creates the file; false (and no file) on failure.
  bool open(const char *path, const EncoderSettings &s);
  /// Encodes one DIB; false when it is malformed (skipped, counted) or the
  /// encoder failed (kept as the job's error).
  bool encode(const void *dib, int32_t size);
  /// Drains the encoder, writes the end code, closes; true without errors.
  bool close();
  int skipped() const { return skipped_; }

 private:
  bool fill_frame(const uint8_t *dib, const DibLayout &l);
  bool send(AVFrame *frame);

  AVCodecContext *ctx_ = nullptr;
  // The encoder keeps references to recent input pictures; a few frames in
  // turn give each new picture a free buffer without allocating.
  static constexpr int kFramePool = 4;
  AVFrame *pool_[kFramePool] = {};
  AVFrame *frame_ = nullptr;  // the pool entry being filled
  AVPacket *packet_ = nullptr;
  SwsContext *scaler_ = nullptr;
  component_io::OutputFile file_;
  YuvPlanes source_;
  int64_t next_pts_ = 0;
  int skipped_ = 0;
  bool failed_ = false;
  uint8_t tail_[4] = {};  // the last bytes written, to see an end code
};

}  // namespace pikran
