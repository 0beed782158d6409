#include "audio/decode/layer3_tables.h"

#include <array>
#include <cstddef>

#include "audio/decode/layer3_huffman_codes.h"

namespace lunaret::layer3 {
namespace {

namespace hc = huffman_codes;

// A two-level lookup table: the first level takes `first` bits, and every
// prefix that only longer codes share links to a second level sized for the
// longest of them. Prefixes no code starts with (none in the standard's
// tables, which are complete) decode as a zero pair so damaged data cannot
// stall the walk.
template <int Count>
constexpr int32_t max_code_len(const uint8_t (&bits)[Count]) {
  int32_t m = 0;
  for (int i = 0; i < Count; ++i) m = bits[i] > m ? bits[i] : m;
  return m;
}

template <int Count>
constexpr int32_t second_level_bits(const uint16_t (&codes)[Count], const uint8_t (&bits)[Count],
                                    int32_t first, uint32_t prefix) {
  int32_t sub = 0;
  for (int i = 0; i < Count; ++i) {
    int32_t len = bits[i];
    if (len > first && (uint32_t(codes[i]) >> (len - first)) == prefix && len - first > sub)
      sub = len - first;
  }
  return sub;
}

template <int Count>
constexpr bool first_level_leaf(const uint16_t (&codes)[Count], const uint8_t (&bits)[Count], int32_t first,
                                uint32_t index) {
  for (int i = 0; i < Count; ++i) {
    int32_t len = bits[i];
    if (len <= first && (index >> (first - len)) == codes[i]) return true;
  }
  return false;
}

template <int Count>
constexpr int32_t lut_size(const uint16_t (&codes)[Count], const uint8_t (&bits)[Count], int32_t first) {
  int32_t size = 1 << first;
  for (uint32_t p = 0; p < (1u << first); ++p) {
    if (first_level_leaf(codes, bits, first, p)) continue;
    int32_t sub = second_level_bits(codes, bits, first, p);
    if (sub > 0) size += 1 << sub;
  }
  return size;
}

template <int Size>
struct Lut {
  uint32_t e[Size]{};
};

// A leaf with its sign count, and the escape flag where linbits follow a
// value of 15.
constexpr uint32_t leaf(int32_t len, int32_t value, bool escapes) {
  const int32_t x = value >> 4, y = value & 15;
  const uint32_t signs = uint32_t(x != 0) + uint32_t(y != 0);
  const bool escape = escapes && (x == 15 || y == 15);
  return kLeaf | (escape ? kEscape : 0u) | signs << kSignShift | uint32_t(len) << 8 | uint32_t(value);
}

template <int Size, int Count>
constexpr Lut<Size> build_lut(const uint16_t (&codes)[Count], const uint8_t (&bits)[Count], int32_t xsize,
                              int32_t first, bool escapes) {
  Lut<Size> t;
  for (int32_t i = 0; i < (1 << first); ++i) t.e[i] = leaf(first, 0, escapes);
  for (int i = 0; i < Count; ++i) {
    int32_t len = bits[i];
    if (len > first) continue;
    int32_t value = (i / xsize) << 4 | (i % xsize);
    uint32_t base = uint32_t(codes[i]) << (first - len);
    for (uint32_t k = 0; k < (1u << (first - len)); ++k) t.e[base + k] = leaf(len, value, escapes);
  }
  int32_t used = 1 << first;
  for (uint32_t p = 0; p < (1u << first); ++p) {
    if (first_level_leaf(codes, bits, first, p)) continue;
    int32_t sub = second_level_bits(codes, bits, first, p);
    if (sub == 0) continue;
    int32_t offset = used;
    used += 1 << sub;
    t.e[p] = uint32_t(offset) << 5 | uint32_t(sub);
    for (int32_t k = 0; k < (1 << sub); ++k) t.e[offset + k] = leaf(sub, 0, escapes);
    for (int i = 0; i < Count; ++i) {
      int32_t len = bits[i];
      if (len <= first || (uint32_t(codes[i]) >> (len - first)) != p) continue;
      int32_t rem = len - first;
      int32_t value = (i / xsize) << 4 | (i % xsize);
      uint32_t low = uint32_t(codes[i]) & ((1u << rem) - 1);
      uint32_t base = low << (sub - rem);
      for (uint32_t k = 0; k < (1u << (sub - rem)); ++k) t.e[offset + base + k] = leaf(rem, value, escapes);
    }
  }
  return t;
}

constexpr int32_t first_bits_for(int32_t max_len) { return max_len < 8 ? max_len : 8; }

// One built table per code list of the standard.
// (Escapes: the tables used with linbits.)
template <const auto &Codes, const auto &Bits, int32_t XSize, bool Escapes = false>
struct Built {
  static constexpr int32_t max_len = max_code_len(Bits);
  static constexpr int32_t first = first_bits_for(max_len);
  static constexpr auto lut = build_lut<lut_size(Codes, Bits, first)>(Codes, Bits, XSize, first, Escapes);
  static constexpr HuffTable table(int32_t linbits) { return HuffTable{lut.e, first, linbits, max_len}; }
};

using T1 = Built<hc::kCodes1, hc::kBits1, 2>;
using T2 = Built<hc::kCodes2, hc::kBits2, 3>;
using T3 = Built<hc::kCodes3, hc::kBits3, 3>;
using T5 = Built<hc::kCodes5, hc::kBits5, 4>;
using T6 = Built<hc::kCodes6, hc::kBits6, 4>;
using T7 = Built<hc::kCodes7, hc::kBits7, 6>;
using T8 = Built<hc::kCodes8, hc::kBits8, 6>;
using T9 = Built<hc::kCodes9, hc::kBits9, 6>;
using T10 = Built<hc::kCodes10, hc::kBits10, 8>;
using T11 = Built<hc::kCodes11, hc::kBits11, 8>;
using T12 = Built<hc::kCodes12, hc::kBits12, 8>;
using T13 = Built<hc::kCodes13, hc::kBits13, 16>;
using T15 = Built<hc::kCodes15, hc::kBits15, 16>;
using T16 = Built<hc::kCodes16, hc::kBits16, 16, true>;
using T24 = Built<hc::kCodes24, hc::kBits24, 16, true>;

// Indexed by table_select; 16..23 and 24..31 share the two big tables and
// differ in linbits.
constexpr HuffTable kTables[32] = {
    HuffTable{},    T1::table(0),   T2::table(0),  T3::table(0),  HuffTable{},    T5::table(0),
    T6::table(0),   T7::table(0),   T8::table(0),  T9::table(0),  T10::table(0),  T11::table(0),
    T12::table(0),  T13::table(0),  HuffTable{},   T15::table(0), T16::table(1),  T16::table(2),
    T16::table(3),  T16::table(4),  T16::table(6), T16::table(8), T16::table(10), T16::table(13),
    T24::table(4),  T24::table(5),  T24::table(6), T24::table(7), T24::table(8),  T24::table(9),
    T24::table(11), T24::table(13),
};

constexpr QuadLut build_quad_a() {
  QuadLut t{};
  for (int v = 0; v < 16; ++v) {
    int len = hc::kQuadBitsA[v];
    int base = hc::kQuadCodesA[v] << (6 - len);
    for (int k = 0; k < (1 << (6 - len)); ++k) t.e[base + k] = uint8_t(len << 4 | v);
  }
  return t;
}

// |v|^(4/3): v times its cube root by Newton's method, within an ulp of
// double before the rounding to float.
constexpr float const_pow43(int32_t v) {
  if (v == 0) return 0.0f;
  double r = v;
  for (int i = 0; i < 64; ++i) r -= (r * r * r - v) / (3 * r * r);
  return float(v * r);
}

constexpr float signed_line(int32_t v, uint32_t negative) {
  const float m = const_pow43(v);
  return negative ? -m : m;
}

constexpr std::array<float, kPow43Size> build_pow43() {
  std::array<float, kPow43Size> t{};
  for (int32_t v = 0; v < kPow43Size; ++v) t[std::size_t(v)] = const_pow43(v);
  return t;
}

constexpr std::array<PairLines, 1024> build_pair_lines() {
  std::array<PairLines, 1024> t{};
  for (int32_t x = 0; x < 16; ++x)
    for (int32_t y = 0; y < 16; ++y)
      for (uint32_t s = 0; s < 4; ++s) {
        // The first sign bit belongs to x when x is non-zero, else to y.
        const uint32_t sx = x ? s >> 1 : 0;
        const uint32_t sy = y ? (x ? s & 1 : s >> 1) : 0;
        t[std::size_t(x << 6 | y << 2 | int32_t(s))] = PairLines{{signed_line(x, sx), signed_line(y, sy)}};
      }
  return t;
}

constexpr std::array<QuadLines, 256> build_quad_lines() {
  std::array<QuadLines, 256> t{};
  for (int32_t v = 0; v < 16; ++v)
    for (uint32_t s = 0; s < 16; ++s) {
      QuadLines &q = t[std::size_t(v << 4) | s];
      int32_t taken = 0;
      for (int32_t k = 0; k < 4; ++k) {
        if (!((v >> (3 - k)) & 1)) continue;
        q.v[k] = (s >> (3 - taken)) & 1 ? -1.0f : 1.0f;
        ++taken;
      }
    }
  return t;
}

// Band widths of the standards, turned into boundaries below.
constexpr uint8_t kLongWidths[6][22] = {
    {4, 4, 4, 4, 4, 4, 6, 6, 8, 8, 10, 12, 16, 20, 24, 28, 34, 42, 50, 54, 76, 158},    // 44.1 kHz
    {4, 4, 4, 4, 4, 4, 6, 6, 6, 8, 10, 12, 16, 18, 22, 28, 34, 40, 46, 54, 54, 192},    // 48 kHz
    {4, 4, 4, 4, 4, 4, 6, 6, 8, 10, 12, 16, 20, 24, 30, 38, 46, 56, 68, 84, 102, 26},   // 32 kHz
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},  // 22.05 kHz
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 18, 22, 26, 32, 38, 46, 52, 64, 70, 76, 36},  // 24 kHz
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},  // 16 kHz
};
constexpr uint8_t kShortWidths[6][13] = {
    {4, 4, 4, 4, 6, 8, 10, 12, 14, 18, 22, 30, 56},   // 44.1 kHz
    {4, 4, 4, 4, 6, 6, 10, 12, 14, 16, 20, 26, 66},   // 48 kHz
    {4, 4, 4, 4, 6, 8, 12, 16, 20, 26, 34, 42, 12},   // 32 kHz
    {4, 4, 4, 6, 6, 8, 10, 14, 18, 26, 32, 42, 18},   // 22.05 kHz
    {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 32, 44, 12},  // 24 kHz
    {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18},  // 16 kHz
};

