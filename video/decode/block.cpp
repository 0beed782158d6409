// Block layer: DC differentials, run/level codes with the MPEG-1 and MPEG-2
// escapes, inverse quantisation and the MPEG-2 mismatch control.
#include <algorithm>
#include <cstdlib>

#include "video/decode/macroblock.h"
#include "video/decode/vlc_tables.h"

namespace kestrum {
namespace {

enum Matrix { kIntraLuma = 0, kNonIntraLuma = 1, kIntraChroma = 2, kNonIntraChroma = 3 };

// The dequantised magnitude is limited to 2047 before the sign is applied.
inline int16_t signed_coefficient(int magnitude, bool negative) {
  magnitude = std::min(magnitude, 2047);
  return int16_t(negative ? -magnitude : magnitude);
}

int read_dc_differential(BitReader &r, int size) {
  if (size == 0) return 0;
  const int v = int(r.get(size));
  // A leading 0 marks a negative differential.
  return (v >> (size - 1)) ? v : v - (1 << size) + 1;
}

// The AC (or all, for non-intra) coefficients of a block. `i` is the scan
// index before the next coefficient. Returns the count stored or -1.
template <bool Intra, bool Mpeg2>
int decode_coefficients(SliceContext &c, int i, const VlcTable &table, const uint8_t *matrix,
                        int &parity_sum) {
  int stored = 0;
  BitReader &r = c.r;
  const int q = c.quantiser_scale;
  const int limit = c.coefficient_limit;
  int ac = 0;
  for (;;) {
    // One peek serves the whole code: the longest (an MPEG-1 escape with a
    // 16-bit level) takes 28 bits.
    const uint32_t bits = r.peek_left();
    const VlcEntry e = vlc_peek(table, bits);
    if (e.len == 0) return -1;
    int run, level, used;
    if (e.value >= 0) {
      run = dct_run(e.value);
      level = dct_level(e.value);
      if ((bits << e.len) & 0x80000000u) level = -level;  // sign bit after the code
      used = e.len + 1;
    } else if (e.value == kDctEndOfBlock) {
      r.skip(e.len);
      break;
    } else {
      // escape (6 bits), run (6 bits), then the level.
      run = int((bits >> 20) & 63);
      if constexpr (Mpeg2) {
        level = int32_t(bits << 12) >> 20;
        if (level == 0 || level == -2048) return -1;  // forbidden values
        used = 24;
      } else {
        const int first = int((bits >> 12) & 255);
        if (first == 0) {
          level = int((bits >> 4) & 255);  // 128..255
          used = 28;
        } else if (first == 128) {
          level = int((bits >> 4) & 255) - 256;  // -255..-129
          used = 28;
        } else {
          level = first > 128 ? first - 256 : first;
          used = 20;
        }
      }
    }
    r.skip(used);
    i += run + 1;
    if (i > 63) return -1;  // position beyond the block: invalid
    const bool negative = level < 0;
    const int magnitude = std::abs(level);
    const int pos = c.scan[i];
    int f;
    if constexpr (Mpeg2) {
      f = Intra ? (magnitude * matrix[pos] * q) >> 4
                : (((2 * magnitude + 1) * matrix[pos] * q) >> 5);
    } else {
      f = Intra ? (2 * magnitude * q * matrix[pos]) >> 4
                : (((2 * magnitude + 1) * q * matrix[pos]) >> 4);
      f = std::min(f, 2047);
      if (f != 0 && (f & 1) == 0) --f;  // MPEG-1 keeps coefficients odd
    }
    const int16_t v = signed_coefficient(f, negative);
    if (pos != 0) {
      ++ac;
      if (limit != 0 && ac > limit) continue;  // dropped, still parsed
      ++stored;
    }
    c.block[pos] = v;
    parity_sum += v;
  }
  return stored;
}

// The standard's mismatch control: the sum of all coefficients is made odd
// through the last coefficient's lowest bit.
// Returns the AC count afterwards; notes whether the last coefficient was
// created by it (a lone +-1 there changes no pixel of a flat block whose DC
// is a multiple of 8).
inline int mismatch_control(SliceContext &c, int parity_sum, int ac) {
  c.mismatch_added = false;
  if ((parity_sum & 1) == 0) {
    if (c.block[63] == 0) {
      ++ac;
      c.mismatch_added = true;
    }
    c.block[63] ^= 1;
  }
  return ac;
}

}  // namespace

int decode_intra_block(SliceContext &c, int cc) {
  BitReader &r = c.r;
  const VlcEntry size = vlc_get(cc == 0 ? kDctDcSizeLuminance : kDctDcSizeChrominance, r);
  if (size.len == 0) return -1;
  c.dc_pred[cc] += read_dc_differential(r, size.value);
  const int dc = c.mpeg2 ? c.dc_pred[cc] << (3 - c.s.pic.intra_dc_precision) : c.dc_pred[cc] * 8;
  c.block[0] = int16_t(std::clamp(dc, -2048, 2047));
  int parity_sum = c.block[0];
  const bool table_one = c.mpeg2 && c.s.pic.intra_vlc_format;
  const uint8_t *matrix =
      c.matrix[(c.mpeg2 && cc != 0 && c.chroma_format != 1) ? kIntraChroma : kIntraLuma];
  int ac;
  if (!c.mpeg2 && c.picture_coding_type == 4) {
    ac = 0;  // D pictures carry DC only, then an end-of-macroblock bit
  } else {
    const VlcTable &table = table_one ? kDctCoefficients1 : kDctCoefficients0;
    ac = c.mpeg2 ? decode_coefficients<true, true>(c, 0, table, matrix, parity_sum)
                 : decode_coefficients<true, false>(c, 0, table, matrix, parity_sum);
  }
  if (ac < 0) return -1;
  c.mismatch_added = false;
  if (c.mpeg2) ac = mismatch_control(c, parity_sum, ac);
  return ac;
}

int decode_non_intra_block(SliceContext &c, int cc) {
  BitReader &r = c.r;
  const uint8_t *matrix =
      c.matrix[(c.mpeg2 && cc != 0 && c.chroma_format != 1) ? kNonIntraChroma : kNonIntraLuma];
  int parity_sum = 0;
  int i = -1;
  // The first coefficient: "1s" is run 0, level 1 (the end of block cannot
  // come first).
  if (r.peek(1)) {
    r.skip(1);
    const bool negative = r.get1();
    i = 0;
    const int pos = c.scan[0];
    const int q = c.quantiser_scale;
    int f;
    if (c.mpeg2) {
      f = (3 * matrix[pos] * q) >> 5;
    } else {
      f = std::min((3 * q * matrix[pos]) >> 4, 2047);
      if (f != 0 && (f & 1) == 0) --f;
    }
    const int16_t v = signed_coefficient(f, negative);
    c.block[pos] = v;  // scan index 0 is the DC position in both scans
    parity_sum += v;
  }
  int ac = c.mpeg2 ? decode_coefficients<false, true>(c, i, kDctCoefficients0, matrix, parity_sum)
                   : decode_coefficients<false, false>(c, i, kDctCoefficients0, matrix, parity_sum);
  if (ac < 0) return -1;
  c.mismatch_added = false;
  if (c.mpeg2) ac = mismatch_control(c, parity_sum, ac);
  return ac;
}

}  // namespace kestrum
