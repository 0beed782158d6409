// Layer III hybrid filter bank: short-block reordering, alias reduction,
// IMDCT (36-point long, 3 x 12-point short) with windowing and overlap-add,
// and frequency inversion of the odd subbands.
#include <immintrin.h>

#include <cstring>

#include "audio/decode/frame_header.h"
#include "audio/decode/layer3_internal.h"
#include "audio/decode/layer3_tables.h"
#include "audio/decode/synthesis_window.h"
#include "platform/cpu_features.h"

namespace lunaret {
namespace {

namespace st = synthesis_tables;

// The 36-point IMDCT x[i] = sum_k X[k] cos(pi/72 (2i + 19)(2k + 1)) is a
// DCT-IV of 18 points, y[n] = sum_k X[k] cos(pi/18 (n + 1/2)(k + 1/2)),
// unfolded: x[0..8] = y[9..17], x[9..26] = -y[17..0], x[27..35] = -y[0..8].
struct Tables {
  alignas(16) float dct4[18][20];  // [k][n], rows padded for whole vectors
  // The same coefficients laid out by IMDCT output x[0..35] (signs of the
  // unfolding included, padded to 40): the windowing then reads in order.
  alignas(32) float unfolded[18][40];
  alignas(16) float short_imdct[12][6];
  alignas(16) float window[4][36];  // by block type (2 unused: short)
  alignas(16) float short_window[12];
  // dct4 with each coefficient repeated across eight lanes, [k][n][lane]:
  // one register operand per product when the lanes are subbands.
  alignas(32) float dct4_lanes[18][18][8];
};

constexpr Tables make_tables() {
  Tables t{};
  for (int n = 0; n < 18; ++n)
    for (int k = 0; k < 18; ++k) {
      t.dct4[k][n] = float(st::const_cos(st::kPi / 18 * (n + 0.5) * (k + 0.5)));
    }
  for (int k = 0; k < 18; ++k)
    for (int i = 0; i < 36; ++i) {
      const float c = t.dct4[k][i < 9 ? i + 9 : i < 27 ? 26 - i : i - 27];
      t.unfolded[k][i] = i < 9 ? c : -c;
    }
  for (int i = 0; i < 12; ++i)
    for (int k = 0; k < 6; ++k)
      t.short_imdct[i][k] = float(st::const_cos(st::kPi / 24 * (2 * i + 7) * (2 * k + 1)));
  for (int i = 0; i < 36; ++i) t.window[0][i] = float(st::const_sin(st::kPi / 36 * (i + 0.5)));
  for (int i = 0; i < 18; ++i) t.window[1][i] = t.window[0][i];
  for (int i = 18; i < 24; ++i) t.window[1][i] = 1.0f;
  for (int i = 24; i < 30; ++i) t.window[1][i] = float(st::const_sin(st::kPi / 12 * (i - 18 + 0.5)));
  for (int i = 30; i < 36; ++i) t.window[1][i] = 0.0f;
  for (int i = 0; i < 6; ++i) t.window[3][i] = 0.0f;
  for (int i = 6; i < 12; ++i) t.window[3][i] = float(st::const_sin(st::kPi / 12 * (i - 6 + 0.5)));
  for (int i = 12; i < 18; ++i) t.window[3][i] = 1.0f;
  for (int i = 18; i < 36; ++i) t.window[3][i] = t.window[0][i];
  for (int i = 0; i < 36; ++i) t.window[2][i] = t.window[0][i];
  for (int i = 0; i < 12; ++i) t.short_window[i] = float(st::const_sin(st::kPi / 12 * (i + 0.5)));
  for (int k = 0; k < 18; ++k)
    for (int n = 0; n < 18; ++n)
      for (int lane = 0; lane < 8; ++lane) t.dct4_lanes[k][n][lane] = t.dct4[k][n];
  return t;
}
constexpr Tables kT = make_tables();

// Windowing and overlap-add of the DCT-IV outputs y: the 36 IMDCT values
// are x[0..8] = y[9..17], x[9..26] = -y[17..0], x[27..35] = -y[0..8].
inline void window_overlap(const float y[18], const float *window, float overlap[18], float out[18]) {
  for (int i = 0; i < 9; ++i) out[i] = y[i + 9] * window[i] + overlap[i];
  for (int i = 9; i < 18; ++i) out[i] = -y[26 - i] * window[i] + overlap[i];
  for (int i = 0; i < 9; ++i) overlap[i] = -y[8 - i] * window[i + 18];
  for (int i = 9; i < 18; ++i) overlap[i] = -y[i - 9] * window[i + 18];
}

// The 18-point DCT-IV (the IMDCT before unfolding), column by column, the
// 20 padded sums held in five 4-lane registers.
void dct4_18(const float in[18], float y[20]) {
  using V4 = float __attribute__((vector_size(16)));
  V4 a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {};
  for (int k = 0; k < 18; ++k) {
    const V4 xk = {in[k], in[k], in[k], in[k]};
    const V4 *col = reinterpret_cast<const V4 *>(kT.dct4[k]);
    a0 += col[0] * xk;
    a1 += col[1] * xk;
    a2 += col[2] * xk;
    a3 += col[3] * xk;
    a4 += col[4] * xk;
  }
  std::memcpy(y, &a0, 16);
  std::memcpy(y + 4, &a1, 16);
  std::memcpy(y + 8, &a2, 16);
  std::memcpy(y + 12, &a3, 16);
  std::memcpy(y + 16, &a4, 16);
}

void imdct_long_c(const float in[18], const float *window, float overlap[18], float out[18]) {
  alignas(16) float y[20];
  dct4_18(in, y);
  window_overlap(y, window, overlap, out);
}

// Eight lanes where the processor has AVX, straight into the unfolded
// order: each output takes the same products (negated where the unfolding
// negates) summed in the same order as the four-lane reference, with no
// fused multiply-add, so the results are bit for bit the same.
__attribute__((target("avx"))) void imdct_long_avx(const float in[18], const float *window, float overlap[18],
                                                   float out[18]) {
  using V8 = float __attribute__((vector_size(32)));
  V8 a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {};
#pragma GCC unroll 18
  for (int k = 0; k < 18; ++k) {
    const float v = in[k];
    const V8 xk = {v, v, v, v, v, v, v, v};
    const V8 *col = reinterpret_cast<const V8 *>(kT.unfolded[k]);
    a0 += col[0] * xk;
    a1 += col[1] * xk;
    a2 += col[2] * xk;
    a3 += col[3] * xk;
    a4 += col[4] * xk;
  }
  alignas(32) float x[40];
  std::memcpy(x, &a0, 32);
  std::memcpy(x + 8, &a1, 32);
  std::memcpy(x + 16, &a2, 32);
  std::memcpy(x + 24, &a3, 32);
  std::memcpy(x + 32, &a4, 32);
  for (int i = 0; i < 16; i += 8) {
    V8 xv, w, ov;
    std::memcpy(&xv, x + i, 32);
    std::memcpy(&w, window + i, 32);
    std::memcpy(&ov, overlap + i, 32);
    const V8 o = xv * w + ov;
    std::memcpy(out + i, &o, 32);
  }
  for (int i = 16; i < 18; ++i) out[i] = x[i] * window[i] + overlap[i];
  for (int i = 0; i < 16; i += 8) {
    V8 xv, w;
    std::memcpy(&xv, x + 18 + i, 32);
    std::memcpy(&w, window + 18 + i, 32);
    const V8 o = xv * w;
    std::memcpy(overlap + i, &o, 32);
  }
  for (int i = 16; i < 18; ++i) overlap[i] = x[18 + i] * window[18 + i];
}

// Eight subbands through the single-subband form, for the C level and as
// the reference of the vector one.
void imdct_long8_c(const float *in, const float *window, float *overlap, float *time) {
  for (int j = 0; j < 8; ++j) {
    float ov[18], dst[18];
    for (int t = 0; t < 18; ++t) ov[t] = overlap[t * 32 + j];
    imdct_long_c(in + 18 * j, window, ov, dst);
    for (int t = 0; t < 18; ++t) {
      overlap[t * 32 + j] = ov[t];
      time[t * 32 + j] = (j & 1) && (t & 1) ? -dst[t] : dst[t];
    }
  }
}

// With the lanes as subbands every IMDCT value is a whole register, the
// unfolding is only which register, and the slots go straight out to the
// synthesis order. The sums run over k in the C form's order, and the
// negations of the unfolding are exact (a subtraction, or a sign flip of
// the product), so the bits are the C form's.
__attribute__((target("avx2"))) void imdct_long8_avx2(const float *in, const float *window, float *overlap,
                                                      float *time) {
  const __m256i rows = _mm256_setr_epi32(0, 18, 36, 54, 72, 90, 108, 126);
  __m256 x[18];
#pragma GCC unroll 18
  for (int k = 0; k < 18; ++k) x[k] = _mm256_i32gather_ps(in + k, rows, 4);
  __m256 y[18];
  // Nine sums at a time stay in registers beside the input value.
#pragma GCC unroll 2
  for (int half = 0; half < 18; half += 9) {
    __m256 acc[9];
#pragma GCC unroll 9
    for (int m = 0; m < 9; ++m) acc[m] = _mm256_setzero_ps();
#pragma GCC unroll 18
    for (int k = 0; k < 18; ++k) {
      const __m256 xk = x[k];
#pragma GCC unroll 9
      for (int m = 0; m < 9; ++m)
        acc[m] = _mm256_add_ps(acc[m], _mm256_mul_ps(_mm256_load_ps(kT.dct4_lanes[k][half + m]), xk));
    }
#pragma GCC unroll 9
    for (int m = 0; m < 9; ++m) y[half + m] = acc[m];
  }
  const __m256 sign = _mm256_set1_ps(-0.0f);
  const __m256 odd_lanes = _mm256_setr_ps(0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f);
  // x[0..8] = y[9..17], x[9..17] = -y[17..9] (subtracted).
#pragma GCC unroll 18
  for (int t = 0; t < 18; ++t) {
    const __m256 w = _mm256_broadcast_ss(window + t);
    const __m256 ov = _mm256_loadu_ps(overlap + t * 32);
    __m256 o = t < 9 ? _mm256_add_ps(_mm256_mul_ps(y[t + 9], w), ov)
                     : _mm256_sub_ps(ov, _mm256_mul_ps(y[26 - t], w));
    if (t & 1) o = _mm256_xor_ps(o, odd_lanes);
    _mm256_storeu_ps(time + t * 32, o);
  }
  // x[18..26] = -y[8..0], x[27..35] = -y[0..8].
#pragma GCC unroll 18
  for (int t = 0; t < 18; ++t) {
    const __m256 w = _mm256_broadcast_ss(window + 18 + t);
    const __m256 p = _mm256_mul_ps(y[t < 9 ? 8 - t : t - 9], w);
    _mm256_storeu_ps(overlap + t * 32, _mm256_xor_ps(p, sign));
  }
}

// Three short transforms of the interleaved values in[3k + w]; the windows
// sit at 6, 12 and 18 of the 36-sample block.
void imdct_short(const float in[18], float overlap[18], float out[18]) {
  float z[36] = {};
  for (int w = 0; w < 3; ++w) {
    for (int i = 0; i < 12; ++i) {
      float acc = 0.0f;
      for (int k = 0; k < 6; ++k) acc += kT.short_imdct[i][k] * in[3 * k + w];
      z[6 + 6 * w + i] += acc * kT.short_window[i];
    }
  }
  for (int i = 0; i < 18; ++i) {
    out[i] = z[i] + overlap[i];
    overlap[i] = z[i + 18];
  }
}

// Short bands arrive band by band, window after window; the IMDCT wants
// the three windows of each line side by side.
void reorder(float xr[576], const int16_t *sbnd, int32_t first_band) {
  float tmp[576];
  const int32_t start = sbnd[first_band] * 3;
  for (int32_t band = first_band; band < 13; ++band) {
    const int32_t width = sbnd[band + 1] - sbnd[band];
    const int32_t base = sbnd[band] * 3;
    for (int32_t w = 0; w < 3; ++w)
      for (int32_t k = 0; k < width; ++k) tmp[base + 3 * k + w] = xr[base + w * width + k];
  }
  std::memcpy(xr + start, tmp + start, size_t(576 - start) * sizeof(float));
}

void alias_reduce_c(float xr[576], int32_t boundaries) {
  for (int32_t sb = 1; sb <= boundaries; ++sb) {
    float *hi = xr + 18 * sb;
    for (int i = 0; i < 8; ++i) {
      const float a = hi[-1 - i], b = hi[i];
      hi[-1 - i] = a * layer3::kAlias.cs[i] - b * layer3::kAlias.ca[i];
      hi[i] = b * layer3::kAlias.cs[i] + a * layer3::kAlias.ca[i];
    }
  }
}

// The eight butterflies of a boundary side by side: the lines below it
// taken in reverse. The same products and sums as the C form.
__attribute__((target("avx2"))) void alias_reduce_avx2(float xr[576], int32_t boundaries) {
  const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
  const __m256 cs = _mm256_loadu_ps(layer3::kAlias.cs);
  const __m256 ca = _mm256_loadu_ps(layer3::kAlias.ca);
  for (int32_t sb = 1; sb <= boundaries; ++sb) {
    float *hi = xr + 18 * sb;
    const __m256 a = _mm256_permutevar8x32_ps(_mm256_loadu_ps(hi - 8), reverse);
    const __m256 b = _mm256_loadu_ps(hi);
    const __m256 low = _mm256_sub_ps(_mm256_mul_ps(a, cs), _mm256_mul_ps(b, ca));
    const __m256 high = _mm256_add_ps(_mm256_mul_ps(b, cs), _mm256_mul_ps(a, ca));
    _mm256_storeu_ps(hi - 8, _mm256_permutevar8x32_ps(low, reverse));
    _mm256_storeu_ps(hi, high);
  }
}

}  // namespace

void init_hybrid_dsp(HybridDsp &dsp, uint32_t cpu_flags) {
  dsp.imdct_long = imdct_long_c;
  dsp.imdct_long8 = imdct_long8_c;
  dsp.alias_reduce = alias_reduce_c;
  if (!(cpu_flags & platform::kCpuAvx)) return;
  dsp.imdct_long = imdct_long_avx;
  if (!(cpu_flags & platform::kCpuAvx2)) return;
  dsp.imdct_long8 = imdct_long8_avx2;
  dsp.alias_reduce = alias_reduce_avx2;
}

void imdct36(const float in[18], float out[36]) {
  alignas(16) float y[20];
  dct4_18(in, y);
  for (int i = 0; i < 9; ++i) out[i] = y[i + 9];
  for (int i = 9; i < 27; ++i) out[i] = -y[26 - i];
  for (int i = 27; i < 36; ++i) out[i] = -y[i - 27];
}

namespace {
const HybridDsp kDsp = [] {
  HybridDsp dsp;
  init_hybrid_dsp(dsp, platform::detect_cpu_flags());
  return dsp;
}();
}  // namespace

void layer3_hybrid(const Granule &gr, const HeaderRecord &h, float xr[576], int32_t lines, float overlap[576],
                   float time[576]) {
  const bool short_blocks = gr.block_type == 2;
  if (lines > 576) lines = 576;
  if (lines < 0) lines = 0;
  if (short_blocks) {
    reorder(xr, layer3::kBands.short_bounds[rate_slot(h)], gr.mixed ? 3 : 0);
    if (gr.mixed) kDsp.alias_reduce(xr, 1);
  } else {
    int32_t boundaries = (lines + 17) / 18;
    if (boundaries > 31) boundaries = 31;
    kDsp.alias_reduce(xr, boundaries);
  }
  // Subbands above the decoded lines (plus the alias spread) only release
  // their overlap.
  int32_t active = short_blocks ? 32 : (lines + 17) / 18 + 1;
  if (active > 32) active = 32;
  for (int32_t sb0 = 0; sb0 < 32; sb0 += 8) {
    if (!short_blocks && sb0 < active) {
      // Eight long blocks at once; any of them past the decoded lines has
      // zero input and so releases its overlap all the same.
      kDsp.imdct_long8(xr + sb0 * 18, kT.window[gr.block_type], overlap + sb0, time + sb0);
      continue;
    }
    for (int32_t sb = sb0; sb < sb0 + 8; ++sb) {
      float ov[18], dst[18];
      for (int t = 0; t < 18; ++t) ov[t] = overlap[t * 32 + sb];
      if (sb >= active) {
        std::memcpy(dst, ov, sizeof dst);
        std::memset(ov, 0, sizeof ov);
      } else if (short_blocks && !(gr.mixed && sb < 2)) {
        imdct_short(xr + sb * 18, ov, dst);
      } else {
        kDsp.imdct_long(xr + sb * 18, kT.window[0], ov, dst);
      }
      // Out slot by slot, as the synthesis takes them; odd subbands have
      // every odd sample inverted.
      for (int t = 0; t < 18; ++t) {
        overlap[t * 32 + sb] = ov[t];
        time[t * 32 + sb] = (sb & 1) && (t & 1) ? -dst[t] : dst[t];
      }
    }
  }
}

}  // namespace lunaret
