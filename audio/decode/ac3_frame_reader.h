// The AC-3 frame reader: finds sync frames in a byte stream pulled through
// a read callback and hands out whole frames. The first frame after a reset
// must be confirmed by the sync word of the frame after it (a DVD track or
// a cut file may start mid-frame, where 0x0B 0x77 can occur by chance).
#pragma once

#include <cstdint>

#include "audio/decode/mpeg_audio_decoder.h"
#include "common/ac3/ac3_tables.h"

namespace lunaret {

class Ac3FrameReader {
 public:
  /// Bytes asked of the source per read.
  static constexpr int32_t kReadBytes = 4096;

  void set_source(ReadFn read, void *ctx);
  /// Forgets buffered input and any kept frame; the next frame is checked.
  void reset();
  /// Next whole frame into frame (ac3::kMaxFrameBytes of room); *header
  /// describes it. false once the input has ended (a frame cut short by
  /// the end is dropped).
  bool next_frame(uint8_t *frame, ac3::FrameHeader *header);
  /// Reads the first confirmed frame and keeps it for next_frame.
  bool probe(ac3::FrameHeader *header);
  bool input_ended() const { return ended_; }

 private:
  bool available(int32_t n);
  bool find_frame(ac3::FrameHeader *header);

  ReadFn read_ = nullptr;
  void *ctx_ = nullptr;
  // Room for a frame, the next frame's sync word and one read.
  static constexpr int32_t kReadSlack = 8;
  uint8_t buf_[ac3::kMaxFrameBytes + 2 + kReadBytes + kReadSlack] = {};
  int32_t pos_ = 0;
  int32_t end_ = 0;
  bool ended_ = false;
  bool first_ = true;
  bool kept_ = false;  // the probe's frame is still at pos_
};

}  // namespace lunaret
