// Variable-length code tables of the video syntax (ISO/IEC 13818-2 Annex B,
// the same codes as ISO/IEC 11172-2 Annex 2.B) and their lookup.
//
// Each table is written as the standard lists it: code string and value.
// At compile time it becomes a two-level lookup: the number of leading zero
// bits of the next 16 bits picks a sub-table, and the bits after the first
// one index it. No code of these tables has more than 11 leading zeros, so a
// peek with more is invalid input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "video/decode/bit_reader.h"

namespace kestrum {

struct VlcCode {
  const char *bits;  // '0'/'1' characters, no sign bit
  int16_t value;
};

struct VlcEntry {
  int16_t value;
  uint8_t len;  // 0 = no code starts with these bits
};

/// A built table: per leading-zero count, the width of its sub-table (bits
/// after the first one) and its offset into entries.
struct VlcTable {
  /// Codes of up to 8 bits by the next 8 bits (len 0: a longer code).
  const VlcEntry *fast;
  const VlcEntry *entries;
  const uint8_t *width;            // [16]; kNoCodes when no code has that many zeros
  const uint16_t *offset;          // [16]
  std::span<const VlcCode> codes;  // the source list, for tests
  /// A code made only of zeros (B.11, B.12, B.13 have one): every peek with
  /// at least that many leading zeros is that code.
  VlcEntry all_zero;
};

inline constexpr uint8_t kNoCodes = 0xFF;

/// Looks up the code at the reader's position without consuming it.
inline VlcEntry vlc_peek(const VlcTable &t, uint32_t left_aligned) {
  const VlcEntry f = t.fast[left_aligned >> 24];
  if (f.len) return f;
  const int zeros = left_aligned ? __builtin_clz(left_aligned) : 32;
  if (zeros >= 16 || t.width[zeros] == kNoCodes) {
    return zeros >= t.all_zero.len ? t.all_zero : VlcEntry{0, 0};
  }
  const int width = t.width[zeros];
  const uint32_t rest = uint32_t((uint64_t(left_aligned) << (zeros + 1)) & 0xFFFFFFFFu);
  const uint32_t index = uint32_t(uint64_t(rest) >> (32 - width));
  return t.entries[t.offset[zeros] + index];
}

/// Decodes one code; returns its entry (len 0 = invalid, nothing consumed).
inline VlcEntry vlc_get(const VlcTable &t, BitReader &r) {
  const VlcEntry e = vlc_peek(t, r.peek_left());
  if (e.len) r.skip(e.len);
  return e;
}

// macroblock_type flags (tables B.2 to B.4).
enum MacroblockTypeFlag : int16_t {
  kMbQuant = 1,
  kMbMotionForward = 2,
  kMbMotionBackward = 4,
  kMbPattern = 8,
  kMbIntra = 16,
};

// macroblock_address_increment (table B.1): 1..33 and these two.
inline constexpr int16_t kMbaStuffing = 34;
inline constexpr int16_t kMbaEscape = 35;

// DCT coefficient entries (tables B.14, B.15): run | level << 6, or these.
inline constexpr int16_t kDctEndOfBlock = -1;
inline constexpr int16_t kDctEscape = -2;
constexpr int dct_run(int16_t v) { return v & 63; }
constexpr int dct_level(int16_t v) { return v >> 6; }

/// One-lookup decoding of the DCT coefficient codes: the next 10 bits index
/// the table; codes of up to 9 bits resolve there with their sign bit.
/// run >= kDctFastSpecial marks the end of block, the escape, or a code too
/// long for the table (look it up in the long table).
struct DctFastEntry {
  uint8_t run;
  uint8_t level;  // magnitude
  uint8_t len;    // code and sign bit
  int8_t sign;    // 0 positive, -1 negative
};
inline constexpr int kDctFastBits = 10;
inline constexpr uint8_t kDctFastSpecial = 64;
inline constexpr uint8_t kDctFastEndOfBlock = 64;
inline constexpr uint8_t kDctFastEscape = 65;
inline constexpr uint8_t kDctFastLong = 66;

/// The codes that begin with six zeros (kDctFastLong in the first table),
/// with their sign, by the 11 bits after those zeros; run kDctFastLong here
/// means no code.
inline constexpr int kDctLongSkip = 6;
inline constexpr int kDctLongBits = 11;

extern const std::array<DctFastEntry, 1 << kDctFastBits> kDctFast0;  // B.14
extern const std::array<DctFastEntry, 1 << kDctFastBits> kDctFast1;  // B.15
extern const std::array<DctFastEntry, 1 << kDctLongBits> kDctLong0;  // B.14
extern const std::array<DctFastEntry, 1 << kDctLongBits> kDctLong1;  // B.15

/// The coefficient code at the start of the left-aligned bits: one lookup,
/// a second for codes that begin with six zeros. run kDctFastLong: invalid.
inline DctFastEntry dct_lookup(const DctFastEntry *fast, const DctFastEntry *fast_long,
                               uint32_t left_aligned) {
  const DctFastEntry e = fast[left_aligned >> (32 - kDctFastBits)];
  if (e.run == kDctFastLong) [[unlikely]] {
    return fast_long[(left_aligned >> (32 - kDctLongSkip - kDctLongBits)) & ((1u << kDctLongBits) - 1)];
  }
  return e;
}

extern const VlcTable kMacroblockAddressIncrement;  // B.1
extern const VlcTable kMacroblockTypeI;             // B.2
extern const VlcTable kMacroblockTypeP;             // B.3
extern const VlcTable kMacroblockTypeB;             // B.4
extern const VlcTable kMacroblockTypeD;             // D pictures (MPEG-1)
extern const VlcTable kCodedBlockPattern;           // B.9
extern const VlcTable kMotionCode;                  // B.10 (magnitude; sign follows)
extern const VlcTable kDmvector;                    // B.11 (value -1, 0, 1)
extern const VlcTable kDctDcSizeLuminance;          // B.12
extern const VlcTable kDctDcSizeChrominance;        // B.13
extern const VlcTable kDctCoefficients0;            // B.14 (sign follows)
extern const VlcTable kDctCoefficients1;            // B.15 (sign follows)

}  // namespace kestrum
