// The 32-point DCT of the synthesis matrixing, by halving (B. G. Lee): the
// sums and the scaled differences of mirrored inputs are two half-size
// DCTs giving the even and the odd outputs. The C form recurses; the
// vector form keeps all 32 values in eight 4-lane registers through every
// stage, with the same sums and products.
#include <cstring>

#include "audio/decode/synthesis_dsp.h"
#include "audio/decode/synthesis_window.h"

namespace lunaret {
namespace {

namespace st = synthesis_tables;

// 1 / (2 cos(pi (2n + 1) / (2N))) for each stage of the recursion.
template <int N>
struct DctStage {
  alignas(16) float k[N / 2];
};
template <int N>
constexpr DctStage<N> make_stage() {
  DctStage<N> s{};
  for (int n = 0; n < N / 2; ++n) s.k[n] = float(0.5 / st::const_cos(st::kPi * (2 * n + 1) / (2.0 * N)));
  return s;
}
template <int N>
constexpr DctStage<N> kStage = make_stage<N>();

template <int N>
void dct(const float *in, float *out) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    float a[N / 2], b[N / 2], ea[N / 2], ob[N / 2];
    for (int n = 0; n < N / 2; ++n) {
      a[n] = in[n] + in[N - 1 - n];
      b[n] = (in[n] - in[N - 1 - n]) * kStage<N>.k[n];
    }
    dct<N / 2>(a, ea);
    dct<N / 2>(b, ob);
    for (int k = 0; k < N / 2 - 1; ++k) {
      out[2 * k] = ea[k];
      out[2 * k + 1] = ob[k] + ob[k + 1];
    }
    out[N - 2] = ea[N / 2 - 1];
    out[N - 1] = ob[N / 2 - 1];
  }
}

using V4 = float __attribute__((vector_size(16)));

inline V4 load4(const float *p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store4(float *p, V4 v) { std::memcpy(p, &v, sizeof v); }
inline V4 reverse4(V4 v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }
inline V4 splat(float x) { return V4{x, x, x, x}; }

// One halving step over eight values in two registers: sums to `a`, scaled
// differences to `b`.
inline void halve(V4 lo, V4 hi, const float *k, V4 &a, V4 &b) {
  hi = reverse4(hi);
  a = lo + hi;
  b = (lo - hi) * load4(k);
}

inline void transpose4(V4 &r0, V4 &r1, V4 &r2, V4 &r3) {
  const V4 t0 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5);
  const V4 t1 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7);
  const V4 t2 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5);
  const V4 t3 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
  r0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  r1 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  r2 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  r3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Four 4-point DCTs side by side: lane g of y[e] is element e of group g.
inline void dct4_lanes(V4 y[4]) {
  const V4 a0 = y[0] + y[3], a1 = y[1] + y[2];
  const V4 b0 = (y[0] - y[3]) * splat(kStage<4>.k[0]);
  const V4 b1 = (y[1] - y[2]) * splat(kStage<4>.k[1]);
  const V4 k2 = splat(kStage<2>.k[0]);
  const V4 ob1 = (b0 - b1) * k2;
  y[0] = a0 + a1;
  y[1] = (b0 + b1) + ob1;
  y[2] = (a0 - a1) * k2;
  y[3] = ob1;
}

