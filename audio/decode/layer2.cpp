// Layer II frames: 1,152 samples per channel in 36 slots of 32 subbands,
// coded as 12 groups of three slots.
#include "audio/decode/dequantise.h"
#include "audio/decode/layer2_tables.h"
#include "audio/decode/mpeg_frame_decoder.h"

namespace lunaret {
namespace {

// The three dequantised samples of every code word of a grouped class
// (codes past levels^3 included: their digits are taken the same way), so
// that a group costs one look-up instead of divisions.
template <int Levels, int Bits>
struct GroupTable {
  float v[1 << Bits][3];
};
template <int Levels, int Bits>
constexpr GroupTable<Levels, Bits> make_groups() {
  GroupTable<Levels, Bits> t{};
  for (uint32_t code = 0; code < (1u << Bits); ++code) {
    uint32_t c = code;
    for (int i = 0; i < 3; ++i) {
      t.v[code][i] = dequantise(c % Levels, Levels);
      c /= Levels;
    }
  }
  return t;
}
constexpr GroupTable<3, 5> kGroups3 = make_groups<3, 5>();
constexpr GroupTable<5, 7> kGroups5 = make_groups<5, 7>();
constexpr GroupTable<9, 10> kGroups9 = make_groups<9, 10>();

// The dequantised samples of the ungrouped classes of up to 10 bits
// (7 to 1023 levels), one table after another: those of `bits` start at
// 2^bits - 8. Wider classes divide.
constexpr int32_t kLevelTableBits = 10;
struct LevelTables {
  float v[(2 << kLevelTableBits) - 8];
};
constexpr LevelTables make_level_tables() {
  LevelTables t{};
  for (int32_t bits = 3; bits <= kLevelTableBits; ++bits)
    for (uint32_t s = 0; s < (1u << bits); ++s) t.v[(1 << bits) - 8 + s] = dequantise(s, (1 << bits) - 1);
  return t;
}
constexpr LevelTables kLevelTables = make_level_tables();

// How the samples of one channel's subband are read in one group: the
// bits of a code word, the table of dequantised triples for the grouped
// classes, else the levels each word is dequantised with; then scaled by
// the part's scalefactor.
struct BandReader {
  const float (*groups)[3];
  const float *level_table;  // ungrouped classes of up to 10 bits
  int32_t bits;              // 0: nothing allocated, the samples are zero
  int32_t levels;
  float scale[3];
};

const float (*group_table(int32_t levels))[3] {
  switch (levels) {
    case 3:
      return kGroups3.v;
    case 5:
      return kGroups5.v;
    case 9:
      return kGroups9.v;
  }
  return nullptr;
}

}  // namespace

bool MpegFrameDecoder::decode_layer2() {
  const layer2::AllocTable &table = layer2::kAllocTables[layer2_table_index(header)];
  const int32_t channels = header.channels;
  const int32_t limit = table.sblimit;
  const int32_t bound = header.jsbound < limit ? header.jsbound : limit;
  uint8_t alloc[2][32] = {};
  uint8_t scfsi[2][32] = {};
  uint8_t scf[2][32][3];

  for (int32_t band = 0; band < limit; ++band) {
    const int32_t bits = table.nbal[band];
    if (band < bound) {
      for (int32_t ch = 0; ch < channels; ++ch) alloc[ch][band] = uint8_t(reader.read(bits));
    } else {
      alloc[0][band] = uint8_t(reader.read(bits));
      alloc[1][band] = alloc[0][band];
    }
  }
  for (int32_t band = 0; band < limit; ++band)
    for (int32_t ch = 0; ch < channels; ++ch)
      if (alloc[ch][band]) scfsi[ch][band] = uint8_t(reader.read(2));
  for (int32_t band = 0; band < 32; ++band) {
    for (int32_t ch = 0; ch < channels; ++ch) {
      uint8_t *s = scf[ch][band];
      if (band >= limit || !alloc[ch][band]) {
        s[0] = s[1] = s[2] = 63;
        continue;
      }
      // scfsi says which of the three parts share a scalefactor.
      switch (scfsi[ch][band]) {
        case 0:
          s[0] = uint8_t(reader.read(6));
          s[1] = uint8_t(reader.read(6));
          s[2] = uint8_t(reader.read(6));
          break;
        case 1:
          s[0] = s[1] = uint8_t(reader.read(6));
          s[2] = uint8_t(reader.read(6));
          break;
        case 2:
          s[0] = s[1] = s[2] = uint8_t(reader.read(6));
          break;
        default:
          s[0] = uint8_t(reader.read(6));
          s[1] = s[2] = uint8_t(reader.read(6));
          break;
      }
    }
  }

  BandReader bands[2][32];
  for (int32_t band = 0; band < limit; ++band)
    for (int32_t ch = 0; ch < channels; ++ch) {
      BandReader &b = bands[ch][band];
      const uint8_t *s = scf[ch][band];
      b = BandReader{};
      for (int32_t part = 0; part < 3; ++part) b.scale[part] = kScalefactors.m[s[part]];
      if (!alloc[ch][band]) continue;
      const layer2::QuantClass &q = layer2::kQuantClasses[table.classes[band][alloc[ch][band]]];
      b.bits = q.bits;
      b.groups = q.grouped ? group_table(q.levels) : nullptr;
      b.levels = q.levels;
      if (!q.grouped && q.bits <= kLevelTableBits) b.level_table = kLevelTables.v + (1 << q.bits) - 8;
    }

  for (int32_t group = 0; group < 12; ++group) {
    const int32_t part = group / 4;
    float *out[2][3];
    for (int32_t ch = 0; ch < channels; ++ch)
      for (int32_t t = 0; t < 3; ++t) {
        out[ch][t] = subband[ch][group * 3 + t];
        for (int32_t band = limit; band < 32; ++band) out[ch][t][band] = 0.0f;
      }
    for (int32_t band = 0; band < limit; ++band) {
      // Jointly coded subbands carry channel 0's samples for both, scaled
      // per channel (both channels share the allocation there, so the
      // levels folded into the scales agree).
      const int32_t coded = band < bound ? channels : 1;
      float v[3] = {0.0f, 0.0f, 0.0f};
      for (int32_t ch = 0; ch < channels; ++ch) {
        const BandReader &b = bands[ch][band];
        if (ch < coded) {
          if (b.groups) {
            const float *g = b.groups[reader.read(b.bits)];
            v[0] = g[0];
            v[1] = g[1];
            v[2] = g[2];
          } else if (b.level_table) {
            for (float &x : v) x = b.level_table[reader.read(b.bits)];
          } else if (b.bits) {
            for (float &x : v) x = dequantise(reader.read(b.bits), b.levels);
          } else {
            v[0] = v[1] = v[2] = 0.0f;
          }
        }
        const float m = b.scale[part];
        out[ch][0][band] = v[0] * m;
        out[ch][1][band] = v[1] * m;
        out[ch][2][band] = v[2] * m;
      }
    }
  }
  if (reader.overrun()) return false;
  for (int32_t slot = 0; slot < 36; ++slot) emit_slot(subband[0][slot], subband[1][slot]);
  return true;
}

}  // namespace lunaret
