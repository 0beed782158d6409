// One audio encoding job: PCM in any pieces, resampled to the output rate
// with libswresample, cut into frames and coded by Layer II (libavcodec's
// mp2) or our own Layer I, into an output file that keeps its first error.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "components/common/output_file.h"
#include "components/sondral/layer1_encoder.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace sondral {

struct AudioSettings {
  int input_rate = 0;
  int input_bits = 16;
  int channels = 0;
  int output_rate = 44100;
  int kbps = 0;  // as asked; the job takes the legal rate at or above it
  int layer = 2;
};

/// False when the settings are refused.
bool settings_valid(const AudioSettings &s);

class AudioEncoder {
 public:
  AudioEncoder() = default;
  ~AudioEncoder();
  AudioEncoder(const AudioEncoder &) = delete;
  AudioEncoder &operator=(const AudioEncoder &) = delete;

  /// Readies the resampler and the coder and creates the file; false (and
  /// no file) on failure.
  bool open(const char *path, const AudioSettings &s);
  /// Takes PCM bytes; false once the job has failed.
  bool write(const uint8_t *pcm, size_t bytes);
  /// Flushes the resampler, pads the last frame with silence, closes.
  bool close();

 private:
  bool resample(const int16_t *in, int frames);
  bool code_frames(bool flush);
  bool code_frame(const int16_t *pcm);
  bool drain_packets();

  AudioSettings s_;
  int frame_samples_ = 0;
  SwrContext *swr_ = nullptr;
  AVCodecContext *mp2_ = nullptr;
  AVFrame *frame_ = nullptr;
  AVPacket *packet_ = nullptr;
  std::unique_ptr<Layer1Encoder> layer1_;
  std::vector<uint8_t> layer1_frame_;
  component_io::OutputFile file_;
  uint8_t partial_[4] = {};  // bytes of a sample frame split across writes
  size_t partial_size_ = 0;
  std::vector<int16_t> resampled_;  // output-rate samples waiting for a whole frame
  size_t resampled_used_ = 0;       // samples (all channels) held
  std::vector<int16_t> chunk_;      // whole input sample frames of one write
  bool failed_ = false;
};

}  // namespace sondral
