// Block layer: DC differentials, run/level codes with the MPEG-1 and MPEG-2
// escapes, inverse quantisation and the MPEG-2 mismatch control.
#include <algorithm>
#include <cstdlib>

#include "video/decode/macroblock.h"
#include "video/decode/vlc_tables.h"

namespace kestrum {
namespace {

enum Matrix { kIntraLuma = 0, kNonIntraLuma = 1, kIntraChroma = 2, kNonIntraChroma = 3 };

int read_dc_differential(BitReader &r, int size) {
  if (size == 0) return 0;
  const int v = int(r.get(size));
  // A leading 0 marks a negative differential.
  return (v >> (size - 1)) ? v : v - (1 << size) + 1;
}

// The dequantised magnitude of a coefficient from its level magnitude and
// the weight (quantiser matrix entry times quantiser_scale) at its position.
template <bool Intra, bool Mpeg2>
inline int dequantise(int magnitude, int weight) {
  int f;
  if constexpr (Mpeg2) {
    f = Intra ? (magnitude * weight) >> 4 : ((2 * magnitude + 1) * weight) >> 5;
    return std::min(f, 2047);
  } else {
    f = Intra ? (2 * magnitude * weight) >> 4 : ((2 * magnitude + 1) * weight) >> 4;
    f = std::min(f, 2047);
    // MPEG-1 keeps coefficients odd: an even value steps down by one.
    return f != 0 ? (f - 1) | 1 : 0;
  }
}

// The AC (or all, for non-intra) coefficients of a block. `i` is the scan
// index before the next coefficient; `weights` are in scan order. Returns
// -1 on an invalid code, else 0 when no AC coefficient was stored and more
// when some were: their count when a coefficient limit applies (Limited),
// otherwise just 1 (only the reconstruction's "flat block" test asks).
template <bool Intra, bool Mpeg2, bool Limited>
int decode_coefficients(SliceContext &c, int i, const DctFastEntry *fast, const DctFastEntry *fast_long,
                        const uint16_t *weights, int &parity_sum) {
  int stored = 0;
  BitReader &r = c.r;
  BitReader::Cursor k = r.cursor();
  const uint8_t *scan = c.scan;
  int16_t *block = c.block;
  const int limit = c.coefficient_limit;
  int sum = parity_sum;
  int ac = 0;
  for (;;) {
    // One peek serves the whole code: the longest (an MPEG-1 escape with a
    // 16-bit level) takes 28 bits.
    const uint32_t bits = k.peek_left();
    const DctFastEntry e = dct_lookup(fast, fast_long, bits);
    int run, magnitude, sign;
    if (e.run < kDctFastSpecial) [[likely]] {
      run = e.run;
      magnitude = e.level;
      sign = e.sign;
      k.pos += e.len;
    } else if (e.run == kDctFastEndOfBlock) {
      k.pos += e.len;
      break;
    } else if (e.run == kDctFastLong) {
      r.commit(k);  // no such code
      return -1;
    } else {
      // escape (6 bits), run (6 bits), then the level.
      run = int((bits >> 20) & 63);
      int level;
      if constexpr (Mpeg2) {
        level = int32_t(bits << 12) >> 20;
        if (level == 0 || level == -2048) {  // forbidden values
          r.commit(k);
          return -1;
        }
        k.pos += 24;
      } else {
        const int first = int((bits >> 12) & 255);
        if (first == 0) {
          level = int((bits >> 4) & 255);  // 128..255
          k.pos += 28;
        } else if (first == 128) {
          level = int((bits >> 4) & 255) - 256;  // -255..-129
          k.pos += 28;
        } else {
          level = first > 128 ? first - 256 : first;
          k.pos += 20;
        }
      }
      sign = level < 0 ? -1 : 0;
      magnitude = std::abs(level);
    }
    if (k.pos >= 32) r.commit(k);
    i += run + 1;
    if (i > 63) {  // position beyond the block: invalid
      r.commit(k);
      return -1;
    }
    const int pos = scan[i];
    const int f = dequantise<Intra, Mpeg2>(magnitude, weights[i]);
    const int16_t v = int16_t((f ^ sign) - sign);
    if constexpr (Limited) {
      if (pos != 0) {
        ++ac;
        if (ac > limit) continue;  // dropped, still parsed
        ++stored;
      }
    }
    block[pos] = v;
    sum += v;
  }
  r.commit(k);
  parity_sum = sum;
  if constexpr (!Limited) {
    // Scan index 0 is the DC position in both scans: a coefficient stored
    // after it was an AC one.
    stored = i > 0 ? 1 : 0;
  }
  return stored;
}

// Picks the variant for the picture's syntax and the coefficient limit.
template <bool Intra>
int decode_coefficients_for(SliceContext &c, int i, const DctFastEntry *fast, const DctFastEntry *fast_long,
                            const uint16_t *weights, int &parity_sum) {
  if (c.coefficient_limit != 0) {
    return c.mpeg2 ? decode_coefficients<Intra, true, true>(c, i, fast, fast_long, weights, parity_sum)
                   : decode_coefficients<Intra, false, true>(c, i, fast, fast_long, weights, parity_sum);
  }
  return c.mpeg2 ? decode_coefficients<Intra, true, false>(c, i, fast, fast_long, weights, parity_sum)
                 : decode_coefficients<Intra, false, false>(c, i, fast, fast_long, weights, parity_sum);
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
  const uint16_t *weights =
      c.weighted[(c.mpeg2 && cc != 0 && c.chroma_format != 1) ? kIntraChroma : kIntraLuma];
  int ac;
  if (!c.mpeg2 && c.picture_coding_type == 4) {
    ac = 0;  // D pictures carry DC only, then an end-of-macroblock bit
  } else if (table_one) {
    ac = decode_coefficients_for<true>(c, 0, kDctFast1.data(), kDctLong1.data(), weights, parity_sum);
  } else {
    ac = decode_coefficients_for<true>(c, 0, kDctFast0.data(), kDctLong0.data(), weights, parity_sum);
  }
  if (ac < 0) return -1;
  c.mismatch_added = false;
  if (c.mpeg2) ac = mismatch_control(c, parity_sum, ac);
  return ac;
}

int decode_non_intra_block(SliceContext &c, int cc) {
  BitReader &r = c.r;
  const uint16_t *weights =
      c.weighted[(c.mpeg2 && cc != 0 && c.chroma_format != 1) ? kNonIntraChroma : kNonIntraLuma];
  int parity_sum = 0;
  int i = -1;
  // The first coefficient: "1s" is run 0, level 1 (the end of block cannot
  // come first).
  if (r.peek(1)) {
    r.skip(1);
    const bool negative = r.get1();
    i = 0;
    const int f = c.mpeg2 ? dequantise<false, true>(1, weights[0]) : dequantise<false, false>(1, weights[0]);
    const int16_t v = int16_t(negative ? -f : f);
    c.block[0] = v;  // scan index 0 is the DC position in both scans
    parity_sum += v;
  }
  int ac = decode_coefficients_for<false>(c, i, kDctFast0.data(), kDctLong0.data(), weights, parity_sum);
  if (ac < 0) return -1;
  c.mismatch_added = false;
  if (c.mpeg2) ac = mismatch_control(c, parity_sum, ac);
  return ac;
}

}  // namespace kestrum
