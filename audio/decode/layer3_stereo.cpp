// Layer III joint stereo: mid/side, and intensity stereo in the bands above
// the right channel's last non-zero line (MPEG-1 tangent positions, MPEG-2
// power-of-two positions).
#include <cstring>

#include "audio/decode/frame_header.h"
#include "audio/decode/layer3_internal.h"
#include "audio/decode/layer3_tables.h"
#include "audio/decode/synthesis_window.h"

namespace lunaret {
namespace {

namespace st = synthesis_tables;

constexpr float kInvSqrt2 = 0.70710678118654752440f;

struct IntensityRatios {
  float left[7];
  float right[7];
};
// MPEG-1: ratio tan(pos * pi / 12); left gets ratio / (1 + ratio), right
// 1 / (1 + ratio), written with sin and cos so position 6 needs no infinity.
constexpr IntensityRatios make_ratios() {
  IntensityRatios t{};
  for (int p = 0; p < 7; ++p) {
    double s = st::const_sin(p * st::kPi / 12), c = st::const_cos(p * st::kPi / 12);
    t.left[p] = float(s / (s + c));
    t.right[p] = float(c / (s + c));
  }
  return t;
}
constexpr IntensityRatios kRatios = make_ratios();

// MPEG-2: powers of 2^(-1/4) (intensity_scale 0) or 2^(-1/2) (1).
constexpr double kLsfBase[2] = {0.84089641525371454303, 0.70710678118654752440};

struct BandOp {
  bool ms;
  bool intensity;
};

void mid_side(float *l, float *r, int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i) {
    const float m = l[i], s = r[i];
    l[i] = (m + s) * kInvSqrt2;
    r[i] = (m - s) * kInvSqrt2;
  }
}

void intensity(const HeaderRecord &h, const Scalefactors &sf, int32_t pos, float *l, float *r, int32_t from,
               int32_t to) {
  float kl, kr;
  if (h.id) {
    kl = kRatios.left[pos];
    kr = kRatios.right[pos];
  } else {
    double k = 1.0;
    const int32_t steps = pos & 1 ? (pos + 1) / 2 : pos / 2;
    for (int32_t i = 0; i < steps; ++i) k *= kLsfBase[sf.intensity_scale];
    kl = pos & 1 ? float(k) : 1.0f;
    kr = pos & 1 ? 1.0f : float(k);
  }
  for (int32_t i = from; i < to; ++i) {
    const float v = l[i];
    l[i] = v * kl;
    r[i] = v * kr;
  }
}

bool any_nonzero(const float *x, int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i)
    if (x[i] != 0.0f) return true;
  return false;
}

}  // namespace

void layer3_stereo(const HeaderRecord &h, const Granule &right, const Scalefactors &sf, float *l, float *r,
                   int32_t lines[2]) {
  const bool ms = (h.mode_extension & 2) != 0;
  const bool is = (h.mode_extension & 1) != 0;
  int32_t extent = lines[0] > lines[1] ? lines[0] : lines[1];
  if (!is) {
    if (ms) mid_side(l, r, 0, extent);
    lines[0] = lines[1] = extent;
    return;
  }
  const int16_t *lb = layer3::kBands.long_bounds[rate_slot(h)];
  const int16_t *sbnd = layer3::kBands.short_bounds[rate_slot(h)];
  // An illegal position (MPEG-1: 7; MPEG-2: the largest value of the band's
  // length) leaves the band to mid/side.
  auto apply = [&](int32_t pos, int32_t max, int32_t from, int32_t to) {
    if (pos == max || (h.id && pos > 6)) {
      if (ms) mid_side(l, r, from, to);
    } else {
      intensity(h, sf, pos, l, r, from, to);
    }
  };

  if (right.block_type == 2) {
    const int32_t first_short = right.mixed ? 3 : 0;
    bool short_part_coded = false;
    for (int32_t w = 0; w < 3; ++w) {
      // Last band of this window where the right channel has content.
      int32_t last = first_short - 1;
      for (int32_t band = 12; band >= first_short; --band) {
        const int32_t width = sbnd[band + 1] - sbnd[band];
        const int32_t from = sbnd[band] * 3 + w * width;
        if (any_nonzero(r, from, from + width)) {
          last = band;
          break;
        }
      }
      if (last >= first_short) short_part_coded = true;
      for (int32_t band = first_short; band < 13; ++band) {
        const int32_t width = sbnd[band + 1] - sbnd[band];
        const int32_t from = sbnd[band] * 3 + w * width;
        if (band <= last) {
          if (ms) mid_side(l, r, from, from + width);
          continue;
        }
        // The top band has no scalefactor of its own: it takes the one below.
        const int32_t src = band < 12 ? band : 11;
        apply(sf.s[src][w], h.id ? 7 : sf.is_max_s[src], from, from + width);
      }
    }
    if (right.mixed) {
      const int32_t long_end = h.id ? lb[8] : lb[6];
      const int32_t long_bands = h.id ? 8 : 6;
      int32_t last = -1;
      if (!short_part_coded)
        for (int32_t band = long_bands - 1; band >= 0; --band)
          if (any_nonzero(r, lb[band], lb[band + 1])) {
            last = band;
            break;
          }
      for (int32_t band = 0; band < long_bands; ++band) {
        if (short_part_coded || band <= last) {
          if (ms) mid_side(l, r, lb[band], lb[band + 1] < long_end ? lb[band + 1] : long_end);
        } else {
          apply(sf.l[band], h.id ? 7 : sf.is_max_l[band], lb[band], lb[band + 1]);
        }
      }
    }
  } else {
    int32_t last = -1;
    for (int32_t band = 21; band >= 0; --band)
      if (any_nonzero(r, lb[band], lb[band + 1])) {
        last = band;
        break;
      }
    for (int32_t band = 0; band < 22; ++band) {
      if (band <= last) {
        if (ms) mid_side(l, r, lb[band], lb[band + 1]);
        continue;
      }
      const int32_t src = band < 21 ? band : 20;
      apply(sf.l[src], h.id ? 7 : sf.is_max_l[src], lb[band], lb[band + 1]);
    }
  }
  lines[0] = lines[1] = 576;
}

}  // namespace lunaret