template <int N>
constexpr void accumulate(const uint8_t (&widths)[N], int16_t (&bounds)[N + 1]) {
  int16_t sum = 0;
  for (int i = 0; i < N; ++i) {
    bounds[i] = sum;
    sum = int16_t(sum + widths[i]);
  }
  bounds[N] = sum;
}

constexpr Bands build_bands() {
  Bands t{};
  for (int r = 0; r < 6; ++r) {
    accumulate(kLongWidths[r], t.long_bounds[r]);
    accumulate(kShortWidths[r], t.short_bounds[r]);
  }
  return t;
}

constexpr double const_sqrt(double x) {
  double r = x > 1 ? x : 1;
  for (int i = 0; i < 60; ++i) r = 0.5 * (r + x / r);
  return r;
}
constexpr double kAliasC[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

constexpr Alias build_alias() {
  Alias t{};
  for (int i = 0; i < 8; ++i) {
    double norm = const_sqrt(1.0 + kAliasC[i] * kAliasC[i]);
    t.cs[i] = float(1.0 / norm);
    t.ca[i] = float(kAliasC[i] / norm);
  }
  return t;
}

}  // namespace

const HuffTable &huff_table(int32_t table_select) { return kTables[table_select & 31]; }

constexpr QuadLut kQuadA = build_quad_a();

constexpr std::array<float, kPow43Size> kPow43 = build_pow43();
constexpr std::array<PairLines, 1024> kPairLines = build_pair_lines();
constexpr std::array<QuadLines, 256> kQuadLines = build_quad_lines();
constexpr uint8_t kQuadSigns[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
constexpr Bands kBands = build_bands();
static_assert(kBands.long_bounds[0][22] == 576 && kBands.long_bounds[5][22] == 576);
static_assert(kBands.short_bounds[0][13] == 192 && kBands.short_bounds[4][13] == 192);

const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

constexpr Alias kAlias = build_alias();

const uint8_t kSlen[2][16] = {
    {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
    {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
};

const uint8_t kLsfPartitions[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},       {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

}  // namespace lunaret::layer3
