// Layer II frames: 1,152 samples per channel in 36 slots of 32 subbands,
// coded as 12 groups of three slots.
#include "audio/decode/dequantise.h"
#include "audio/decode/layer2_tables.h"
#include "audio/decode/mpeg_frame_decoder.h"

namespace lunaret {
namespace {

// Reads the three samples of one subband in one group: one code word for
// the grouped 3-, 5- and 9-level classes, else three words.
inline void read_triple(StreamBitReader &reader, const layer2::QuantClass &q, float out[3]) {
  if (q.grouped) {
    uint32_t code = reader.read(q.bits);
    const uint32_t n = uint32_t(q.levels);
    for (int i = 0; i < 3; ++i) {
      out[i] = dequantise(code % n, q.levels);
      code /= n;
    }
  } else {
    for (int i = 0; i < 3; ++i) out[i] = dequantise(reader.read(q.bits), q.levels);
  }
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

  for (int32_t group = 0; group < 12; ++group) {
    const int32_t part = group / 4;
    const int32_t slot = group * 3;
    for (int32_t band = 0; band < 32; ++band) {
      float v[2][3] = {};
      for (int32_t ch = 0; ch < channels; ++ch) {
        if (band >= limit) break;
        if (band >= bound && ch == 1) {
          // Jointly coded: the samples of channel 0, scaled per channel.
          v[1][0] = v[0][0];
          v[1][1] = v[0][1];
          v[1][2] = v[0][2];
          break;
        }
        const int32_t a = alloc[ch][band];
        if (a) read_triple(reader, layer2::kQuantClasses[table.classes[band][a]], v[ch]);
      }
      for (int32_t ch = 0; ch < channels; ++ch) {
        const float m = kScalefactors.m[scf[ch][band][part]];
        subband[ch][slot][band] = v[ch][0] * m;
        subband[ch][slot + 1][band] = v[ch][1] * m;
        subband[ch][slot + 2][band] = v[ch][2] * m;
      }
    }
  }
  if (reader.overrun()) return false;
  for (int32_t slot = 0; slot < 36; ++slot) emit_slot(subband[0][slot], subband[1][slot]);
  return true;
}

}  // namespace lunaret
