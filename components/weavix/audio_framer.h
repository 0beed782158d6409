// Cuts an MPEG audio elementary stream (Layers I-III, MPEG-1 and the MPEG-2
// low sampling frequencies) into frames by their headers and times them in
// 90 kHz ticks from the samples before them. Bytes between frames that do
// not form a frame are skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "components/weavix/byte_window.h"

namespace weavix {

/// The fixed facts of the stream, from its first frame.
struct AudioInfo {
  int id = 0;  // 1 MPEG-1, 0 MPEG-2 low sampling frequencies
  int layer = 0;
  int sample_rate = 0;
  int channels = 0;
  int bit_rate_kbps = 0;
};

struct AudioUnit {
  const uint8_t *data = nullptr;  // valid until the next call
  size_t size = 0;
  int64_t pts = 0;  // 90 kHz from the stream's start
};

/// A parsed 4-byte frame header.
struct AudioHeader {
  int id = 0;
  int layer = 0;
  int bitrate_index = 0;
  int sampling_index = 0;
  int padding = 0;
  int channels = 0;
  int bytes = 0;  // whole frame
};

/// Reads a frame header at p (4 bytes); false when it is not one (no sync,
/// reserved fields, free format, MPEG-2.5).
bool parse_audio_header(const uint8_t *p, AudioHeader &h);

class AudioFramer {
 public:
  explicit AudioFramer(ByteSource &source) : window_(source) {}

  /// Finds the first two frames in a row in the first `search` bytes (bytes
  /// before them are skipped) and takes the stream's facts from them.
  bool start(size_t search);
  const AudioInfo &info() const { return info_; }
  /// The ticks added to every time stamp (to start with the video).
  void set_offset(int64_t ticks) { offset_ = ticks; }

  bool next(AudioUnit &unit);
  int skipped() const { return skipped_; }
  uint64_t consumed() const { return window_.consumed(); }
  bool read_failed() const { return window_.read_failed(); }

 private:
  /// A header of this stream at p (same version, layer and rate).
  bool matches(const uint8_t *p, AudioHeader &h) const;

  ByteWindow window_;
  AudioInfo info_;
  int64_t offset_ = 0;
  int64_t samples_ = 0;
  size_t pending_ = 0;
  bool in_sync_ = true;
  int skipped_ = 0;
};

}  // namespace weavix
