// Motion-compensation block routines in plain C.
//
// Two-pixel means are (a + b + 1) >> 1 in every variant. The diagonal case
// is where they differ: the standards' four-pixel mean (a + b + c + d + 2) >>
// 2 by default, a mean of the horizontal mean and the pixel below (three
// neighbours) for the variant of command 83, and a mean of two horizontal
// means for the variant of command 85.
#include "video/decode/mc.h"

#include "video/decode/x86/mc_x86.h"

namespace kestrum {
namespace {

inline int mean2(int a, int b) { return (a + b + 1) >> 1; }

template <McVariant V>
inline int diagonal(const uint8_t *p, const uint8_t *q) {
  if constexpr (V == McVariant::kExact) {
    return (p[0] + p[1] + q[0] + q[1] + 2) >> 2;
  } else if constexpr (V == McVariant::kThreeNeighbour) {
    return mean2(mean2(p[0], p[1]), q[0]);
  } else {
    return mean2(mean2(p[0], p[1]), mean2(q[0], q[1]));
  }
}

template <int W, int Half, bool Avg, McVariant V>
void mc_c(uint8_t *dst, const uint8_t *ref, ptrdiff_t stride, int height) {
  do {
    for (int x = 0; x < W; ++x) {
      int v;
      if constexpr (Half == 0) {
        v = ref[x];
      } else if constexpr (Half == 1) {
        v = mean2(ref[x], ref[x + 1]);
      } else if constexpr (Half == 2) {
        v = mean2(ref[x], ref[x + stride]);
      } else {
        v = diagonal<V>(ref + x, ref + x + stride);
      }
      if constexpr (Avg) v = mean2(dst[x], v);
      dst[x] = uint8_t(v);
    }
    dst += stride;
    ref += stride;
  } while (--height);
}

template <McVariant V>
void fill_c(McDsp &dsp) {
  dsp.put[0][0] = mc_c<16, 0, false, V>;
  dsp.put[0][1] = mc_c<16, 1, false, V>;
  dsp.put[0][2] = mc_c<16, 2, false, V>;
  dsp.put[0][3] = mc_c<16, 3, false, V>;
  dsp.put[1][0] = mc_c<8, 0, false, V>;
  dsp.put[1][1] = mc_c<8, 1, false, V>;
  dsp.put[1][2] = mc_c<8, 2, false, V>;
  dsp.put[1][3] = mc_c<8, 3, false, V>;
  dsp.avg[0][0] = mc_c<16, 0, true, V>;
  dsp.avg[0][1] = mc_c<16, 1, true, V>;
  dsp.avg[0][2] = mc_c<16, 2, true, V>;
  dsp.avg[0][3] = mc_c<16, 3, true, V>;
  dsp.avg[1][0] = mc_c<8, 0, true, V>;
  dsp.avg[1][1] = mc_c<8, 1, true, V>;
  dsp.avg[1][2] = mc_c<8, 2, true, V>;
  dsp.avg[1][3] = mc_c<8, 3, true, V>;
}

}  // namespace

void init_mc_dsp_c(McDsp &dsp, McVariant variant) {
  switch (variant) {
    case McVariant::kThreeNeighbour:
      fill_c<McVariant::kThreeNeighbour>(dsp);
      break;
    case McVariant::kPairwise:
      fill_c<McVariant::kPairwise>(dsp);
      break;
    default:
      fill_c<McVariant::kExact>(dsp);
      break;
  }
}

void init_mc_dsp(McDsp &dsp, McVariant variant, uint32_t cpu_flags) {
  init_mc_dsp_c(dsp, variant);
  init_mc_dsp_x86(dsp, variant, cpu_flags);
}

}  // namespace kestrum
