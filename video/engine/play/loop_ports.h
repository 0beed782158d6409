// What the play loops need beyond the engine's ports: the two ring fill
// counters of the media layer, and picture-by-picture control of the
// decoder (look at the next picture's type, then decode it or pass over
// it). Tests install their own table to drive the skipping rules.
#pragma once

#include <cstdint>

namespace kestrum::play {

struct LoopPort {
  /// Bytes waiting in the video ring / the audio ring (live counters).
  int32_t (*video_fill)();
  int32_t (*audio_fill)();
  /// Finds the next picture and parses its header: its coding type (1 I,
  /// 2 P, 3 B, 4 D), or 0 at the end of the data.
  int32_t (*parse_next)();
  /// Decodes the picture whose header parse_next just read.
  void (*decode_parsed)();
  /// 1 when the last decoded picture was a first field.
  int32_t (*second_field_pending)();
  /// VBV size in bytes of the open stream's sequence header.
  int32_t (*vbv_bytes)();
  /// 1 when the picture to show after the last decode was shown before
  /// (the anchor after an intra picture a seek showed early). May be null.
  int32_t (*showing_repeat)();
};

/// Field periods the decoder's picture to show stays on screen (2 when no
/// stream is open). The caller holds engine_lock.
int32_t shown_fields();

/// When the decoder's picture to show starts on screen, in field periods
/// from the stream's first picture; -1 when unknown (no stream, or after a
/// seek by position). The caller holds engine_lock.
int64_t shown_time_fields();

/// The table in use (never null).
const LoopPort &loop_port();
/// Installs a replacement (null restores the production table). Tests only.
void set_loop_port(const LoopPort *port);

}  // namespace kestrum::play
