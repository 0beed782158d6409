// State of the macroblock layer while one picture's slices are decoded,
// shared by the slice loop, the block decoders and the motion compensation.
#pragma once

#include <cstdint>

#include "video/decode/decoder_state.h"

namespace kestrum {

// motion_type values (frame_motion_type / field_motion_type).
inline constexpr int kMotionField = 1;  // field prediction (both picture kinds)
inline constexpr int kMotionFrame = 2;  // frame pictures: frame prediction
inline constexpr int kMotion16x8 = 2;   // field pictures: 16x8 prediction
inline constexpr int kMotionDualPrime = 3;

/// The prediction description of one macroblock (kept for the skipped
/// macroblocks of B pictures, which repeat the previous one).
struct MacroblockMotion {
  int flags = 0;  // kMbMotionForward / kMbMotionBackward
  int motion_type = kMotionFrame;
  int mv[2][2][2] = {};         // [r][s][t] half-pel; field vectors in field lines
  int field_select[2][2] = {};  // [r][s]
  int dmvector[2] = {};
};

struct SliceContext {
  explicit SliceContext(DecoderState &state) : s(state), r(state.reader) {}

  DecoderState &s;
  BitReader &r;

  // Picture constants.
  bool mpeg2 = false;
  int picture_coding_type = 0;
  int picture_structure = 3;
  bool frame_picture = true;
  bool second_field = false;
  int field_parity = 0;  // field pictures: 0 top, 1 bottom
  int chroma_format = 1;
  int block_count = 6;
  int mb_width = 0;
  int mb_rows = 0;  // rows of this picture (halved for fields)
  int mb_count = 0;
  int width = 0;            // coded luma width (frame line length)
  int coded_height = 0;     // coded luma height of the frame
  int chroma_width = 0;     // chroma line length
  int chroma_mb_width = 8;  // chroma macroblock size in pixels
  int chroma_mb_height = 8;
  bool monochrome = false;
  int coefficient_limit = 0;
  const uint8_t *scan = nullptr;  // transposed positions by scan index
  uint8_t matrix[4][64];          // transposed: intra Y, non-intra Y, intra C, non-intra C

  FrameSlot target;
  FrameSlot forward;   // frame of the forward reference
  FrameSlot backward;  // frame of the backward reference

  // Slice state.
  int quantiser_scale = 0;
  /// Quantiser weights times quantiser_scale in scan order, for the
  /// quantiser_scale they were made for (-1: none yet).
  int weighted_scale = -1;
  uint16_t weighted[4][64];
  int dc_pred[3] = {};
  int pmv[2][2][2] = {};  // [r][s][t]
  MacroblockMotion motion;
  int dct_type = 0;
  bool error = false;
  bool mismatch_added = false;  // the last block's F[7][7] came from mismatch control

  alignas(32) int16_t block[64] = {};
};

// slice.cpp
int quantiser_scale_from_code(const SliceContext &c, int code);
/// Sets quantiser_scale and the weights the block decoders use with it.
void set_quantiser_scale(SliceContext &c, int scale);

// block.cpp
/// Decodes an intra block (DC and AC) into c.block (column-major). Returns
/// -1 on an invalid code, 0 when no AC coefficient was stored, and more when
/// some were (their count when a coefficient limit applies); 1 with
/// c.mismatch_added set means the mismatch control stored the only one.
int decode_intra_block(SliceContext &c, int cc);
/// Decodes a non-intra block into c.block. Returns as decode_intra_block
/// (the DC is not counted).
int decode_non_intra_block(SliceContext &c, int cc);

// motion.cpp
/// Reads motion_vectors(s) for direction s (0 forward, 1 backward).
void read_motion_vectors(SliceContext &c, int s, int motion_vector_count, bool field_format, bool dual_prime);
/// Forms the prediction of the macroblock at (mb_x, mb_y) of this picture
/// from c.motion into c.target.
void predict_macroblock(SliceContext &c, int mb_x, int mb_y);

}  // namespace kestrum
