// The compile-time tables: every Huffman code of the standard decodes to
// its pair through the lookup tables, each code table is complete, and the
// fast DCT of the synthesis equals the direct sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "audio/decode/layer3_huffman_codes.h"
#include "audio/decode/layer3_internal.h"
#include "audio/decode/layer3_tables.h"
#include "audio/decode/synthesis.h"
#include "audio/decode/synthesis_dsp.h"
#include "audio/decode/synthesis_window.h"
#include "platform/cpu_features.h"

namespace audio_test {
namespace {

namespace hc = lunaret::huffman_codes;
using lunaret::layer3::HuffTable;
using lunaret::layer3::kLeaf;

struct CodeList {
  int32_t table_select;
  const uint16_t *codes;
  const uint8_t *bits;
  int32_t count;
  int32_t xsize;
};

template <int N>
CodeList list(int32_t select, const uint16_t (&codes)[N], const uint8_t (&bits)[N], int32_t xsize) {
  return CodeList{select, codes, bits, N, xsize};
}

// Walks the lookup table the way the decoder does, over a code placed at
// the top of a 32-bit word. Returns the length consumed, the pair and the
// leaf.
int32_t walk(const HuffTable &t, uint32_t word, int32_t &x, int32_t &y, uint32_t &leaf) {
  auto peek = [&](int32_t consumed, int32_t n) { return n == 0 ? 0u : (word << consumed) >> (32 - n); };
  uint32_t e = t.lut[peek(0, t.first_bits)];
  int32_t consumed = 0;
  if (!(e & kLeaf)) {
    consumed = t.first_bits;
    e = t.lut[(e >> 5) + peek(consumed, int32_t(e & 31))];
  }
  EXPECT_TRUE(e & kLeaf);
  leaf = e;
  x = int32_t(e >> 4) & 15;
  y = int32_t(e) & 15;
  return consumed + int32_t((e >> 8) & 31);
}

TEST(HuffmanTables, EveryCodeDecodesToItsPair) {
  const CodeList lists[] = {
      list(1, hc::kCodes1, hc::kBits1, 2),     list(2, hc::kCodes2, hc::kBits2, 3),
      list(3, hc::kCodes3, hc::kBits3, 3),     list(5, hc::kCodes5, hc::kBits5, 4),
      list(6, hc::kCodes6, hc::kBits6, 4),     list(7, hc::kCodes7, hc::kBits7, 6),
      list(8, hc::kCodes8, hc::kBits8, 6),     list(9, hc::kCodes9, hc::kBits9, 6),
      list(10, hc::kCodes10, hc::kBits10, 8),  list(11, hc::kCodes11, hc::kBits11, 8),
      list(12, hc::kCodes12, hc::kBits12, 8),  list(13, hc::kCodes13, hc::kBits13, 16),
      list(15, hc::kCodes15, hc::kBits15, 16), list(16, hc::kCodes16, hc::kBits16, 16),
      list(24, hc::kCodes24, hc::kBits24, 16),
  };
  for (const CodeList &l : lists) {
    const HuffTable &t = lunaret::layer3::huff_table(l.table_select);
    ASSERT_NE(t.lut, nullptr) << l.table_select;
    // A complete prefix code: the lengths fill the code space exactly
    // (a mistyped code or length breaks this or the walk below).
    double kraft = 0.0;
    for (int32_t i = 0; i < l.count; ++i) kraft += std::ldexp(1.0, -l.bits[i]);
    EXPECT_DOUBLE_EQ(kraft, 1.0) << "table " << l.table_select;
    for (int32_t i = 0; i < l.count; ++i) {
      // The code followed by ones and by zeros: what follows must not matter.
      for (uint32_t tail : {0u, 0xFFFFFFFFu}) {
        const int32_t len = l.bits[i];
        const uint32_t word = (uint32_t(l.codes[i]) << (32 - len)) | (len < 32 ? tail >> len : 0);
        int32_t x = -1, y = -1;
        uint32_t leaf = 0;
        ASSERT_EQ(walk(t, word, x, y, leaf), len) << "table " << l.table_select << " entry " << i;
        ASSERT_EQ(x, i / l.xsize) << "table " << l.table_select << " entry " << i;
        ASSERT_EQ(y, i % l.xsize) << "table " << l.table_select << " entry " << i;
        // The sign bits that follow, and whether linbits do.
        ASSERT_EQ((leaf >> lunaret::layer3::kSignShift) & 3, uint32_t(x != 0) + uint32_t(y != 0));
        const bool escape = l.table_select >= 16 && (x == 15 || y == 15);
        ASSERT_EQ((leaf & lunaret::layer3::kEscape) != 0, escape)
            << "table " << l.table_select << " entry " << i;
      }
    }
  }
}

TEST(HuffmanTables, LinbitsAndSharedTables) {
  const int32_t linbits[32] = {0, 0, 0, 0, 0, 0, 0,  0,  0, 0, 0, 0, 0, 0, 0,  0,
                               1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
  for (int32_t s = 0; s < 32; ++s) EXPECT_EQ(lunaret::layer3::huff_table(s).linbits, linbits[s]) << s;
  EXPECT_EQ(lunaret::layer3::huff_table(0).lut, nullptr);
  EXPECT_EQ(lunaret::layer3::huff_table(4).lut, nullptr);
  EXPECT_EQ(lunaret::layer3::huff_table(14).lut, nullptr);
  EXPECT_EQ(lunaret::layer3::huff_table(17).lut, lunaret::layer3::huff_table(23).lut);
  EXPECT_EQ(lunaret::layer3::huff_table(24).lut, lunaret::layer3::huff_table(31).lut);
}

TEST(HuffmanTables, QuadTableA) {
  double kraft = 0.0;
  for (int32_t v = 0; v < 16; ++v) {
    kraft += std::ldexp(1.0, -hc::kQuadBitsA[v]);
    const int32_t len = hc::kQuadBitsA[v];
    const uint32_t index = uint32_t(hc::kQuadCodesA[v]) << (6 - len);
    const uint8_t e = lunaret::layer3::kQuadA.e[index];
    EXPECT_EQ(e >> 4, len) << v;
    EXPECT_EQ(e & 15, v) << v;
  }
  EXPECT_DOUBLE_EQ(kraft, 1.0);
}

// The lines of a pair or quadruple as the bit stream gives them: each
// non-zero value takes the next sign bit, the first at the top of `bits`
// (`width` bits), and sign * |v|^(4/3) as the decoder's own table has it.
void expected_lines(const int32_t *values, int32_t count, uint32_t bits, int32_t width, float *out) {
  int32_t next = width - 1;
  for (int32_t k = 0; k < count; ++k) {
    const float m = float(std::pow(double(values[k]), 4.0 / 3.0));
    bool negative = false;
    if (values[k] != 0) negative = (bits >> next--) & 1;
    out[k] = negative ? -m : m;
  }
}

TEST(HuffmanTables, PowerTableMatchesLibm) {
  for (int32_t v = 0; v < lunaret::layer3::kPow43Size; ++v)
    ASSERT_EQ(lunaret::layer3::kPow43[size_t(v)], float(std::pow(double(v), 4.0 / 3.0))) << v;
}

TEST(HuffmanTables, PairAndQuadLinesCarryValuesAndSigns) {
  for (int32_t x = 0; x < 16; ++x)
    for (int32_t y = 0; y < 16; ++y)
      for (uint32_t s = 0; s < 4; ++s) {
        const int32_t values[2] = {x, y};
        float want[2];
        expected_lines(values, 2, s, 2, want);
        const float *got = lunaret::layer3::kPairLines[size_t(x << 6 | y << 2) | s].v;
        ASSERT_EQ(0, std::memcmp(got, want, sizeof want)) << x << " " << y << " signs " << s;
      }
  for (int32_t v = 0; v < 16; ++v) {
    const int32_t values[4] = {v >> 3 & 1, v >> 2 & 1, v >> 1 & 1, v & 1};
    EXPECT_EQ(lunaret::layer3::kQuadSigns[v], values[0] + values[1] + values[2] + values[3]) << v;
    for (uint32_t s = 0; s < 16; ++s) {
      float want[4];
      expected_lines(values, 4, s, 4, want);
      const float *got = lunaret::layer3::kQuadLines[size_t(v << 4) | s].v;
      ASSERT_EQ(0, std::memcmp(got, want, sizeof want)) << v << " signs " << s;
    }
  }
}

TEST(SynthesisTables, FastDctEqualsDirectSum) {
  uint32_t seed = 5;
  for (int round = 0; round < 50; ++round) {
    float in[32], out[32];
    for (float &v : in) {
      seed = seed * 1664525u + 1013904223u;
      v = float(int32_t(seed >> 8) % 20001 - 10000) / 5000.0f;
    }
    if (round == 0)
      for (float &v : in) v = 2.0f;  // worst case: every input at full scale
    lunaret::dct32_float(in, out);
    for (int k = 0; k < 32; ++k) {
      double direct = 0.0;
      for (int n = 0; n < 32; ++n) direct += in[n] * std::cos(M_PI * (2 * n + 1) * k / 64.0);
      ASSERT_NEAR(out[k], direct, 2e-4) << "round " << round << " k " << k;
    }
  }
}

// The C DCT and every vector form the processor has, each by the level
// that selects it.
struct SynthLevel {
  const char *name;
  uint32_t flags;
};
constexpr SynthLevel kSynthLevels[] = {
    {"sse2", platform::kCpuSse2},
    {"avx", platform::kCpuSse2 | platform::kCpuAvx},
};

uint32_t next_random(uint32_t &seed) {
  seed = seed * 1664525u + 1013904223u;
  return seed;
}

// Each vector form gives the C form's bits: the DCT and the matrixing on
// random, full-scale and huge inputs; the window on rings whose sums stay inside 16 bits, land
// on the clipping edges and run far past them, written with a stride into
// a guarded buffer.
TEST(SynthesisTables, VectorFormsMatchC) {
  lunaret::SynthDsp c;
  lunaret::init_synth_dsp(c, 0);
  const uint32_t have = platform::detect_cpu_flags();
  int32_t checked = 0;
  for (const SynthLevel &level : kSynthLevels) {
    if ((have & level.flags) != level.flags) continue;
    SCOPED_TRACE(level.name);
    lunaret::SynthDsp v;
    lunaret::init_synth_dsp(v, level.flags);
    ASSERT_NE(v.dct32, c.dct32);
    ASSERT_NE(v.matrix, c.matrix);
    ASSERT_NE(v.window_full, c.window_full);
    ++checked;
    uint32_t seed = 3;
    for (int round = 0; round < 300; ++round) {
      alignas(32) float in[32], out_c[32], out_v[32];
      const float scale = round % 3 == 0 ? 1.0f : round % 3 == 1 ? 40000.0f : 1e30f;
      for (float &x : in) x = float(int32_t(next_random(seed) >> 8) - (1 << 23)) / float(1 << 23) * scale;
      if (round == 0)
        for (float &x : in) x = 2.0f;
      c.dct32(in, out_c);
      v.dct32(in, out_v);
      ASSERT_EQ(0, std::memcmp(out_c, out_v, sizeof out_c)) << "DCT round " << round;
      // The matrixing writes 64 values at v and again at v + 1024, and
      // nothing between or around them.
      constexpr float kGuardValue = 12345.0f;
      alignas(32) static float ring_c[1096], ring_v[1096];
      std::fill(std::begin(ring_c), std::end(ring_c), kGuardValue);
      std::fill(std::begin(ring_v), std::end(ring_v), kGuardValue);
      c.matrix(in, ring_c + 4);
      v.matrix(in, ring_v + 4);
      ASSERT_EQ(0, std::memcmp(ring_c, ring_v, sizeof ring_c)) << "matrixing round " << round;
      for (int i = 0; i < 1096; ++i) {
        const bool written = (i >= 4 && i < 68) || (i >= 1028 && i < 1092);
        if (!written) {
          ASSERT_EQ(ring_v[i], kGuardValue) << i;
        }
      }
      EXPECT_EQ(ring_c[4 + 16], 0.0f);
      EXPECT_EQ(ring_c[4 + 0], out_c[16]);
      EXPECT_EQ(ring_c[4 + 17], -out_c[31]);
      EXPECT_EQ(ring_c[4 + 63], -out_c[15]);
    }
    for (int round = 0; round < 300; ++round) {
      alignas(32) static float ring[1024];
      // Ring values from quiet to several times full scale.
      const float scale = float(1 << (round % 18));
      for (float &x : ring) x = float(int32_t(next_random(seed) >> 8) - (1 << 23)) / float(1 << 23) * scale;
      constexpr int16_t kGuard = 0x5A5A;
      for (int32_t stride : {1, 2}) {
        int16_t pcm_c[66], pcm_v[66];
        std::fill(std::begin(pcm_c), std::end(pcm_c), kGuard);
        std::fill(std::begin(pcm_v), std::end(pcm_v), kGuard);
        c.window_full(ring, pcm_c + 1, stride);
        v.window_full(ring, pcm_v + 1, stride);
        ASSERT_EQ(0, std::memcmp(pcm_c, pcm_v, sizeof pcm_c))
            << "window round " << round << " stride " << stride;
        EXPECT_EQ(pcm_v[0], kGuard);
        EXPECT_EQ(pcm_v[1 + 31 * stride + 1], kGuard);
        if (stride == 2) {
          for (int j = 0; j < 31; ++j) ASSERT_EQ(pcm_v[2 + 2 * j], kGuard) << j;
        }
      }
    }
  }
  if (checked == 0) GTEST_SKIP() << "no vector form on this processor";
}

// The C DCT equals the direct sum too (the test above holds the vector
// forms to its bits).
TEST(SynthesisTables, CDctEqualsDirectSum) {
  lunaret::SynthDsp c;
  lunaret::init_synth_dsp(c, 0);
  uint32_t seed = 11;
  for (int round = 0; round < 50; ++round) {
    float in[32], out[32];
    for (float &x : in) x = float(int32_t(next_random(seed) >> 8) % 20001 - 10000) / 5000.0f;
    c.dct32(in, out);
    for (int k = 0; k < 32; ++k) {
      double direct = 0.0;
      for (int n = 0; n < 32; ++n) direct += in[n] * std::cos(M_PI * (2 * n + 1) * k / 64.0);
      ASSERT_NEAR(out[k], direct, 2e-4) << "round " << round << " k " << k;
    }
  }
}

TEST(SynthesisTables, WindowValuesOfTheStandard) {
  const float *d = lunaret::synthesis_window();
  // A few printed values of the standard's window.
  EXPECT_FLOAT_EQ(d[0], 0.0f);
  EXPECT_NEAR(d[1], -0.000015259, 1e-9);
  EXPECT_NEAR(d[64], 0.003250122, 1e-9);
  EXPECT_NEAR(d[256], 1.144989014, 1e-9);
  EXPECT_NEAR(d[257], 1.144287109, 1e-9);
  EXPECT_NEAR(d[511], 0.000015259, 1e-9);
}

}  // namespace
}  // namespace audio_test

namespace audio_test {
namespace {

TEST(Layer3Transforms, Imdct36EqualsDirectSum) {
  uint32_t seed = 17;
  for (int round = 0; round < 40; ++round) {
    float in[18], out[36];
    for (float &v : in) {
      seed = seed * 1664525u + 1013904223u;
      v = float(int32_t(seed >> 8) % 20001 - 10000) / 100.0f;
    }
    if (round == 0)
      for (int k = 0; k < 18; ++k) in[k] = k & 1 ? -32767.0f : 32767.0f;  // extreme alternating input
    lunaret::imdct36(in, out);
    for (int i = 0; i < 36; ++i) {
      double direct = 0.0, scale = 0.0;
      for (int k = 0; k < 18; ++k) {
        direct += in[k] * std::cos(M_PI / 72 * (2 * i + 19) * (2 * k + 1));
        scale += std::fabs(in[k]);
      }
      ASSERT_NEAR(out[i], direct, scale * 1e-6) << "round " << round << " i " << i;
    }
  }
}

// Every vector form of the long-block IMDCT gives the C form's bits, for
// each block type's window, random and extreme inputs, and writes nothing
// beyond its 18 outputs and 18 overlap values.
TEST(Layer3Transforms, LongImdctVariantsMatchC) {
  lunaret::HybridDsp c;
  lunaret::init_hybrid_dsp(c, 0);
  float window[36];
  for (int i = 0; i < 36; ++i) window[i] = float(std::sin(M_PI / 36 * (i + 0.5)));
  constexpr float kGuard = 12345.0f;
  // Each level the processor has, not only the best one.
  const uint32_t levels[] = {platform::kCpuAvx, platform::kCpuAvx | platform::kCpuAvx2};
  int tried = 0;
  for (const uint32_t level : levels) {
    if ((platform::detect_cpu_flags() & level) != level) continue;
    lunaret::HybridDsp simd;
    lunaret::init_hybrid_dsp(simd, level);
    ASSERT_NE(simd.imdct_long, c.imdct_long) << "level " << level;
    ++tried;
    uint32_t seed = 5;
    for (int round = 0; round < 200; ++round) {
      float in[18];
      float out_c[20], out_v[20], ov_c[20], ov_v[20];
      for (float &v : in) {
        seed = seed * 1664525u + 1013904223u;
        v = float(int32_t(seed >> 8) % 2000001 - 1000000) / 64.0f;
      }
      if (round == 0)
        for (int k = 0; k < 18; ++k) in[k] = k & 1 ? -1e30f : 1e30f;  // extreme alternating input
      for (int i = 0; i < 20; ++i) {
        out_c[i] = out_v[i] = kGuard;
        seed = seed * 1664525u + 1013904223u;
        ov_c[i] = ov_v[i] = i == 0 || i == 19 ? kGuard : float(int32_t(seed >> 16) - 32768);
      }
      c.imdct_long(in, window, ov_c + 1, out_c + 1);
      simd.imdct_long(in, window, ov_v + 1, out_v + 1);
      ASSERT_EQ(0, std::memcmp(out_c, out_v, sizeof out_c)) << "level " << level << " round " << round;
      ASSERT_EQ(0, std::memcmp(ov_c, ov_v, sizeof ov_c)) << "level " << level << " round " << round;
      EXPECT_EQ(out_v[0], kGuard);
      EXPECT_EQ(out_v[19], kGuard);
      EXPECT_EQ(ov_v[0], kGuard);
      EXPECT_EQ(ov_v[19], kGuard);
    }
  }
  if (tried == 0) GTEST_SKIP() << "no vector form on this processor";
}

// The eight-subband form: the vector level gives the C level's bits in
// every slot, inverts the odd subbands' odd samples, and leaves the other
// columns of the slot-major buffers alone.
TEST(Layer3Transforms, EightSubbandImdctMatchesC) {
  if (!(platform::detect_cpu_flags() & platform::kCpuAvx2)) GTEST_SKIP() << "no AVX2 on this processor";
  lunaret::HybridDsp c, simd;
  lunaret::init_hybrid_dsp(c, 0);
  lunaret::init_hybrid_dsp(simd, platform::kCpuAvx | platform::kCpuAvx2);
  ASSERT_NE(c.imdct_long8, simd.imdct_long8);
  constexpr float kGuard = 12345.0f;
  uint32_t seed = 9;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return float(int32_t(seed >> 8) % 2000001 - 1000000) / 64.0f;
  };
  for (int round = 0; round < 60; ++round) {
    float window[36];
    for (float &w : window) w = next() / 20000.0f;
    float in[8 * 18];
    for (float &v : in) v = round % 3 == 1 ? 0.0f : next();  // every third round: silence
    float ov_c[576], ov_v[576], time_c[576], time_v[576];
    for (int i = 0; i < 576; ++i) {
      const bool mine = i % 32 >= 8 && i % 32 < 16;
      ov_c[i] = ov_v[i] = mine ? next() : kGuard;
      time_c[i] = time_v[i] = kGuard;
    }
    c.imdct_long8(in, window, ov_c + 8, time_c + 8);
    simd.imdct_long8(in, window, ov_v + 8, time_v + 8);
    ASSERT_EQ(0, std::memcmp(ov_c, ov_v, sizeof ov_c)) << "round " << round;
    ASSERT_EQ(0, std::memcmp(time_c, time_v, sizeof time_c)) << "round " << round;
    for (int i = 0; i < 576; ++i) {
      if (i % 32 < 8 || i % 32 >= 16) {
        ASSERT_EQ(time_v[i], kGuard) << i;
      }
    }
    // One subband through the single form: an odd one comes out with its
    // odd samples inverted.
    float ov[18], out[18];
    for (int t = 0; t < 18; ++t) ov[t] = 0.0f;
    float ov8[576] = {}, time8[576] = {};
    c.imdct_long(in + 3 * 18, window, ov, out);
    c.imdct_long8(in, window, ov8, time8);
    for (int t = 0; t < 18; ++t) ASSERT_EQ(time8[t * 32 + 3], t & 1 ? -out[t] : out[t]) << t;
  }
}

// Alias reduction: the vector level gives the C level's bits, touching
// only the eight lines either side of the boundaries asked for.
TEST(Layer3Transforms, AliasReductionMatchesC) {
  if (!(platform::detect_cpu_flags() & platform::kCpuAvx2)) GTEST_SKIP() << "no AVX2 on this processor";
  lunaret::HybridDsp c, simd;
  lunaret::init_hybrid_dsp(c, 0);
  lunaret::init_hybrid_dsp(simd, platform::kCpuAvx | platform::kCpuAvx2);
  ASSERT_NE(c.alias_reduce, simd.alias_reduce);
  uint32_t seed = 3;
  for (const int32_t boundaries : {0, 1, 2, 17, 31}) {
    float xr_c[576], xr_v[576], before[576];
    for (float &v : before) {
      seed = seed * 1664525u + 1013904223u;
      v = float(int32_t(seed >> 8) % 2000001 - 1000000) / 64.0f;
    }
    std::memcpy(xr_c, before, sizeof before);
    std::memcpy(xr_v, before, sizeof before);
    c.alias_reduce(xr_c, boundaries);
    simd.alias_reduce(xr_v, boundaries);
    ASSERT_EQ(0, std::memcmp(xr_c, xr_v, sizeof xr_c)) << boundaries;
    for (int32_t i = 0; i < 576; ++i) {
      const int32_t sb = i / 18, k = i % 18;
      const bool touched = (k < 8 && sb >= 1 && sb <= boundaries) || (k >= 10 && sb + 1 <= boundaries);
      if (!touched) {
        ASSERT_EQ(xr_v[i], before[i]) << boundaries << " line " << i;
      }
    }
  }
}

}  // namespace
}  // namespace audio_test
