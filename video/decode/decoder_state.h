// The decoder's whole state, shared by the stage files. Each stage reads
// and writes the parts it owns; the Decoder class is the only way in from
// outside.
#pragma once

#include <cstdint>

#include "video/decode/bit_reader.h"
#include "video/decode/decoder.h"
#include "video/decode/frame_store.h"
#include "video/decode/idct.h"
#include "video/decode/mc.h"

namespace kestrum {

// Start codes (value of the 32 bits at a prefix).
inline constexpr uint32_t kPictureStartCode = 0x00000100;
inline constexpr uint32_t kSliceStartCodeFirst = 0x00000101;
inline constexpr uint32_t kSliceStartCodeLast = 0x000001AF;
inline constexpr uint32_t kUserDataStartCode = 0x000001B2;
inline constexpr uint32_t kSequenceHeaderCode = 0x000001B3;
inline constexpr uint32_t kExtensionStartCode = 0x000001B5;
inline constexpr uint32_t kSequenceEndCode = 0x000001B7;
inline constexpr uint32_t kGroupStartCode = 0x000001B8;

// The largest picture the frame store accepts: either side in pixels, and
// the area, which the largest MPEG-2 level caps at 1920x1152. Without the
// area bound one crafted header of 4096x4096 would cost some 300 MiB.
inline constexpr int32_t kMaxPictureSide = 4096;
inline constexpr int64_t kMaxPictureArea = 1920 * 1152;

struct DecoderState {
  BitReader reader;
  VideoSource source;
  DecoderSettings settings;
  uint32_t cpu_flags = 0;  // detected & mask
  IdctDsp idct;
  McDsp mc;

  SequenceHeader seq;
  PictureHeader pic;
  FrameStore frames;

  int32_t last_horizontal_size = 0;
  int32_t last_vertical_size = 0;
  uint32_t size_changes = 0;
  int64_t pictures_decoded = 0;
  /// The last decoded picture was a first field; the next field picture of
  /// the other parity completes the frame.
  bool expect_second_field = false;
  /// The picture header just parsed waits for the next step: the old
  /// sequence's last anchor was shown first.
  bool picture_pending = false;
  /// find_picture handed out the waiting picture again: its header stands
  /// parsed, so parse_picture_header has nothing to do.
  bool header_waiting = false;
  int32_t last_field_structure = 0;
  /// Display durations (field periods) of the newest anchor, which display
  /// order holds back, and of the picture to show.
  int32_t anchor_fields = 2;
  int32_t shown_fields = 2;
  /// Display time (field periods) of the picture to show; -1 unknown.
  int64_t shown_time = 0;
  /// Field periods of the picture whose header was parsed last, while it
  /// is not decoded; and of the pictures passed over undecoded since the
  /// shown picture last changed (their time passes all the same).
  int32_t parsed_fields = 0;
  bool parsed_unused = false;
  int64_t passed_fields = 0;

  void apply_settings();
};

// sequence_header.cpp
void parse_sequence_header(DecoderState &s);
/// Extensions and user data after a header, up to the next other start code.
void parse_extensions_and_user_data(DecoderState &s);
// decoder.cpp
/// The frame store's layout for the current sequence header.
FrameGeometry geometry_for(const SequenceHeader &q);
/// Lays the frame store out for the current sequence header. False when
/// the sizes are refused or memory fails.
bool allocate_frames(DecoderState &s);
/// Makes the frame store fit the current sequence header, laying it out
/// afresh when the size or chroma format changed. False when it cannot (the
/// picture is then skipped).
bool fit_frame_store(DecoderState &s);
// picture_header.cpp
/// Returns true when a picture start code follows the GOP header.
bool parse_gop_header(DecoderState &s);
void parse_picture_header(DecoderState &s);
void parse_picture_extension(DecoderState &s, int id);
// slice.cpp
void decode_slices(DecoderState &s);

}  // namespace kestrum
