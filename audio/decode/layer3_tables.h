// Layer III tables: Huffman lookup tables, scalefactor bands, pretab,
// alias-reduction coefficients and the scalefactor length rules. Values are
// those of ISO/IEC 11172-3 and 13818-3; everything is built at compile time.
#pragma once

#include <array>
#include <cstdint>

namespace lunaret::layer3 {

/// A big-values Huffman table as the decoder walks it. An entry of `lut`
/// is either a leaf, kLeaf | (length << 8) | (x << 4 | y), where length is
/// the bits the code takes at this level, with the count of sign bits that
/// follow (non-zero values) at kSignShift and kEscape set where a value of
/// 15 takes linbits (tables 16..31), or a link, (offset << 5) | bits:
/// the next `bits` bits index lut[offset ...]. The first level is indexed
/// by the next `first_bits` bits.
struct HuffTable {
  const uint32_t *lut = nullptr;  ///< null for table 0 (all zeros)
  int32_t first_bits = 0;
  int32_t linbits = 0;
  int32_t max_len = 0;  ///< longest code, for tests
};
inline constexpr uint32_t kLeaf = 0x80000000u;
inline constexpr uint32_t kEscape = 1u << 15;
inline constexpr int32_t kSignShift = 13;

/// |v|^(4/3) for every magnitude a big-values value can carry (15 + 13
/// linbits), rounded to float.
inline constexpr int32_t kPow43Size = 8207;
extern const std::array<float, kPow43Size> kPow43;

/// The two lines of a pair without linbits, sign * |v|^(4/3), indexed by
/// (x << 6) | (y << 2) | s, s the two bits after the code: the first is the
/// sign of the first non-zero value, the second that of the next.
struct PairLines {
  float v[2];
};
extern const std::array<PairLines, 1024> kPairLines;

/// Big-values tables by table_select 0..31 (4 and 14 are unused and decode
/// as table 0).
const HuffTable &huff_table(int32_t table_select);

/// Count1 table A: indexed by the next 6 bits, (length << 4) | vwxy.
struct QuadLut {
  uint8_t e[64];
};
extern const QuadLut kQuadA;

/// The four lines of a count1 quadruple vwxy with its signs, indexed by
/// (vwxy << 4) | s, s the four bits after the code (signs of the non-zero
/// values in order); `signs` is how many of those bits the values take.
struct QuadLines {
  float v[4];
};
extern const std::array<QuadLines, 256> kQuadLines;
extern const uint8_t kQuadSigns[16];

/// Scalefactor band boundaries, indexed by the sampling-rate slot
/// (ID 1: 0..2 for 44.1, 48, 32 kHz; ID 0: 3..5 for 22.05, 24, 16 kHz).
/// Long: 23 boundaries (0 .. 576). Short: 14 boundaries (0 .. 192) per
/// window.
struct Bands {
  int16_t long_bounds[6][23];
  int16_t short_bounds[6][14];
};
extern const Bands kBands;

extern const uint8_t kPretab[22];
/// Alias-reduction butterflies cs[i], ca[i].
struct Alias {
  float cs[8];
  float ca[8];
};
extern const Alias kAlias;

/// MPEG-1 scalefactor lengths slen1/slen2 by scalefac_compress.
extern const uint8_t kSlen[2][16];
/// MPEG-2 scalefactor counts per partition: [table][block kind][partition],
/// block kind 0 long, 1 short, 2 mixed.
extern const uint8_t kLsfPartitions[6][3][4];

}  // namespace lunaret::layer3
