// The standard's variable-length code lists and their compile-time lookup
// tables. Values and codes are those of ISO/IEC 13818-2 Annex B (tables B.1
// to B.4 and B.9 to B.15); MPEG-1 uses the same codes.
#include "video/decode/vlc_tables.h"

#include <array>

namespace kestrum {
namespace {

// ---------------------------------------------------------------------------
// Compile-time builder

constexpr int code_length(const char *bits) {
  int n = 0;
  while (bits[n] != 0) ++n;
  return n;
}
constexpr int leading_zeros(const char *bits) {
  int n = 0;
  while (bits[n] == '0') ++n;
  return n;
}

struct VlcLayout {
  int total = 0;
  VlcEntry all_zero{0, 0};
  uint8_t width[16] = {};
  uint16_t offset[16] = {};
};

template <size_t N>
constexpr VlcLayout vlc_layout(const std::array<VlcCode, N> &codes) {
  VlcLayout l;
  int widths[16];
  for (int &w : widths) w = -1;
  for (const VlcCode &c : codes) {
    const int len = code_length(c.bits);
    const int zeros = leading_zeros(c.bits);
    if (zeros == len) {
      if (l.all_zero.len != 0) throw "two all-zero codes";
      l.all_zero = VlcEntry{c.value, uint8_t(len)};
      continue;
    }
    if (zeros >= 16 || len > 16) throw "code out of range";
    const int rest = len - zeros - 1;
    if (rest > widths[zeros]) widths[zeros] = rest;
  }
  for (int z = 0; z < 16; ++z) {
    if (widths[z] < 0) {
      l.width[z] = kNoCodes;
      l.offset[z] = 0;
    } else {
      l.width[z] = uint8_t(widths[z]);
      l.offset[z] = uint16_t(l.total);
      l.total += 1 << widths[z];
    }
  }
  return l;
}

template <int Total>
struct BuiltVlc {
  std::array<VlcEntry, 256> fast{};
  std::array<VlcEntry, Total> entries{};
  uint8_t width[16] = {};
  uint16_t offset[16] = {};
};

template <int Total, size_t N>
constexpr BuiltVlc<Total> vlc_build(const std::array<VlcCode, N> &codes, const VlcLayout &l) {
  BuiltVlc<Total> b;
  for (int z = 0; z < 16; ++z) {
    b.width[z] = l.width[z];
    b.offset[z] = l.offset[z];
  }
  for (const VlcCode &c : codes) {
    const int len = code_length(c.bits);
    if (len <= 8) {
      int prefix = 0;
      for (int i = 0; i < len; ++i) prefix = prefix * 2 + (c.bits[i] == '1');
      for (int i = 0; i < (1 << (8 - len)); ++i)
        b.fast[(prefix << (8 - len)) + i] = VlcEntry{c.value, uint8_t(len)};
    }
    const int zeros = leading_zeros(c.bits);
    if (zeros == len) continue;
    const int rest_len = len - zeros - 1;
    int rest = 0;
    for (int i = zeros + 1; i < len; ++i) rest = rest * 2 + (c.bits[i] == '1');
    const int width = l.width[zeros];
    const int first = l.offset[zeros] + (rest << (width - rest_len));
    const int count = 1 << (width - rest_len);
    for (int i = 0; i < count; ++i) {
      // Two codes sharing a prefix would make the list ambiguous.
      if (b.entries[first + i].len != 0) throw "codes not prefix-free";
      b.entries[first + i] = VlcEntry{c.value, uint8_t(len)};
    }
  }
  return b;
}

template <size_t A, size_t B>
constexpr std::array<VlcCode, A + B> join(const std::array<VlcCode, A> &a, const std::array<VlcCode, B> &b) {
  std::array<VlcCode, A + B> out{};
  for (size_t i = 0; i < A; ++i) out[i] = a[i];
  for (size_t i = 0; i < B; ++i) out[A + i] = b[i];
  return out;
}

// ---------------------------------------------------------------------------
// Code lists

// B.1 macroblock_address_increment.
constexpr std::array<VlcCode, 35> kB1{{
    {"1", 1},
    {"011", 2},
    {"010", 3},
    {"0011", 4},
    {"0010", 5},
    {"00011", 6},
    {"00010", 7},
    {"0000111", 8},
    {"0000110", 9},
    {"00001011", 10},
    {"00001010", 11},
    {"00001001", 12},
    {"00001000", 13},
    {"00000111", 14},
    {"00000110", 15},
    {"0000010111", 16},
    {"0000010110", 17},
    {"0000010101", 18},
    {"0000010100", 19},
    {"0000010011", 20},
    {"0000010010", 21},
    {"00000100011", 22},
    {"00000100010", 23},
    {"00000100001", 24},
    {"00000100000", 25},
    {"00000011111", 26},
    {"00000011110", 27},
    {"00000011101", 28},
    {"00000011100", 29},
    {"00000011011", 30},
    {"00000011010", 31},
    {"00000011001", 32},
    {"00000011000", 33},
    {"00000001111", kMbaStuffing},
    {"00000001000", kMbaEscape},
}};

// B.2 macroblock_type in I pictures.
constexpr std::array<VlcCode, 2> kB2{{
    {"1", kMbIntra},
    {"01", kMbIntra | kMbQuant},
}};

// B.3 macroblock_type in P pictures.
constexpr std::array<VlcCode, 7> kB3{{
    {"1", kMbMotionForward | kMbPattern},
    {"01", kMbPattern},
    {"001", kMbMotionForward},
    {"00011", kMbIntra},
    {"00010", kMbQuant | kMbMotionForward | kMbPattern},
    {"00001", kMbQuant | kMbPattern},
    {"000001", kMbQuant | kMbIntra},
}};

// B.4 macroblock_type in B pictures.
constexpr std::array<VlcCode, 11> kB4{{
    {"10", kMbMotionForward | kMbMotionBackward},
    {"11", kMbMotionForward | kMbMotionBackward | kMbPattern},
    {"010", kMbMotionBackward},
    {"011", kMbMotionBackward | kMbPattern},
    {"0010", kMbMotionForward},
    {"0011", kMbMotionForward | kMbPattern},
    {"00011", kMbIntra},
    {"00010", kMbQuant | kMbMotionForward | kMbMotionBackward | kMbPattern},
    {"000011", kMbQuant | kMbMotionForward | kMbPattern},
    {"000010", kMbQuant | kMbMotionBackward | kMbPattern},
    {"000001", kMbQuant | kMbIntra},
}};

// macroblock_type in D pictures (MPEG-1 only).
constexpr std::array<VlcCode, 1> kBD{{{"1", kMbIntra}}};

// B.9 coded_block_pattern.
constexpr std::array<VlcCode, 64> kB9{{
    {"111", 60},       {"1101", 4},       {"1100", 8},       {"1011", 16},      {"1010", 32},
    {"10011", 12},     {"10010", 48},     {"10001", 20},     {"10000", 40},     {"01111", 28},
    {"01110", 44},     {"01101", 52},     {"01100", 56},     {"01011", 1},      {"01010", 61},
    {"01001", 2},      {"01000", 62},     {"001111", 24},    {"001110", 36},    {"001101", 3},
    {"001100", 63},    {"0010111", 5},    {"0010110", 9},    {"0010101", 17},   {"0010100", 33},
    {"0010011", 6},    {"0010010", 10},   {"0010001", 18},   {"0010000", 34},   {"00011111", 7},
    {"00011110", 11},  {"00011101", 19},  {"00011100", 35},  {"00011011", 13},  {"00011010", 49},
    {"00011001", 21},  {"00011000", 41},  {"00010111", 14},  {"00010110", 50},  {"00010101", 22},
    {"00010100", 42},  {"00010011", 15},  {"00010010", 51},  {"00010001", 23},  {"00010000", 43},
    {"00001111", 25},  {"00001110", 37},  {"00001101", 26},  {"00001100", 38},  {"00001011", 29},
    {"00001010", 45},  {"00001001", 53},  {"00001000", 57},  {"00000111", 30},  {"00000110", 46},
    {"00000101", 54},  {"00000100", 58},  {"000000111", 31}, {"000000110", 47}, {"000000101", 55},
    {"000000100", 59}, {"000000011", 27}, {"000000010", 39}, {"000000001", 0},
}};

// B.10 motion_code: the magnitude; a sign bit follows every nonzero code.
constexpr std::array<VlcCode, 17> kB10{{
    {"1", 0},
    {"01", 1},
    {"001", 2},
    {"0001", 3},
    {"000011", 4},
    {"0000101", 5},
    {"0000100", 6},
    {"0000011", 7},
    {"000001011", 8},
    {"000001010", 9},
    {"000001001", 10},
    {"0000010001", 11},
    {"0000010000", 12},
    {"0000001111", 13},
    {"0000001110", 14},
    {"0000001101", 15},
    {"0000001100", 16},
}};

// B.11 dmvector.
constexpr std::array<VlcCode, 3> kB11{{{"0", 0}, {"10", 1}, {"11", -1}}};

// B.12 dct_dc_size_luminance.
constexpr std::array<VlcCode, 12> kB12{{
    {"100", 0},
    {"00", 1},
    {"01", 2},
    {"101", 3},
    {"110", 4},
    {"1110", 5},
    {"11110", 6},
    {"111110", 7},
    {"1111110", 8},
    {"11111110", 9},
    {"111111110", 10},
    {"111111111", 11},
}};

// B.13 dct_dc_size_chrominance.
constexpr std::array<VlcCode, 12> kB13{{
    {"00", 0},
    {"01", 1},
    {"10", 2},
    {"110", 3},
    {"1110", 4},
    {"11110", 5},
    {"111110", 6},
    {"1111110", 7},
    {"11111110", 8},
    {"111111110", 9},
    {"1111111110", 10},
    {"1111111111", 11},
}};

constexpr int16_t rl(int run, int level) { return int16_t(run | (level << 6)); }

// The codes of 12 and more bits are the same in B.14 and B.15.
constexpr std::array<VlcCode, 80> kDctLong{{
    {"000000011101", rl(0, 8)},      {"000000011000", rl(0, 9)},      {"000000010011", rl(0, 10)},
    {"000000010000", rl(0, 11)},     {"000000011011", rl(1, 5)},      {"000000010100", rl(2, 4)},
    {"000000011100", rl(3, 3)},      {"000000010010", rl(4, 3)},      {"000000011110", rl(6, 2)},
    {"000000010101", rl(7, 2)},      {"000000010001", rl(8, 2)},      {"000000011111", rl(17, 1)},
    {"000000011010", rl(18, 1)},     {"000000011001", rl(19, 1)},     {"000000010111", rl(20, 1)},
    {"000000010110", rl(21, 1)},     {"0000000011010", rl(0, 12)},    {"0000000011001", rl(0, 13)},
    {"0000000011000", rl(0, 14)},    {"0000000010111", rl(0, 15)},    {"0000000010110", rl(1, 6)},
    {"0000000010101", rl(1, 7)},     {"0000000010100", rl(2, 5)},     {"0000000010011", rl(3, 4)},
    {"0000000010010", rl(5, 3)},     {"0000000010001", rl(9, 2)},     {"0000000010000", rl(10, 2)},
    {"0000000011111", rl(22, 1)},    {"0000000011110", rl(23, 1)},    {"0000000011101", rl(24, 1)},
    {"0000000011100", rl(25, 1)},    {"0000000011011", rl(26, 1)},    {"00000000011111", rl(0, 16)},
    {"00000000011110", rl(0, 17)},   {"00000000011101", rl(0, 18)},   {"00000000011100", rl(0, 19)},
    {"00000000011011", rl(0, 20)},   {"00000000011010", rl(0, 21)},   {"00000000011001", rl(0, 22)},
    {"00000000011000", rl(0, 23)},   {"00000000010111", rl(0, 24)},   {"00000000010110", rl(0, 25)},
    {"00000000010101", rl(0, 26)},   {"00000000010100", rl(0, 27)},   {"00000000010011", rl(0, 28)},
    {"00000000010010", rl(0, 29)},   {"00000000010001", rl(0, 30)},   {"00000000010000", rl(0, 31)},
    {"000000000011000", rl(0, 32)},  {"000000000010111", rl(0, 33)},  {"000000000010110", rl(0, 34)},
    {"000000000010101", rl(0, 35)},  {"000000000010100", rl(0, 36)},  {"000000000010011", rl(0, 37)},
    {"000000000010010", rl(0, 38)},  {"000000000010001", rl(0, 39)},  {"000000000010000", rl(0, 40)},
    {"000000000011111", rl(1, 8)},   {"000000000011110", rl(1, 9)},   {"000000000011101", rl(1, 10)},
    {"000000000011100", rl(1, 11)},  {"000000000011011", rl(1, 12)},  {"000000000011010", rl(1, 13)},
    {"000000000011001", rl(1, 14)},  {"0000000000010011", rl(1, 15)}, {"0000000000010010", rl(1, 16)},
    {"0000000000010001", rl(1, 17)}, {"0000000000010000", rl(1, 18)}, {"0000000000010100", rl(6, 3)},
    {"0000000000011010", rl(11, 2)}, {"0000000000011001", rl(12, 2)}, {"0000000000011000", rl(13, 2)},
    {"0000000000010111", rl(14, 2)}, {"0000000000010110", rl(15, 2)}, {"0000000000010101", rl(16, 2)},
    {"0000000000011111", rl(27, 1)}, {"0000000000011110", rl(28, 1)}, {"0000000000011101", rl(29, 1)},
    {"0000000000011100", rl(30, 1)}, {"0000000000011011", rl(31, 1)},
}};

// B.14 DCT coefficients table zero, codes up to 11 bits. "10" is the end of
// block; the first coefficient of a non-intra block uses "1s" for (0, 1),
// which the block decoder handles before this table.
constexpr std::array<VlcCode, 33> kB14Short{{
    {"10", kDctEndOfBlock},    {"11", rl(0, 1)},         {"011", rl(1, 1)},         {"0100", rl(0, 2)},
    {"0101", rl(2, 1)},        {"00101", rl(0, 3)},      {"00111", rl(3, 1)},       {"00110", rl(4, 1)},
    {"000110", rl(1, 2)},      {"000111", rl(5, 1)},     {"000101", rl(6, 1)},      {"000100", rl(7, 1)},
    {"0000110", rl(0, 4)},     {"0000100", rl(2, 2)},    {"0000111", rl(8, 1)},     {"0000101", rl(9, 1)},
    {"000001", kDctEscape},    {"00100110", rl(0, 5)},   {"00100001", rl(0, 6)},    {"00100101", rl(1, 3)},
    {"00100100", rl(3, 2)},    {"00100111", rl(10, 1)},  {"00100011", rl(11, 1)},   {"00100010", rl(12, 1)},
    {"00100000", rl(13, 1)},   {"0000001010", rl(0, 7)}, {"0000001100", rl(1, 4)},  {"0000001011", rl(2, 3)},
    {"0000001111", rl(4, 2)},  {"0000001001", rl(5, 2)}, {"0000001110", rl(14, 1)}, {"0000001101", rl(15, 1)},
    {"0000001000", rl(16, 1)},
}};

// B.15 DCT coefficients table one (intra blocks with intra_vlc_format 1),
// codes that differ from B.14.
constexpr std::array<VlcCode, 49> kB15Short{{
    {"0110", kDctEndOfBlock},    {"10", rl(0, 1)},           {"010", rl(1, 1)},
    {"110", rl(0, 2)},           {"00101", rl(2, 1)},        {"0111", rl(0, 3)},
    {"00111", rl(3, 1)},         {"000110", rl(4, 1)},       {"00110", rl(1, 2)},
    {"000111", rl(5, 1)},        {"0000110", rl(6, 1)},      {"0000100", rl(7, 1)},
    {"11100", rl(0, 4)},         {"0000111", rl(2, 2)},      {"0000101", rl(8, 1)},
    {"1111000", rl(9, 1)},       {"000001", kDctEscape},     {"11101", rl(0, 5)},
    {"000101", rl(0, 6)},        {"1111001", rl(1, 3)},      {"00100110", rl(3, 2)},
    {"1111010", rl(10, 1)},      {"00100001", rl(11, 1)},    {"00100101", rl(12, 1)},
    {"00100100", rl(13, 1)},     {"000100", rl(0, 7)},       {"00100111", rl(1, 4)},
    {"11111100", rl(2, 3)},      {"11111101", rl(4, 2)},     {"000000100", rl(5, 2)},
    {"000000101", rl(14, 1)},    {"000000111", rl(15, 1)},   {"0000001101", rl(16, 1)},
    {"1111011", rl(0, 8)},       {"1111100", rl(0, 9)},      {"00100011", rl(0, 10)},
    {"00100010", rl(0, 11)},     {"00100000", rl(1, 5)},     {"0000001100", rl(2, 4)},
    {"11111010", rl(0, 12)},     {"11111011", rl(0, 13)},    {"11111110", rl(0, 14)},
    {"11111111", rl(0, 15)},     {"000000011100", rl(3, 3)}, {"000000010010", rl(4, 3)},
    {"000000011110", rl(6, 2)},  {"000000010101", rl(7, 2)}, {"000000010001", rl(8, 2)},
    {"000000011111", rl(17, 1)},
}};

// The 12-bit codes of B.14 that B.15 gives other codes to: (0,8)..(0,11),
// (1,5), (2,4), and those B.15 lists above; the rest of the long codes are
// shared.
template <size_t N>
constexpr int count_b15_long(const std::array<VlcCode, N> &l) {
  int n = 0;
  for (const VlcCode &c : l) {
    const int16_t v = c.value;
    const bool own = v == rl(0, 8) || v == rl(0, 9) || v == rl(0, 10) || v == rl(0, 11) || v == rl(1, 5) ||
                     v == rl(2, 4) || v == rl(3, 3) || v == rl(4, 3) || v == rl(6, 2) || v == rl(7, 2) ||
                     v == rl(8, 2) || v == rl(17, 1) || v == rl(0, 12) || v == rl(0, 13) || v == rl(0, 14) ||
                     v == rl(0, 15);
    if (!own) ++n;
  }
  return n;
}
constexpr int kB15SharedCount = count_b15_long(kDctLong);

constexpr std::array<VlcCode, kB15SharedCount> b15_shared() {
  std::array<VlcCode, kB15SharedCount> out{};
  int n = 0;
  for (const VlcCode &c : kDctLong) {
    const int16_t v = c.value;
    const bool own = v == rl(0, 8) || v == rl(0, 9) || v == rl(0, 10) || v == rl(0, 11) || v == rl(1, 5) ||
                     v == rl(2, 4) || v == rl(3, 3) || v == rl(4, 3) || v == rl(6, 2) || v == rl(7, 2) ||
                     v == rl(8, 2) || v == rl(17, 1) || v == rl(0, 12) || v == rl(0, 13) || v == rl(0, 14) ||
                     v == rl(0, 15);
    if (!own) out[n++] = c;
  }
  return out;
}

// B.15 keeps B.14's 12-bit codes for (3,3), (4,3), (6,2), (7,2), (8,2) and
// (17,1) (listed in kB15Short with the same bits); (18,1)..(21,1) are shared.
constexpr auto kB14Codes = join(kB14Short, kDctLong);
constexpr auto kB15Codes = join(kB15Short, b15_shared());

// ---------------------------------------------------------------------------
// Built tables

template <const auto &Codes>
struct Built {
  static constexpr VlcLayout layout = vlc_layout(Codes);
  static constexpr BuiltVlc<layout.total> table = vlc_build<layout.total>(Codes, layout);
  static constexpr VlcTable view() {
    return VlcTable{table.fast.data(),
                    table.entries.data(),
                    table.width,
                    table.offset,
                    std::span<const VlcCode>(Codes.data(), Codes.size()),
                    layout.all_zero};
  }
};

// The one-lookup coefficient table: every 10-bit pattern that starts with a
// code of up to 9 bits gets that code with the sign bit after it.
template <size_t N>
constexpr std::array<DctFastEntry, 1 << kDctFastBits> dct_fast(const std::array<VlcCode, N> &codes) {
  std::array<DctFastEntry, 1 << kDctFastBits> t{};
  for (DctFastEntry &e : t) e = DctFastEntry{kDctFastLong, 0, 0, 0};
  for (const VlcCode &c : codes) {
    const int len = code_length(c.bits);
    const bool special = c.value < 0;
    const int used = special ? len : len + 1;
    if (used > kDctFastBits) continue;
    int prefix = 0;
    for (int i = 0; i < len; ++i) prefix = prefix * 2 + (c.bits[i] == '1');
    const int free_bits = kDctFastBits - len;
    for (int i = 0; i < (1 << free_bits); ++i) {
      DctFastEntry e{};
      if (c.value == kDctEndOfBlock) {
        e = DctFastEntry{kDctFastEndOfBlock, 0, uint8_t(len), 0};
      } else if (c.value == kDctEscape) {
        e = DctFastEntry{kDctFastEscape, 0, uint8_t(len), 0};
      } else {
        const bool negative = (i >> (free_bits - 1)) & 1;
        e = DctFastEntry{uint8_t(dct_run(c.value)), uint8_t(dct_level(c.value)), uint8_t(used),
                         int8_t(negative ? -1 : 0)};
      }
      t[size_t((prefix << free_bits) + i)] = e;
    }
  }
  return t;
}

// The second lookup: codes with at least six leading zeros (10 to 16 bits)
// by the bits after those zeros, sign included.
template <size_t N>
constexpr std::array<DctFastEntry, 1 << kDctLongBits> dct_long(const std::array<VlcCode, N> &codes) {
  std::array<DctFastEntry, 1 << kDctLongBits> t{};
  for (DctFastEntry &e : t) e = DctFastEntry{kDctFastLong, 0, 0, 0};
  for (const VlcCode &c : codes) {
    const int len = code_length(c.bits);
    if (leading_zeros(c.bits) < kDctLongSkip) continue;
    if (c.value < 0) throw "no special code starts with six zeros";
    const int tail = len - kDctLongSkip;  // code bits in the index
    const int free_bits = kDctLongBits - tail - 1;
    if (free_bits < 0) throw "code too long for the second lookup";
    int prefix = 0;
    for (int i = kDctLongSkip; i < len; ++i) prefix = prefix * 2 + (c.bits[i] == '1');
    for (int sign = 0; sign < 2; ++sign) {
      for (int i = 0; i < (1 << free_bits); ++i) {
        const size_t index = size_t((((prefix << 1) | sign) << free_bits) + i);
        if (t[index].run != kDctFastLong) throw "codes not prefix-free";
        t[index] = DctFastEntry{uint8_t(dct_run(c.value)), uint8_t(dct_level(c.value)), uint8_t(len + 1),
                                int8_t(sign ? -1 : 0)};
      }
    }
  }
  return t;
}

}  // namespace

constinit const std::array<DctFastEntry, 1 << kDctLongBits> kDctLong0 = dct_long(kB14Codes);
constinit const std::array<DctFastEntry, 1 << kDctLongBits> kDctLong1 = dct_long(kB15Codes);
constinit const std::array<DctFastEntry, 1 << kDctFastBits> kDctFast0 = dct_fast(kB14Codes);
constinit const std::array<DctFastEntry, 1 << kDctFastBits> kDctFast1 = dct_fast(kB15Codes);

const VlcTable kMacroblockAddressIncrement = Built<kB1>::view();
const VlcTable kMacroblockTypeI = Built<kB2>::view();
const VlcTable kMacroblockTypeP = Built<kB3>::view();
const VlcTable kMacroblockTypeB = Built<kB4>::view();
const VlcTable kMacroblockTypeD = Built<kBD>::view();
const VlcTable kCodedBlockPattern = Built<kB9>::view();
const VlcTable kMotionCode = Built<kB10>::view();
const VlcTable kDmvector = Built<kB11>::view();
const VlcTable kDctDcSizeLuminance = Built<kB12>::view();
const VlcTable kDctDcSizeChrominance = Built<kB13>::view();
const VlcTable kDctCoefficients0 = Built<kB14Codes>::view();
const VlcTable kDctCoefficients1 = Built<kB15Codes>::view();

}  // namespace kestrum