// The vector form, compiled twice: for SSE2 and with the three-operand AVX
// encoding, which spares most of the register copies.
__attribute__((always_inline)) inline void dct32_vector(const float in[32], float out[32]) {
  V4 x[8];
  for (int i = 0; i < 8; ++i) x[i] = load4(in + 4 * i);
  // First halving: a (x[0..3] after) and b (x[4..7]).
  V4 s[8];
  for (int i = 0; i < 4; ++i) halve(x[i], x[7 - i], kStage<32>.k + 4 * i, s[i], s[4 + i]);
  // Second: each half of 16 into its sums and differences; groups of eight
  // in the order aa, ab, ba, bb.
  V4 g[8];
  for (int h = 0; h < 2; ++h)
    for (int i = 0; i < 2; ++i)
      halve(s[4 * h + i], s[4 * h + 3 - i], kStage<16>.k + 4 * i, g[4 * h + i], g[4 * h + 2 + i]);
  // Third: each group of eight into a sum part p and a difference part q.
  V4 p[4], q[4];
  for (int j = 0; j < 4; ++j) halve(g[2 * j], g[2 * j + 1], kStage<8>.k, p[j], q[j]);
  // The 4-point DCTs with the groups across the lanes.
  transpose4(p[0], p[1], p[2], p[3]);
  transpose4(q[0], q[1], q[2], q[3]);
  dct4_lanes(p);
  dct4_lanes(q);
  // The 8-point outputs of the four groups, lane g holding group g.
  V4 r[8];
  for (int k = 0; k < 3; ++k) {
    r[2 * k] = p[k];
    r[2 * k + 1] = q[k] + q[k + 1];
  }
  r[6] = p[3];
  r[7] = q[3];
  // The 16-point outputs: t[k] = {a[2k], a[2k + 1], b[2k], b[2k + 1]}, the
  // odd ones being the sums of neighbouring odd-part outputs (lanes 1, 3).
  V4 t[8];
  for (int k = 0; k < 7; ++k) t[k] = __builtin_shufflevector(r[k], r[k] + r[k + 1], 0, 5, 2, 7);
  t[7] = r[7];
  // The 32-point outputs, even ones from a, odd ones neighbouring sums of b.
  V4 e[4], o[5];
  for (int j = 0; j < 4; ++j) {
    e[j] = __builtin_shufflevector(t[2 * j], t[2 * j + 1], 0, 1, 4, 5);
    o[j] = __builtin_shufflevector(t[2 * j], t[2 * j + 1], 2, 3, 6, 7);
  }
  // Adding -0 leaves the last odd value as it is.
  o[4] = splat(-0.0f);
  for (int j = 0; j < 4; ++j) {
    const V4 odd = o[j] + __builtin_shufflevector(o[j], o[j + 1], 1, 2, 3, 4);
    store4(out + 8 * j, __builtin_shufflevector(e[j], odd, 0, 4, 1, 5));
    store4(out + 8 * j + 4, __builtin_shufflevector(e[j], odd, 2, 6, 3, 7));
  }
}

// The new vector and its second copy from the DCT outputs: v[0..15] =
// x[16..31], v[16] = 0, v[17..47] = -x[31..1] (four reversed lanes at a
// time; the last store's fourth lane, -x[0], is v[48] anyway), v[48..63] =
// -x[0..15].
__attribute__((always_inline)) inline void store_vector(const float x[32], float *v) {
  float *v2 = v + 1024;
  for (int i = 0; i < 16; i += 4) {
    const V4 a = load4(x + 16 + i);
    store4(v + i, a);
    store4(v2 + i, a);
  }
  for (int q = 0; q < 8; ++q) {
    const V4 a = -reverse4(load4(x + 28 - 4 * q));
    store4(v + 17 + 4 * q, a);
    store4(v2 + 17 + 4 * q, a);
  }
  v[16] = v2[16] = 0.0f;
  for (int i = 48; i < 64; i += 4) {
    const V4 a = -load4(x + (i - 48));
    store4(v + i, a);
    store4(v2 + i, a);
  }
}

}  // namespace

void dct32_c(const float in[32], float out[32]) { dct<32>(in, out); }

void dct32_sse2(const float in[32], float out[32]) { dct32_vector(in, out); }

__attribute__((target("avx"))) void dct32_avx(const float in[32], float out[32]) { dct32_vector(in, out); }

void matrix_c(const float in[32], float *v) {
  float x[32];
  dct<32>(in, x);
  for (int copy = 0; copy < 2; ++copy, v += 1024) {
    for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
    v[16] = 0.0f;
    for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
    for (int i = 48; i < 64; ++i) v[i] = -x[i - 48];
  }
}

void matrix_sse2(const float in[32], float *v) {
  alignas(16) float x[32];
  dct32_vector(in, x);
  store_vector(x, v);
}

__attribute__((target("avx"))) void matrix_avx(const float in[32], float *v) {
  alignas(16) float x[32];
  dct32_vector(in, x);
  store_vector(x, v);
}

}  // namespace lunaret
