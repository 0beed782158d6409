// Slices and macroblocks of one picture: the picture loop with skipped
// macroblocks and resynchronisation, the macroblock header, and the
// reconstruction of each block into the picture.
#include <algorithm>
#include <cstring>

#include "video/decode/macroblock.h"
#include "video/decode/scan_tables.h"
#include "video/decode/vlc_tables.h"

namespace kestrum {
namespace {

// macroblock_address_increment with escapes and stuffing; 0 on an invalid
// code.
int read_address_increment(SliceContext &c) {
  BitReader &r = c.r;
  int increment = 0;
  for (;;) {
    const VlcEntry e = vlc_peek(kMacroblockAddressIncrement, r.peek_left());
    if (e.len == 0) return 0;
    r.skip(e.len);
    if (e.value == kMbaEscape) {
      increment += 33;
    } else if (e.value != kMbaStuffing) {
      return increment + e.value;
    }
    if (r.end_of_data()) return 0;
  }
}

void setup_picture(SliceContext &c) {
  DecoderState &s = c.s;
  const PictureHeader &p = s.pic;
  const FrameGeometry &g = s.frames.geometry();
  c.mpeg2 = s.seq.is_mpeg2;
  c.picture_coding_type = p.picture_coding_type;
  c.picture_structure = c.mpeg2 ? p.picture_structure : 3;
  if (c.picture_structure < 1) c.picture_structure = 3;  // reserved value: decode as a frame
  c.frame_picture = c.picture_structure == 3;
  c.second_field = p.second_field;
  c.field_parity = c.picture_structure == 2 ? 1 : 0;
  // The planes' layout, not the header: a header may have changed since.
  c.chroma_format = g.chroma_format;
  c.block_count = c.chroma_format == 1 ? 6 : c.chroma_format == 2 ? 8 : 12;
  c.mb_width = g.mb_width;
  c.mb_rows = c.frame_picture ? g.mb_height : g.mb_height / 2;
  c.mb_count = c.mb_width * c.mb_rows;
  c.width = g.coded_width;
  c.coded_height = g.coded_height;
  c.chroma_width = g.chroma_width;
  c.chroma_mb_width = c.chroma_format == 3 ? 16 : 8;
  c.chroma_mb_height = c.chroma_format == 1 ? 8 : 16;
  c.monochrome = s.settings.monochrome;
  c.coefficient_limit = s.settings.coefficient_limit & 63;
  c.scan = (c.mpeg2 && p.alternate_scan) ? kAlternateScanT.data() : kZigzagScanT.data();
  for (int m = 0; m < 4; ++m)
    for (int i = 0; i < 64; ++i) c.matrix[m][transposed(uint8_t(i))] = s.seq.quantiser_matrix[m][i];
  c.target = s.frames.target();
  c.forward = s.frames.older_anchor();
  c.backward = s.frames.newest_anchor();
}

void reset_predictors(SliceContext &c) {
  const int reset = 0;  // predictors are kept relative to mid-grey
  c.dc_pred[0] = c.dc_pred[1] = c.dc_pred[2] = reset;
}

void reset_motion_predictors(SliceContext &c) { std::memset(c.pmv, 0, sizeof c.pmv); }

// Where block b of the macroblock goes, and the line stride to use.
struct BlockPlace {
  uint8_t *dst;
  ptrdiff_t stride;
};

BlockPlace block_place(const SliceContext &c, int mb_x, int mb_y, int b) {
  const ptrdiff_t w = c.width, cw = c.chroma_width;
  if (b < 4) {
    const int bx = 16 * mb_x + 8 * (b & 1);
    if (!c.frame_picture) {
      const ptrdiff_t line = 2 * (16 * ptrdiff_t(mb_y) + 8 * (b >> 1)) + c.field_parity;
      return {c.target.y + line * w + bx, 2 * w};
    }
    if (c.dct_type) {
      const ptrdiff_t line = 16 * ptrdiff_t(mb_y) + (b >> 1);
      return {c.target.y + line * w + bx, 2 * w};
    }
    const ptrdiff_t line = 16 * ptrdiff_t(mb_y) + 8 * (b >> 1);
    return {c.target.y + line * w + bx, w};
  }
  // Chroma: Cb for even block numbers, Cr for odd ones; 4:2:2 stacks two
  // blocks vertically, 4:4:4 four as in luma.
  uint8_t *plane = (b & 1) ? c.target.cr : c.target.cb;
  const int k = (b - 4) >> 1;  // 0..3: which block of this chroma component
  int bx = c.chroma_mb_width * mb_x, by = 0;
  bool field_dct = false;
  if (c.chroma_format == 2) {
    by = k;  // upper / lower
    field_dct = c.dct_type != 0;
  } else if (c.chroma_format == 3) {
    bx += 8 * (k >> 1);
    by = k & 1;
    field_dct = c.dct_type != 0;
  }
  const ptrdiff_t origin_line = ptrdiff_t(c.chroma_mb_height) * mb_y;
  if (!c.frame_picture) {
    const ptrdiff_t line = 2 * (origin_line + 8 * by) + c.field_parity;
    return {plane + line * cw + bx, 2 * cw};
  }
  if (field_dct) {
    const ptrdiff_t line = origin_line + by;
    return {plane + line * cw + bx, 2 * cw};
  }
  return {plane + (origin_line + 8 * by) * cw + bx, cw};
}

inline uint8_t clamp_pixel(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// Reconstructs c.block at its place and clears it; ac is the count of AC
// coefficients the block decoder stored.
void reconstruct(SliceContext &c, const BlockPlace &p, bool intra, int ac) {
  int16_t *blk = c.block;
  const bool flat = ac == 0 || (ac == 1 && c.mismatch_added && (blk[0] & 7) == 0);
  if (flat) {
    const int dc = blk[0];
    blk[0] = 0;
    blk[63] = 0;
    uint8_t *d = p.dst;
    if (intra) {
      const uint8_t v = clamp_pixel((dc + 1028) >> 3);
      for (int y = 0; y < 8; ++y, d += p.stride) std::memset(d, v, 8);
    } else {
      const int add = (dc + 4) >> 3;
      if (add == 0) return;
      for (int y = 0; y < 8; ++y, d += p.stride)
        for (int x = 0; x < 8; ++x) d[x] = clamp_pixel(d[x] + add);
    }
    return;
  }
  if (intra) {
    c.s.idct.put(blk, p.dst, p.stride);
  } else {
    c.s.idct.add(blk, p.dst, p.stride);
  }
}

// Component of block b: 0 luma, 1 Cb, 2 Cr.
inline int block_component(int b) { return b < 4 ? 0 : 1 + ((b - 4) & 1); }

void skipped_macroblock(SliceContext &c, int address) {
  const int mb_x = address % c.mb_width, mb_y = address / c.mb_width;
  reset_predictors(c);
  if (c.picture_coding_type == 2) {
    reset_motion_predictors(c);
    c.motion.flags = kMbMotionForward;
    c.motion.motion_type = c.frame_picture ? kMotionFrame : kMotionField;
    std::memset(c.motion.mv, 0, sizeof c.motion.mv);
    c.motion.field_select[0][0] = c.field_parity;
  }
  // Skipped macroblocks predict frame-wise in frame pictures and from the
  // field of the same parity in field pictures; B pictures keep the
  // previous macroblock's directions with the vector predictors as vectors.
  MacroblockMotion &m = c.motion;
  m.motion_type = c.frame_picture ? kMotionFrame : kMotionField;
  for (int s = 0; s < 2; ++s) {
    m.mv[0][s][0] = c.pmv[0][s][0];
    m.mv[0][s][1] = c.pmv[0][s][1];
    m.field_select[0][s] = c.field_parity;
  }
  if (!c.mpeg2) {
    // MPEG-1 predictors are in full-pel units when the picture says so.
    if (c.s.pic.full_pel_forward_vector) m.mv[0][0][0] *= 2, m.mv[0][0][1] *= 2;
    if (c.s.pic.full_pel_backward_vector) m.mv[0][1][0] *= 2, m.mv[0][1][1] *= 2;
  }
  c.dct_type = 0;
  predict_macroblock(c, mb_x, mb_y);
}

// One macroblock after its address increment. Returns false on an invalid
// code (c.error set).
bool decode_macroblock(SliceContext &c, int address) {
  BitReader &r = c.r;
  const PictureHeader &pic = c.s.pic;
  const VlcTable *type_table = &kMacroblockTypeI;
  if (c.picture_coding_type == 2) type_table = &kMacroblockTypeP;
  if (c.picture_coding_type == 3) type_table = &kMacroblockTypeB;
  if (c.picture_coding_type == 4) type_table = &kMacroblockTypeD;
  const VlcEntry type = vlc_get(*type_table, r);
  if (type.len == 0) return false;
  const int flags = type.value;
  const bool intra = flags & kMbIntra;
  const bool concealment = c.mpeg2 && intra && pic.concealment_motion_vectors;
  MacroblockMotion &m = c.motion;

  int motion_type = c.frame_picture ? kMotionFrame : kMotionField;
  c.dct_type = 0;
  if (c.mpeg2) {
    if (flags & (kMbMotionForward | kMbMotionBackward)) {
      if (!c.frame_picture || !pic.frame_pred_frame_dct) motion_type = int(r.get(2));
      if (motion_type == 0) return false;  // reserved
    }
    if (c.frame_picture && !pic.frame_pred_frame_dct && (intra || (flags & kMbPattern))) {
      c.dct_type = int(r.get1());
    }
  }
  if (flags & kMbQuant) set_quantiser_scale(c, quantiser_scale_from_code(c, int(r.get(5))));

  // Vector count and format (ISO/IEC 13818-2 Tables 6-17, 6-18).
  int count = 1;
  bool field_format = false, dual_prime = false;
  if (c.mpeg2) {
    if (c.frame_picture) {
      count = motion_type == kMotionField ? 2 : 1;
      field_format = motion_type != kMotionFrame;
    } else {
      count = motion_type == kMotion16x8 ? 2 : 1;
      field_format = true;
    }
    dual_prime = motion_type == kMotionDualPrime;
  }
  if ((flags & kMbMotionForward) || concealment) read_motion_vectors(c, 0, count, field_format, dual_prime);
  if (flags & kMbMotionBackward) read_motion_vectors(c, 1, count, field_format, dual_prime);
  if (c.error) return false;
  if (concealment) r.skip(1);  // marker_bit

  int pattern;
  if (flags & kMbPattern) {
    const VlcEntry cbp = vlc_get(kCodedBlockPattern, r);
    if (cbp.len == 0) return false;
    pattern = cbp.value;
    if (c.chroma_format == 2) pattern = (pattern << 2) | int(r.get(2));
    if (c.chroma_format == 3) pattern = (pattern << 6) | int(r.get(6));
  } else {
    pattern = intra ? (1 << c.block_count) - 1 : 0;
  }

  const int mb_x = address % c.mb_width, mb_y = address / c.mb_width;
  if (intra) {
    if (!concealment) reset_motion_predictors(c);
    // A later skipped macroblock in a B picture has nothing to repeat.
    m.flags = 0;
    for (int b = 0; b < c.block_count; ++b) {
      const int cc = block_component(b);
      const int ac = decode_intra_block(c, cc);
      if (ac < 0) {
        std::memset(c.block, 0, sizeof c.block);
        return false;
      }
      if (cc != 0 && c.monochrome) {
        std::memset(c.block, 0, sizeof c.block);
        continue;
      }
      reconstruct(c, block_place(c, mb_x, mb_y, b), true, ac);
    }
    if (c.picture_coding_type == 4) r.skip(1);  // end_of_macroblock
    return true;
  }

  reset_predictors(c);
  if (c.picture_coding_type == 2 && !(flags & kMbMotionForward)) {
    // No motion in a P picture: zero vector, frame (or same-parity field)
    // prediction, and the predictors start over.
    reset_motion_predictors(c);
    motion_type = c.frame_picture ? kMotionFrame : kMotionField;
    std::memset(m.mv, 0, sizeof m.mv);
    m.field_select[0][0] = c.field_parity;
    m.flags = kMbMotionForward;
  } else {
    m.flags = flags & (kMbMotionForward | kMbMotionBackward);
  }
  m.motion_type = motion_type;
  predict_macroblock(c, mb_x, mb_y);
  for (int b = 0; b < c.block_count; ++b) {
    if (!(pattern & (1 << (c.block_count - 1 - b)))) continue;
    const int cc = block_component(b);
    const int ac = decode_non_intra_block(c, cc);
    if (ac < 0) {
      std::memset(c.block, 0, sizeof c.block);
      return false;
    }
    if (cc != 0 && c.monochrome) {
      std::memset(c.block, 0, sizeof c.block);
      continue;
    }
    reconstruct(c, block_place(c, mb_x, mb_y, b), false, ac);
  }
  return true;
}

// One slice from its start code up to the next start code or an error.
void decode_slice(SliceContext &c, uint32_t start_code) {
  BitReader &r = c.r;
  const DecoderState &s = c.s;
  r.skip(32);
  int vertical_position = int(start_code & 0xFF);
  if (c.mpeg2 && s.seq.vertical_size > 2800) vertical_position += int(r.get(3)) << 7;
  if (s.seq.scalable_mode == 1) r.skip(7);  // priority_breakpoint (data partitioning)
  set_quantiser_scale(c, quantiser_scale_from_code(c, int(r.get(5))));
  if (r.get1()) {  // extra_bit_slice
    r.skip(8);     // intra_slice_flag, slice_picture_id_enable, slice_picture_id
    while (r.get1()) {
      r.skip(8);
      if (r.end_of_data()) return;
    }
  }
  const int row = vertical_position - 1;
  int increment = read_address_increment(c);
  if (increment == 0 || row >= c.mb_rows) return;
  int address = row * c.mb_width + increment - 1;
  if (address >= c.mb_count) return;
  reset_predictors(c);
  reset_motion_predictors(c);
  c.error = false;
  c.motion.flags = 0;
  for (;;) {
    if (!decode_macroblock(c, address)) {
      c.error = false;
      return;
    }
    // A start code (23 zero bits) ends the slice.
    if (r.peek(23) == 0) return;
    increment = read_address_increment(c);
    if (increment == 0) return;
    if (address + increment >= c.mb_count) return;  // bad increment: leave the picture intact
    for (int k = 1; k < increment; ++k) skipped_macroblock(c, address + k);
    address += increment;
  }
}

}  // namespace

int quantiser_scale_from_code(const SliceContext &c, int code) {
  if (!c.mpeg2) return code;
  return c.s.pic.q_scale_type ? kNonLinearQuantiserScale[code] : code * 2;
}

void set_quantiser_scale(SliceContext &c, int scale) {
  c.quantiser_scale = scale;
  if (scale == c.weighted_scale) return;
  c.weighted_scale = scale;
  // 4:2:0 uses the luma matrices for chroma too.
  const int matrices = c.mpeg2 && c.chroma_format != 1 ? 4 : 2;
  for (int m = 0; m < matrices; ++m) {
    for (int i = 0; i < 64; ++i) c.weighted[m][i] = uint16_t(c.matrix[m][c.scan[i]] * scale);
  }
}

void decode_slices(DecoderState &s) {
  SliceContext c(s);
  setup_picture(c);
  BitReader &r = s.reader;
  for (;;) {
    if (!r.at_start_code() && !r.next_start_code()) return;
    const uint32_t code = r.peek(32);
    if (code < kSliceStartCodeFirst || code > kSliceStartCodeLast) return;
    if (r.end_of_data()) return;
    decode_slice(c, code);
  }
}

}  // namespace kestrum
