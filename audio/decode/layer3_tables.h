// Layer III tables: Huffman lookup tables, scalefactor bands, pretab,
// alias-reduction coefficients and the scalefactor length rules. Values are
// those of ISO/IEC 11172-3 and 13818-3; everything is built at compile time.
#pragma once

#include <cstdint>

namespace lunaret::layer3 {

/// A big-values Huffman table as the decoder walks it. An entry of `lut`
/// is either a leaf, kLeaf | (length << 8) | (x << 4 | y), where length is
/// the bits the code takes at this level, or a link, (offset << 5) | bits:
/// the next `bits` bits index lut[offset ...]. The first level is indexed
/// by the next `first_bits` bits.
struct HuffTable {
  const uint32_t *lut = nullptr;  ///< null for table 0 (all zeros)
  int32_t first_bits = 0;
  int32_t linbits = 0;
  int32_t max_len = 0;  ///< longest code, for tests
};
inline constexpr uint32_t kLeaf = 0x80000000u;

/// Big-values tables by table_select 0..31 (4 and 14 are unused and decode
/// as table 0).
const HuffTable &huff_table(int32_t table_select);

/// Count1 table A: indexed by the next 6 bits, (length << 4) | vwxy.
struct QuadLut {
  uint8_t e[64];
};
extern const QuadLut kQuadA;

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
