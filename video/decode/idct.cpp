// The two inverse DCTs in plain C, and the dispatch table.
//
// The accurate transform is separable and exact in 32-bit integers: the
// first pass keeps 4 fractional bits in 16-bit intermediates (real blocks
// stay far below the 16-bit limit; the saturation only bites on nonsense
// input), the second pass rounds to nearest. The SIMD versions perform the
// same integer operations, so they match this reference bit for bit.
#include "video/decode/idct.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "video/decode/x86/idct_x86.h"

namespace kestrum {
namespace {

constexpr int kPass1Shift = 10;  // 14-bit weights, keep 4 fractional bits
constexpr int kPass2Shift = 18;  // 14-bit weights + 4 fractional bits

constexpr int16_t saturate16(int32_t v) { return int16_t(std::clamp<int32_t>(v, -32768, 32767)); }

struct WeightTable {
  int16_t w[8][8];
};
constexpr WeightTable make_weights() {
  WeightTable t{};
  for (int x = 0; x < 8; ++x)
    for (int u = 0; u < 8; ++u) t.w[x][u] = idct_weight(x, u);
  return t;
}
constexpr WeightTable kWeights = make_weights();

// One 1-D pass over eight columns: out[x][c] = sum_u W(x, u) * in[u][c],
// rounded by `shift`. The even/odd split mirrors the SIMD code; in exact
// integer arithmetic the order of the sums does not matter.
void idct_pass(const int16_t *in, int16_t *out, int shift) {
  const int32_t round = 1 << (shift - 1);
  for (int c = 0; c < 8; ++c) {
    for (int x = 0; x < 4; ++x) {
      int32_t even = 0, odd = 0;
      for (int u = 0; u < 8; u += 2) even += int32_t(kWeights.w[x][u]) * in[u * 8 + c];
      for (int u = 1; u < 8; u += 2) odd += int32_t(kWeights.w[x][u]) * in[u * 8 + c];
      out[x * 8 + c] = saturate16((even + odd + round) >> shift);
      out[(7 - x) * 8 + c] = saturate16((even - odd + round) >> shift);
    }
  }
}

// Residual samples s, raster order.
void idct_accurate_samples(const int16_t *block, int16_t samples[64]) {
  int16_t q[64], r[64];
  // block is column-major: its rows are horizontal frequencies u. The
  // first pass transforms each row of the picture block horizontally.
  idct_pass(block, q, kPass1Shift);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) r[j * 8 + i] = q[i * 8 + j];
  idct_pass(r, samples, kPass2Shift);
}

// The sparse transform adds, for every nonzero coefficient, its basis
// function scaled by 64 into accumulators that start at 512 * 64, then
// rounds by 31/64. Basis weights are held with 12 more fractional bits.
struct SparseBasis {
  std::array<std::array<int32_t, 64>, 64> weight;  // [raster coefficient][pixel]
};

const SparseBasis &sparse_basis() {
  static const SparseBasis basis = [] {
    SparseBasis b{};
    for (int v = 0; v < 8; ++v)
      for (int u = 0; u < 8; ++u)
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) {
            const double cu = u ? 1.0 : 1.0 / std::sqrt(2.0);
            const double cv = v ? 1.0 : 1.0 / std::sqrt(2.0);
            const double w = 0.25 * cu * cv * std::cos((2 * x + 1) * u * M_PI / 16) *
                             std::cos((2 * y + 1) * v * M_PI / 16);
            b.weight[v * 8 + u][y * 8 + x] = int32_t(std::lround(w * 64 * 4096));
          }
    return b;
  }();
  return basis;
}

void idct_sparse_plus512(const int16_t *block, int16_t out[64]) {
  const SparseBasis &basis = sparse_basis();
  int32_t acc[64];
  std::fill(acc, acc + 64, 512 * 64);
  for (int i = 0; i < 64; ++i) {
    const int32_t value = block[i];
    if (value == 0) continue;
    const int u = i >> 3, v = i & 7;  // column-major input
    const auto &w = basis.weight[v * 8 + u];
    for (int p = 0; p < 64; ++p) acc[p] += (value * w[p] + 2048) >> 12;
  }
  for (int p = 0; p < 64; ++p) out[p] = int16_t(std::clamp((acc[p] + 31) >> 6, 0, 1023));
}

inline uint8_t clamp_pixel(int v) { return uint8_t(std::clamp(v, 0, 255)); }

}  // namespace

void idct_accurate_c(const int16_t *block, int16_t out[64]) {
  int16_t s[64];
  idct_accurate_samples(block, s);
  for (int i = 0; i < 64; ++i) out[i] = int16_t(std::clamp(s[i] + 512, 0, 1023));
}

void idct_sparse_c(const int16_t *block, int16_t out[64]) { idct_sparse_plus512(block, out); }

void idct_accurate_put_c(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  int16_t s[64];
  idct_accurate_samples(block, s);
  for (int y = 0; y < 8; ++y, dst += stride)
    for (int x = 0; x < 8; ++x) dst[x] = clamp_pixel(s[y * 8 + x] + 128);
  std::fill(block, block + 64, int16_t(0));
}

void idct_accurate_add_c(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  int16_t s[64];
  idct_accurate_samples(block, s);
  for (int y = 0; y < 8; ++y, dst += stride)
    for (int x = 0; x < 8; ++x) dst[x] = clamp_pixel(dst[x] + s[y * 8 + x]);
  std::fill(block, block + 64, int16_t(0));
}

void idct_sparse_put_c(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  int16_t o[64];
  idct_sparse_plus512(block, o);
  for (int y = 0; y < 8; ++y, dst += stride)
    for (int x = 0; x < 8; ++x) dst[x] = clamp_pixel(o[y * 8 + x] - 384);
  std::fill(block, block + 64, int16_t(0));
}

void idct_sparse_add_c(int16_t *block, uint8_t *dst, ptrdiff_t stride) {
  int16_t o[64];
  idct_sparse_plus512(block, o);
  for (int y = 0; y < 8; ++y, dst += stride)
    for (int x = 0; x < 8; ++x) dst[x] = clamp_pixel(dst[x] + o[y * 8 + x] - 512);
  std::fill(block, block + 64, int16_t(0));
}

void init_idct_dsp(IdctDsp &dsp, IdctVariant variant, uint32_t cpu_flags) {
  if (variant == IdctVariant::kSparse) {
    dsp.put = idct_sparse_put_c;
    dsp.add = idct_sparse_add_c;
    return;
  }
  dsp.put = idct_accurate_put_c;
  dsp.add = idct_accurate_add_c;
  init_idct_dsp_x86(dsp, cpu_flags);
}

}  // namespace kestrum
