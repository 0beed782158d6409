// Motion vectors and the prediction of a macroblock from its references:
// frame and field prediction, 16x8 and dual prime (ISO/IEC 13818-2 7.6).
#include <cstdlib>

#include "video/decode/macroblock.h"
#include "video/decode/vlc_tables.h"

namespace kestrum {
namespace {

// One vector component: motion_code, motion_residual, and the wrap into
// the range the f_code allows. Returns the new vector value.
int decode_component(SliceContext &c, int s, int t, int prediction) {
  BitReader &r = c.r;
  const int f_code = c.s.pic.f_code[s][t];
  const VlcEntry e = vlc_get(kMotionCode, r);
  if (e.len == 0 || f_code < 1 || f_code > 9) {
    c.error = true;
    return prediction;
  }
  int motion_code = e.value;
  if (motion_code != 0 && r.get1()) motion_code = -motion_code;
  const int r_size = f_code - 1;
  const int f = 1 << r_size;
  int delta = motion_code;
  if (f != 1 && motion_code != 0) {
    const int residual = int(r.get(r_size));
    delta = (std::abs(motion_code) - 1) * f + residual + 1;
    if (motion_code < 0) delta = -delta;
  }
  int v = prediction + delta;
  const int low = -16 * f, high = 16 * f - 1, range = 32 * f;
  if (v < low) v += range;
  if (v > high) v -= range;
  return v;
}

int read_dmvector(SliceContext &c) {
  const VlcEntry e = vlc_get(kDmvector, c.r);
  return e.value;  // the table covers every bit pattern
}

// Where one prediction block reads and which routine forms it. Reference
// and destination share the line stride. A vector that would read outside
// the plane loses that component (the block then predicts from the
// co-located position on that axis).
struct BlockFetch {
  ptrdiff_t dst;  // offset of the block in the destination plane
  ptrdiff_t src;  // offset of the reference block in the reference plane
  McFn fn;
};

inline BlockFetch plan_block(const McFn (&fns)[2][4], ptrdiff_t stride, int plane_width, int plane_height,
                             int x, int y, int w, int h, int mvx, int mvy) {
  int ix = x + (mvx >> 1), hx = mvx & 1;
  if (ix < 0 || ix + w + hx > plane_width) [[unlikely]] {
    ix = x;
    hx = 0;
  }
  int iy = y + (mvy >> 1), hy = mvy & 1;
  if (iy < 0 || iy + h + hy > plane_height) [[unlikely]] {
    iy = y;
    hy = 0;
  }
  return {ptrdiff_t(y) * stride + x, ptrdiff_t(iy) * stride + ix, fns[w == 16 ? 0 : 1][hx | (hy << 1)]};
}

// Predicts a region of the macroblock (all planes) from one reference with
// one vector. ref_field / dst_field: -1 frame lines, 0 top field, 1 bottom
// field. x, y, h are in luma samples of the addressed frame or field.
void predict_part(const SliceContext &c, const FrameSlot &ref, int ref_field, int dst_field, int x, int y,
                  int h, int mvx, int mvy, bool average) {
  const McFn(&fns)[2][4] = average ? c.s.mc.avg : c.s.mc.put;
  const bool field = dst_field >= 0;
  const ptrdiff_t stride = field ? 2 * ptrdiff_t(c.width) : c.width;
  const int plane_height = field ? c.coded_height / 2 : c.coded_height;
  const ptrdiff_t ref_off = ref_field > 0 ? c.width : 0;
  const ptrdiff_t dst_off = dst_field > 0 ? c.width : 0;
  const BlockFetch luma = plan_block(fns, stride, c.width, plane_height, x, y, 16, h, mvx, mvy);
  luma.fn(c.target.y + dst_off + luma.dst, ref.y + ref_off + luma.src, stride, h);
  if (c.monochrome) return;

  int cx = x, cy = y, ch = h, cw = 16, cmvx = mvx, cmvy = mvy, cph = plane_height;
  if (c.chroma_format != 3) {
    cx = x / 2;
    cw = 8;
    cmvx = mvx / 2;  // the standards divide with truncation toward zero
  }
  if (c.chroma_format == 1) {
    cy = y / 2;
    ch = h / 2;
    cmvy = mvy / 2;
    cph = plane_height / 2;
  }
  // Both chroma planes share the geometry: one plan serves the two.
  const ptrdiff_t cstride = field ? 2 * ptrdiff_t(c.chroma_width) : c.chroma_width;
  const ptrdiff_t cref_off = ref_field > 0 ? c.chroma_width : 0;
  const ptrdiff_t cdst_off = dst_field > 0 ? c.chroma_width : 0;
  const BlockFetch chroma = plan_block(fns, cstride, c.chroma_width, cph, cx, cy, cw, ch, cmvx, cmvy);
  const ptrdiff_t d = cdst_off + chroma.dst, r = cref_off + chroma.src;
  chroma.fn(c.target.cb + d, ref.cb + r, cstride, ch);
  chroma.fn(c.target.cr + d, ref.cr + r, cstride, ch);
}

// The frame holding the reference field `select` for direction s in a field
// picture: the second field of a P frame may predict from the first field
// of its own frame.
const FrameSlot &field_reference(const SliceContext &c, int s, int select) {
  if (s == 0 && c.picture_coding_type == 2 && c.second_field && select != c.field_parity) {
    return c.target;
  }
  return s == 0 ? c.forward : c.backward;
}

// Dual-prime derived vector towards the field of opposite parity: m scales
// the transmitted vector by temporal distance, e corrects the half-line
// offset between the fields.
void dual_prime_vector(const MacroblockMotion &m, int scale, int e, int &dx, int &dy) {
  const int vx = m.mv[0][0][0], vy = m.mv[0][0][1];
  dx = ((vx * scale + (vx > 0)) >> 1) + m.dmvector[0];
  dy = ((vy * scale + (vy > 0)) >> 1) + e + m.dmvector[1];
}

}  // namespace

void read_motion_vectors(SliceContext &c, int s, int motion_vector_count, bool field_format,
                         bool dual_prime) {
  BitReader &r = c.r;
  MacroblockMotion &m = c.motion;
  if (!c.mpeg2) {
    for (int t = 0; t < 2; ++t) c.pmv[0][s][t] = decode_component(c, s, t, c.pmv[0][s][t]);
    const bool full_pel = s == 0 ? c.s.pic.full_pel_forward_vector : c.s.pic.full_pel_backward_vector;
    for (int t = 0; t < 2; ++t) m.mv[0][s][t] = full_pel ? c.pmv[0][s][t] * 2 : c.pmv[0][s][t];
    return;
  }
  if (motion_vector_count == 1) {
    if (field_format && !dual_prime) m.field_select[0][s] = int(r.get1());
    m.mv[0][s][0] = c.pmv[0][s][0] = decode_component(c, s, 0, c.pmv[0][s][0]);
    if (dual_prime) m.dmvector[0] = read_dmvector(c);
    if (field_format && c.frame_picture) {
      // Field vectors of frame pictures predict from and update the frame
      // predictor at half its vertical scale.
      const int v = decode_component(c, s, 1, c.pmv[0][s][1] >> 1);
      c.pmv[0][s][1] = v * 2;
      m.mv[0][s][1] = v;
    } else {
      m.mv[0][s][1] = c.pmv[0][s][1] = decode_component(c, s, 1, c.pmv[0][s][1]);
    }
    if (dual_prime) m.dmvector[1] = read_dmvector(c);
    c.pmv[1][s][0] = c.pmv[0][s][0];
    c.pmv[1][s][1] = c.pmv[0][s][1];
    return;
  }
  for (int n = 0; n < 2; ++n) {
    m.field_select[n][s] = int(r.get1());
    m.mv[n][s][0] = c.pmv[n][s][0] = decode_component(c, s, 0, c.pmv[n][s][0]);
    if (c.frame_picture) {
      const int v = decode_component(c, s, 1, c.pmv[n][s][1] >> 1);
      c.pmv[n][s][1] = v * 2;
      m.mv[n][s][1] = v;
    } else {
      m.mv[n][s][1] = c.pmv[n][s][1] = decode_component(c, s, 1, c.pmv[n][s][1]);
    }
  }
}

void predict_macroblock(SliceContext &c, int mb_x, int mb_y) {
  const MacroblockMotion &m = c.motion;
  const int x = 16 * mb_x;
  bool average = false;
  for (int s = 0; s < 2; ++s) {
    if (!(m.flags & (s == 0 ? kMbMotionForward : kMbMotionBackward))) continue;
    if (c.frame_picture) {
      const FrameSlot &ref = s == 0 ? c.forward : c.backward;
      const int y = 16 * mb_y;
      if (!c.mpeg2 || m.motion_type == kMotionFrame) {
        predict_part(c, ref, -1, -1, x, y, 16, m.mv[0][s][0], m.mv[0][s][1], average);
      } else if (m.motion_type == kMotionField) {
        for (int f = 0; f < 2; ++f) {
          predict_part(c, ref, m.field_select[f][s], f, x, y / 2, 8, m.mv[f][s][0], m.mv[f][s][1], average);
        }
      } else if (m.motion_type == kMotionDualPrime) {
        const bool tff = c.s.pic.top_field_first;
        for (int f = 0; f < 2; ++f) {
          predict_part(c, ref, f, f, x, y / 2, 8, m.mv[0][0][0], m.mv[0][0][1], average);
          int dx, dy;
          dual_prime_vector(m, f == 0 ? (tff ? 1 : 3) : (tff ? 3 : 1), f == 0 ? -1 : 1, dx, dy);
          predict_part(c, ref, 1 - f, f, x, y / 2, 8, dx, dy, true);
        }
      }
    } else {
      const int p = c.field_parity;
      const int y = 16 * mb_y;
      if (m.motion_type == kMotionField) {
        const int sel = m.field_select[0][s];
        predict_part(c, field_reference(c, s, sel), sel, p, x, y, 16, m.mv[0][s][0], m.mv[0][s][1], average);
      } else if (m.motion_type == kMotion16x8) {
        for (int n = 0; n < 2; ++n) {
          const int sel = m.field_select[n][s];
          predict_part(c, field_reference(c, s, sel), sel, p, x, y + 8 * n, 8, m.mv[n][s][0], m.mv[n][s][1],
                       average);
        }
      } else if (m.motion_type == kMotionDualPrime) {
        predict_part(c, field_reference(c, 0, p), p, p, x, y, 16, m.mv[0][0][0], m.mv[0][0][1], average);
        int dx, dy;
        dual_prime_vector(m, 1, p == 0 ? -1 : 1, dx, dy);
        predict_part(c, field_reference(c, 0, 1 - p), 1 - p, p, x, y, 16, dx, dy, true);
      }
    }
    average = true;
  }
}

}  // namespace kestrum
