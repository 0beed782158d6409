// Every code of every variable-length table decodes to its value and
// length, whatever bits follow it.
#include "video/decode/vlc_tables.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/video/decode/stream_support.h"

namespace {

using kestrum::VlcTable;

struct NamedTable {
  const char *name;
  const VlcTable *table;
  size_t codes;  // entries the standard lists
};

TEST(VlcTables, EveryCodeDecodesOnce) {
  const NamedTable tables[] = {
      {"B.1", &kestrum::kMacroblockAddressIncrement, 35},
      {"B.2", &kestrum::kMacroblockTypeI, 2},
      {"B.3", &kestrum::kMacroblockTypeP, 7},
      {"B.4", &kestrum::kMacroblockTypeB, 11},
      {"B.9", &kestrum::kCodedBlockPattern, 64},
      {"B.10", &kestrum::kMotionCode, 17},
      {"B.11", &kestrum::kDmvector, 3},
      {"B.12", &kestrum::kDctDcSizeLuminance, 12},
      {"B.13", &kestrum::kDctDcSizeChrominance, 12},
      {"B.14", &kestrum::kDctCoefficients0, 113},
      {"B.15", &kestrum::kDctCoefficients1, 113},
  };
  for (const NamedTable &t : tables) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(t.table->codes.size(), t.codes);
    for (const kestrum::VlcCode &c : t.table->codes) {
      const int len = int(std::strlen(c.bits));
      // The code followed by all ones and by all zeros.
      for (uint32_t tail : {0u, 0xFFFFFFFFu}) {
        uint32_t v = 0;
        for (int i = 0; i < len; ++i) v |= uint32_t(c.bits[i] == '1') << (31 - i);
        v |= len < 32 ? (tail >> len) : 0;
        const kestrum::VlcEntry e = kestrum::vlc_peek(*t.table, v);
        EXPECT_EQ(e.len, len) << c.bits;
        EXPECT_EQ(e.value, c.value) << c.bits;
      }
    }
  }
}

TEST(VlcTables, DistinctValuesPerTable) {
  // Each value (run/level pair, pattern, increment) has one code only.
  for (const VlcTable *t : {&kestrum::kCodedBlockPattern, &kestrum::kDctCoefficients0,
                            &kestrum::kDctCoefficients1, &kestrum::kMacroblockAddressIncrement}) {
    std::vector<int> seen;
    for (const kestrum::VlcCode &c : t->codes) {
      EXPECT_EQ(std::count(seen.begin(), seen.end(), c.value), 0) << c.bits;
      seen.push_back(c.value);
    }
  }
}

// The block decoder's one- or two-lookup coefficient tables give, for every
// 17-bit start of the input, what the full tables give, with the sign bit
// after the code folded in.
TEST(VlcTables, CoefficientLookupsMatchTheFullTables) {
  struct Pair {
    const VlcTable *full;
    const kestrum::DctFastEntry *fast, *fast_long;
  } pairs[] = {
      {&kestrum::kDctCoefficients0, kestrum::kDctFast0.data(), kestrum::kDctLong0.data()},
      {&kestrum::kDctCoefficients1, kestrum::kDctFast1.data(), kestrum::kDctLong1.data()},
  };
  for (const Pair &p : pairs) {
    for (uint32_t start = 0; start < (1u << 17); ++start) {
      for (uint32_t tail : {0u, 0x7FFFu}) {
        const uint32_t bits = (start << 15) | tail;
        const kestrum::VlcEntry want = kestrum::vlc_peek(*p.full, bits);
        const kestrum::DctFastEntry got = kestrum::dct_lookup(p.fast, p.fast_long, bits);
        bool same;
        if (want.len == 0) {
          same = got.run == kestrum::kDctFastLong;
        } else if (want.value == kestrum::kDctEndOfBlock) {
          same = got.run == kestrum::kDctFastEndOfBlock && got.len == want.len;
        } else if (want.value == kestrum::kDctEscape) {
          same = got.run == kestrum::kDctFastEscape && got.len == want.len;
        } else {
          same = got.run == kestrum::dct_run(want.value) && got.level == kestrum::dct_level(want.value) &&
                 got.len == want.len + 1 && got.sign == ((bits << want.len) & 0x80000000u ? -1 : 0);
        }
        ASSERT_TRUE(same) << std::hex << bits << " gives run " << int(got.run) << " level " << int(got.level)
                          << " len " << int(got.len) << " sign " << int(got.sign);
      }
    }
  }
}

TEST(VlcTables, InvalidCodesAreRejected) {
  // More than 11 leading zeros is no DCT code; 0000 0000 0 is no pattern
  // beyond the 9-bit zero pattern; 0000 0000 ... no increment.
  EXPECT_EQ(kestrum::vlc_peek(kestrum::kDctCoefficients0, 0x00080000u).len, 0);
  EXPECT_EQ(kestrum::vlc_peek(kestrum::kDctCoefficients1, 0x00000000u).len, 0);
  EXPECT_EQ(kestrum::vlc_peek(kestrum::kCodedBlockPattern, 0x00000000u).len, 0);
  EXPECT_EQ(kestrum::vlc_peek(kestrum::kMacroblockAddressIncrement, 0x00100000u).len, 0);
  EXPECT_EQ(kestrum::vlc_peek(kestrum::kMotionCode, 0x00100000u).len, 0);
}

}  // namespace
