// Layer III joint stereo on made-up spectra: mid/side, and intensity stereo
// above the right channel's last coded band, with illegal positions falling
// back to mid/side (no encoder here writes intensity stereo, so the rules
// are checked directly).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/decode/layer3_internal.h"
#include "audio/decode/layer3_tables.h"

namespace audio_test {
namespace {

constexpr float kInvSqrt2 = 0.70710678f;

struct Spectra {
  float l[576], r[576], l0[576], r0[576];
  Spectra(int32_t right_lines) {
    for (int i = 0; i < 576; ++i) {
      l[i] = float((i * 37) % 101 - 50);
      r[i] = i < right_lines ? float((i * 53) % 97 - 48) : 0.0f;
    }
    std::memcpy(l0, l, sizeof l);
    std::memcpy(r0, r, sizeof r);
  }
};

lunaret::HeaderRecord joint(int32_t id, int32_t ext) {
  lunaret::HeaderRecord h;
  h.id = id;
  h.layer = 3;
  h.sampling_index = 0;
  h.mode = 1;
  h.mode_extension = ext;
  h.channels = 2;
  return h;
}

TEST(Layer3Stereo, MidSide) {
  Spectra s(576);
  lunaret::Granule g{};
  lunaret::Scalefactors sf{};
  int32_t lines[2] = {576, 300};
  lunaret::layer3_stereo(joint(1, 2), g, sf, s.l, s.r, lines);
  for (int i = 0; i < 576; ++i) {
    ASSERT_NEAR(s.l[i], (s.l0[i] + s.r0[i]) * kInvSqrt2, 1e-4) << i;
    ASSERT_NEAR(s.r[i], (s.l0[i] - s.r0[i]) * kInvSqrt2, 1e-4) << i;
  }
}

TEST(Layer3Stereo, IntensityMpeg1LongBlocks) {
  for (int32_t ext : {1, 3}) {
    const int16_t *lb = lunaret::layer3::kBands.long_bounds[0];
    Spectra s(lb[5]);  // the right channel is coded up to band 4
    lunaret::Granule g{};
    lunaret::Scalefactors sf{};
    for (int b = 0; b < 22; ++b) sf.l[b] = uint8_t(b % 7);
    sf.l[10] = 7;  // illegal: mid/side (or nothing) there
    sf.l[20] = 2;  // band 21 has no position of its own and takes this one
    int32_t lines[2] = {576, lb[5]};
    lunaret::layer3_stereo(joint(1, ext), g, sf, s.l, s.r, lines);
    const bool ms = ext & 2;
    for (int b = 0; b < 22; ++b) {
      for (int i = lb[b]; i < lb[b + 1]; ++i) {
        float el = s.l0[i], er = s.r0[i];
        if (b <= 4 || b == 10) {
          if (ms) {
            el = (s.l0[i] + s.r0[i]) * kInvSqrt2;
            er = (s.l0[i] - s.r0[i]) * kInvSqrt2;
          }
        } else {
          const int p = b == 21 ? sf.l[20] : sf.l[b];
          const double sn = std::sin(p * M_PI / 12), cs = std::cos(p * M_PI / 12);
          el = float(s.l0[i] * sn / (sn + cs));
          er = float(s.l0[i] * cs / (sn + cs));
        }
        ASSERT_NEAR(s.l[i], el, 1e-3) << "ext " << ext << " band " << b << " line " << i;
        ASSERT_NEAR(s.r[i], er, 1e-3) << "ext " << ext << " band " << b << " line " << i;
      }
    }
  }
}

TEST(Layer3Stereo, IntensityMpeg2PowersOfTwo) {
  const int16_t *lb = lunaret::layer3::kBands.long_bounds[3];
  for (int32_t scale : {0, 1}) {
    Spectra s(lb[3]);
    lunaret::Granule g{};
    lunaret::Scalefactors sf{};
    sf.intensity_scale = scale;
    for (int b = 0; b < 22; ++b) {
      sf.l[b] = uint8_t(b % 6);
      sf.is_max_l[b] = 5;  // the largest value of the band's length: illegal
    }
    int32_t lines[2] = {576, lb[3]};
    auto h = joint(0, 1);
    lunaret::layer3_stereo(h, g, sf, s.l, s.r, lines);
    const double base = scale ? std::sqrt(0.5) : std::pow(2.0, -0.25);
    for (int b = 3; b < 22; ++b) {
      const int p = b == 21 ? sf.l[20] : sf.l[b];
      for (int i = lb[b]; i < lb[b + 1]; ++i) {
        double el = s.l0[i], er = s.r0[i];
        if (p != 5) {
          el = s.l0[i] * (p & 1 ? std::pow(base, (p + 1) / 2) : 1.0);
          er = s.l0[i] * (p & 1 ? 1.0 : std::pow(base, p / 2));
        }
        ASSERT_NEAR(s.l[i], el, 1e-3) << "band " << b;
        ASSERT_NEAR(s.r[i], er, 1e-3) << "band " << b;
      }
    }
  }
}

}  // namespace
}  // namespace audio_test
