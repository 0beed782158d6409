// Float subband synthesis: a fast 32-point DCT for the matrixing, then the
// 512-tap window over the ring of the last 16 matrixed vectors. The DCT and
// the full window come from a table of C and vector forms.
#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "audio/decode/synthesis.h"
#include "audio/decode/synthesis_dsp.h"
#include "audio/decode/synthesis_window.h"
#include "platform/cpu_features.h"

namespace lunaret {
namespace {

namespace st = synthesis_tables;

using V4 = float __attribute__((vector_size(16)));

// The window in PCM units (D[i] * 32768), arranged as 16 rows of 32 taps:
// row 2i holds D[64i + j], row 2i + 1 holds D[64i + 32 + j].
struct Window {
  alignas(16) float w[16][32];
  float d[512];
};
constexpr Window make_window() {
  Window t{};
  for (int i = 0; i < 512; ++i) t.d[i] = float(st::window_value(i) / 65536.0);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 32; ++j) {
      t.w[2 * i][j] = float(st::window_value(64 * i + j) / 2.0);
      t.w[2 * i + 1][j] = float(st::window_value(64 * i + 32 + j) / 2.0);
    }
  return t;
}
constexpr Window kWindow = make_window();

// Where row r of the window reads in the ring, relative to the newest vector.
constexpr int32_t row_offset(int r) { return 128 * (r / 2) + (r & 1) * 96; }

// Clipped first, then rounded, as the vector forms do (a NaN gives 0).
inline int16_t clip_round(float x) {
  if (!(x >= -32768.0f)) return -32768;
  if (x > 32767.0f) return 32767;
  return int16_t(std::lrint(x));
}

// Samples clipped to 16 bits, then rounded to nearest by the processor's
// conversion (ties to even, as lrint does); clipping first keeps the
// conversion in range and sends a NaN to -32768, as the C form does.
inline __m128i round_clip4(__m128 x) {
  x = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
  return _mm_cvtps_epi32(x);
}

// The 32 samples, eight to a register, to out[0], out[stride], ...
inline void store_pcm(const __m128i pcm[4], int16_t *out, int32_t stride) {
  if (stride == 1) {
    for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8 * i), pcm[i]);
    return;
  }
  alignas(16) int16_t s[32];
  for (int i = 0; i < 4; ++i) _mm_store_si128(reinterpret_cast<__m128i *>(s + 8 * i), pcm[i]);
  for (int j = 0; j < 32; ++j) out[j * stride] = s[j];
}

// Four lanes: the 32 sums stay in eight registers across the 16 rows (an
// array in memory would make every step a store and a reload).
void window_full_sse2(const float *v, int16_t *out, int32_t stride) {
  V4 a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {}, a5 = {}, a6 = {}, a7 = {};
#pragma GCC unroll 16
  for (int r = 0; r < 16; ++r) {
    const V4 *w = reinterpret_cast<const V4 *>(kWindow.w[r]);
    const V4 *src = reinterpret_cast<const V4 *>(v + row_offset(r));
    a0 += w[0] * src[0];
    a1 += w[1] * src[1];
    a2 += w[2] * src[2];
    a3 += w[3] * src[3];
    a4 += w[4] * src[4];
    a5 += w[5] * src[5];
    a6 += w[6] * src[6];
    a7 += w[7] * src[7];
  }
  const __m128i pcm[4] = {
      _mm_packs_epi32(round_clip4(a0), round_clip4(a1)), _mm_packs_epi32(round_clip4(a2), round_clip4(a3)),
      _mm_packs_epi32(round_clip4(a4), round_clip4(a5)), _mm_packs_epi32(round_clip4(a6), round_clip4(a7))};
  store_pcm(pcm, out, stride);
}

// The C form: each sum takes its rows in the same order as the vector forms.
void window_full_c(const float *v, int16_t *out, int32_t stride) {
  float acc[32] = {};
  for (int r = 0; r < 16; ++r) {
    const float *w = kWindow.w[r];
    const float *src = v + row_offset(r);
    for (int j = 0; j < 32; ++j) acc[j] += w[j] * src[j];
  }
  for (int j = 0; j < 32; ++j) out[j * stride] = clip_round(acc[j]);
}

