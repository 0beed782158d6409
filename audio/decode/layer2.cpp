// Layer II frames: 1,152 samples per channel in 36 slots of 32 subbands,
// coded as 12 groups of three slots.
#include <cstring>

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

// One coded subband of one channel (or of both, above the joint-stereo
// bound) in the order its code words come in a group: how they are read,
// where the scaled samples go, and the scalefactor multipliers per part.
struct CodedBand {
  enum Kind : uint8_t { Grouped, Table, Divide };
  const float *table;  // triples (Grouped) or single values (Table)
  Kind kind;
  bool joint;    // the samples serve channel 1 too, with its own scales
  int32_t bits;  // of one code word
  int32_t levels;
  int32_t offset[2];  // into MpegFrameDecoder::subband, per channel served
  float scale[2][3];
};

const float *group_table(int32_t levels) {
  switch (levels) {
    case 3:
      return kGroups3.v[0];
    case 5:
      return kGroups5.v[0];
    case 9:
      return kGroups9.v[0];
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

  CodedBand coded[2 * 32];
  int32_t count = 0;
  constexpr int32_t kChannelStride = kMaxSlots * 32;
  // Subbands without samples are zero in every slot: the run above the
  // highest coded one a slot at a time, the few below it one by one.
  for (int32_t ch = 0; ch < channels; ++ch) {
    int32_t top = limit;
    while (top > 0 && !alloc[ch][top - 1]) --top;
    for (int32_t slot = 0; slot < kMaxSlots; ++slot)
      std::memset(subband[ch][slot] + top, 0, sizeof(float) * size_t(32 - top));
    for (int32_t band = 0; band < top; ++band) {
      if (alloc[ch][band]) continue;
      float *out = subband[ch][0] + band;
      for (int32_t slot = 0; slot < kMaxSlots; ++slot) out[32 * slot] = 0.0f;
    }
  }
  for (int32_t band = 0; band < limit; ++band) {
    // Jointly coded subbands carry channel 0's samples for both, scaled
    // per channel (both channels share the allocation there).
    const int32_t sent = band < bound ? channels : 1;
    for (int32_t ch = 0; ch < sent; ++ch) {
      if (!alloc[ch][band]) continue;
      CodedBand &b = coded[count++];
      const layer2::QuantClass &q = layer2::kQuantClasses[table.classes[band][alloc[ch][band]]];
      b.bits = q.bits;
      b.levels = q.levels;
      b.joint = band >= bound && channels == 2;
      if (q.grouped) {
        b.kind = CodedBand::Grouped;
        b.table = group_table(q.levels);
      } else if (q.bits <= kLevelTableBits) {
        b.kind = CodedBand::Table;
        b.table = kLevelTables.v + (1 << q.bits) - 8;
      } else {
        b.kind = CodedBand::Divide;
        b.table = nullptr;
      }
      for (int32_t served = 0; served < (b.joint ? 2 : 1); ++served) {
        const int32_t c = b.joint ? served : ch;
        b.offset[served] = c * kChannelStride + band;
        for (int32_t part = 0; part < 3; ++part) b.scale[served][part] = kScalefactors.m[scf[c][band][part]];
      }
    }
  }

  for (int32_t group = 0; group < 12; ++group) {
    const int32_t part = group / 4;
    float *base = subband[0][group * 3];
    for (int32_t i = 0; i < count; ++i) {
      const CodedBand &b = coded[i];
      float v0, v1, v2;
      if (b.kind == CodedBand::Grouped) {
        const float *g = b.table + 3 * reader.read(b.bits);
        v0 = g[0];
        v1 = g[1];
        v2 = g[2];
      } else if (b.kind == CodedBand::Table) {
        // The three words in one read: at most 30 bits.
        const uint32_t w = reader.read(3 * b.bits);
        const uint32_t mask = (1u << b.bits) - 1;
        v0 = b.table[w >> (2 * b.bits)];
        v1 = b.table[(w >> b.bits) & mask];
        v2 = b.table[w & mask];
      } else {
        v0 = dequantise(reader.read(b.bits), b.levels);
        v1 = dequantise(reader.read(b.bits), b.levels);
        v2 = dequantise(reader.read(b.bits), b.levels);
      }
      float *out = base + b.offset[0];
      float m = b.scale[0][part];
      out[0] = v0 * m;
      out[32] = v1 * m;
      out[64] = v2 * m;
      if (b.joint) {
        out = base + b.offset[1];
        m = b.scale[1][part];
        out[0] = v0 * m;
        out[32] = v1 * m;
        out[64] = v2 * m;
      }
    }
  }
  if (reader.overrun()) return false;
  for (int32_t slot = 0; slot < 36; ++slot) emit_slot(subband[0][slot], subband[1][slot]);
  return true;
}

}  // namespace lunaret
