// 16-bit fixed-point subband synthesis. Subband samples become Q14
// integers (x 16384, rounded, saturated); the matrixing multiplies them by
// Q14 cosines and shifts the sums right by 14 (rounding) back to 16-bit Q14
// values; the window (Q14) multiplies those into 32-bit products whose sum
// is in Q28 of the output, so dividing by 8192 (truncating toward zero)
// gives PCM, saturated to 16 bits.
#include <cmath>
#include <cstring>

#include "audio/decode/synthesis.h"
#include "audio/decode/synthesis_window.h"

namespace lunaret {
namespace {

namespace st = synthesis_tables;

inline int16_t sat16(int64_t v) {
  if (v > 32767) return 32767;
  if (v < -32768) return -32768;
  return int16_t(v);
}

constexpr int16_t round_q14(double x) {
  double s = x * 16384.0;
  return int16_t(s < 0 ? -int32_t(-s + 0.5) : int32_t(s + 0.5));
}

// Matrixing cosines cos(pi (2k + 1) m / 64) in Q14, [m][k].
struct Cosines {
  alignas(16) int16_t c[32][32];
};
constexpr Cosines make_cosines() {
  Cosines t{};
  for (int m = 0; m < 32; ++m)
    for (int k = 0; k < 32; ++k) t.c[m][k] = round_q14(st::const_cos(st::kPi * (2 * k + 1) * m / 64.0));
  return t;
}
constexpr Cosines kCos = make_cosines();

// The window in Q14 (D[i] * 16384), rows as in the float form.
struct Window {
  alignas(16) int16_t w[16][32];
};
constexpr int16_t window_q14(int32_t i) {
  int32_t d = st::window_value(i);  // D * 65536
  return int16_t(d < 0 ? -((-d + 2) >> 2) : ((d + 2) >> 2));
}
constexpr Window make_window() {
  Window t{};
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 32; ++j) {
      t.w[2 * i][j] = window_q14(64 * i + j);
      t.w[2 * i + 1][j] = window_q14(64 * i + 32 + j);
    }
  return t;
}
constexpr Window kWindow = make_window();

constexpr int32_t row_offset(int r) { return 128 * (r / 2) + (r & 1) * 96; }

inline int16_t neg16(int16_t x) { return x == -32768 ? int16_t(32767) : int16_t(-x); }

}  // namespace

void synth_reset(SynthFixedChannel &ch) {
  std::memset(ch.v, 0, sizeof ch.v);
  ch.phase = 0;
}

void synth_fixed(SynthFixedChannel &ch, const float in[32], SynthForm form, int16_t *out, int32_t stride) {
  int16_t s[32];
  for (int k = 0; k < 32; ++k) {
    float q = in[k] * 16384.0f;
    // Saturate before converting: a damaged stream may scale far past 16 bits.
    s[k] = q >= 32767.0f ? int16_t(32767) : q <= -32768.0f ? int16_t(-32768) : int16_t(std::lrint(q));
  }
  int16_t x[32];
  for (int m = 0; m < 32; ++m) {
    int64_t acc = 0;
    for (int k = 0; k < 32; ++k) acc += int32_t(kCos.c[m][k]) * s[k];
    x[m] = sat16((acc + 8192) >> 14);
  }
  ch.phase = (ch.phase - 1) & 15;
  int16_t *v = ch.v + ch.phase * 64;
  for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
  v[16] = 0;
  for (int i = 17; i < 48; ++i) v[i] = neg16(x[48 - i]);
  for (int i = 48; i < 64; ++i) v[i] = neg16(x[i - 48]);
  std::memcpy(v + 1024, v, 64 * sizeof(int16_t));

  // Products are 32-bit; their sum wraps (as 32-bit registers do) instead
  // of overflowing, which only extreme, already clipping inputs reach.
  uint32_t acc[32] = {};
  for (int r = 0; r < 16; ++r) {
    const int16_t *w = kWindow.w[r];
    const int16_t *src = v + row_offset(r);
    for (int j = 0; j < 32; ++j) acc[j] += uint32_t(int32_t(w[j]) * int32_t(src[j]));
  }
  const int step = form == SynthForm::Half ? 2 : 1;
  for (int j = 0, o = 0; j < 32; j += step, ++o) out[o * stride] = sat16(int32_t(acc[j]) / 8192);
}

}  // namespace lunaret