// The full form's window with eight lanes where the processor has AVX: the
// same products summed in the same order per sample as the four-lane form
// (no fused multiply-add), so the samples are bit for bit the same.
using V8 = float __attribute__((vector_size(32)));

// The rows are only 16-byte aligned: loaded through memcpy, never through a
// V8 pointer (which clang takes as 32-byte aligned and faults on).
__attribute__((target("avx"))) inline V8 load8(const float *p) {
  V8 x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

__attribute__((target("avx"))) void window_full_avx(const float *v, int16_t *out, int32_t stride) {
  V8 a0 = {}, a1 = {}, a2 = {}, a3 = {};
#pragma GCC unroll 16
  for (int r = 0; r < 16; ++r) {
    const float *w = kWindow.w[r];
    const float *src = v + row_offset(r);
    a0 += load8(w) * load8(src);
    a1 += load8(w + 8) * load8(src + 8);
    a2 += load8(w + 16) * load8(src + 16);
    a3 += load8(w + 24) * load8(src + 24);
  }
  const V8 sums[4] = {a0, a1, a2, a3};
  __m128i pcm[4];
  for (int i = 0; i < 4; ++i) {
    const __m256 x =
        _mm256_min_ps(_mm256_max_ps(sums[i], _mm256_set1_ps(-32768.0f)), _mm256_set1_ps(32767.0f));
    const __m256i n = _mm256_cvtps_epi32(x);
    pcm[i] = _mm_packs_epi32(_mm256_castsi256_si128(n), _mm256_extractf128_si256(n, 1));
  }
  store_pcm(pcm, out, stride);
}

const SynthDsp kDsp = [] {
  SynthDsp dsp;
  init_synth_dsp(dsp, platform::detect_cpu_flags());
  return dsp;
}();

// Every second sample: even-numbered ones for Half, odd-numbered ones for
// the interpolating form. Out of line, so that the full form's path stays
// short.
__attribute__((noinline)) void window_partial(SynthFloatChannel &ch, const float *v, SynthForm form,
                                              int16_t *out, int32_t stride) {
  const int first = form == SynthForm::Half ? 0 : 1;
  float acc[16] = {};
  for (int r = 0; r < 16; ++r) {
    const float *w = kWindow.w[r] + first;
    const float *src = v + row_offset(r) + first;
    for (int m = 0; m < 16; ++m) acc[m] += w[2 * m] * src[2 * m];
  }
  if (form == SynthForm::Half) {
    for (int m = 0; m < 16; ++m) out[m * stride] = clip_round(acc[m]);
    return;
  }
  float prev = ch.last;
  for (int m = 0; m < 16; ++m) {
    out[(2 * m) * stride] = clip_round(0.5f * (prev + acc[m]));
    out[(2 * m + 1) * stride] = clip_round(acc[m]);
    prev = acc[m];
  }
  ch.last = prev;
}

}  // namespace

void init_synth_dsp(SynthDsp &dsp, uint32_t cpu_flags) {
  dsp.dct32 = dct32_c;
  dsp.matrix = matrix_c;
  dsp.window_full = window_full_c;
  if (!(cpu_flags & platform::kCpuSse2)) return;
  dsp.dct32 = dct32_sse2;
  dsp.matrix = matrix_sse2;
  dsp.window_full = window_full_sse2;
  if (!(cpu_flags & platform::kCpuAvx)) return;
  dsp.dct32 = dct32_avx;
  dsp.matrix = matrix_avx;
  dsp.window_full = window_full_avx;
}

void dct32_float(const float in[32], float out[32]) { kDsp.dct32(in, out); }

const float *synthesis_window() { return kWindow.d; }

void synth_reset(SynthFloatChannel &ch) {
  std::memset(ch.v, 0, sizeof ch.v);
  ch.phase = 0;
  ch.last = 0.0f;
}

void synth_float(SynthFloatChannel &ch, const float in[32], SynthForm form, int16_t *out, int32_t stride) {
  ch.phase = (ch.phase - 1) & 15;
  float *v = ch.v + ch.phase * 64;
  kDsp.matrix(in, v);
  if (form == SynthForm::Full)
    kDsp.window_full(v, out, stride);
  else
    window_partial(ch, v, form, out, stride);
}

}  // namespace lunaret
