// Layer I frames: 384 samples per channel in 12 slots of 32 subbands.
#include "audio/decode/dequantise.h"
#include "audio/decode/mpeg_frame_decoder.h"

namespace lunaret {

bool MpegFrameDecoder::decode_layer1() {
  const int32_t channels = header.channels;
  const int32_t bound = header.jsbound < 32 ? header.jsbound : 32;
  uint8_t alloc[2][32] = {};
  uint8_t scf[2][32];

  // Below the joint-stereo bound each channel has its allocation; above it
  // one value serves both.
  for (int32_t band = 0; band < 32; ++band) {
    if (band < bound) {
      for (int32_t ch = 0; ch < channels; ++ch) alloc[ch][band] = uint8_t(reader.read(4));
    } else {
      alloc[0][band] = uint8_t(reader.read(4));
      alloc[1][band] = alloc[0][band];
    }
  }
  for (int32_t band = 0; band < 32; ++band)
    for (int32_t ch = 0; ch < channels; ++ch) scf[ch][band] = alloc[ch][band] ? uint8_t(reader.read(6)) : 63;

  for (int32_t slot = 0; slot < 12; ++slot) {
    for (int32_t band = 0; band < 32; ++band) {
      for (int32_t ch = 0; ch < channels; ++ch) {
        float value = 0.0f;
        if (band < bound || ch == 0) {
          int32_t a = alloc[ch][band];
          if (a) {
            // a + 1 bits; the all-ones code of 15 is forbidden but read as 16 bits.
            int32_t bits = a + 1;
            value = dequantise(reader.read(bits), (1 << bits) - 1);
          }
          subband[ch][slot][band] = value;
        }
        if (band >= bound && ch == 1) subband[1][slot][band] = subband[0][slot][band];
      }
    }
    for (int32_t ch = 0; ch < channels; ++ch)
      for (int32_t band = 0; band < 32; ++band) subband[ch][slot][band] *= kScalefactors.m[scf[ch][band]];
  }
  if (reader.overrun()) return false;
  for (int32_t slot = 0; slot < 12; ++slot) emit_slot(subband[0][slot], subband[1][slot]);
  return true;
}

}  // namespace lunaret
