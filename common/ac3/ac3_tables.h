// AC-3 (ATSC A/52) sync-frame tables shared by the audio engine's frame
// reader and the AC-3 decoder component.
#pragma once

#include <cstdint>

namespace ac3 {

inline constexpr uint8_t kSync0 = 0x0B;
inline constexpr uint8_t kSync1 = 0x77;
/// Bytes of the sync information (sync word, CRC, fscod/frmsizecod).
inline constexpr int kSyncInfoBytes = 5;
/// Bytes the header needs for acmod and the LFE flag.
inline constexpr int kHeaderBytes = 8;
inline constexpr int kFrameSizeCodes = 38;
inline constexpr int kMaxFrameBytes = 3840;
inline constexpr int kSamplesPerFrame = 1536;

/// Sample rate by fscod; the reserved code 3 has none.
inline constexpr int32_t kSampleRate[4] = {48000, 44100, 32000, 0};

/// Bit rate in kbit/s by frmsizecod.
inline constexpr int16_t kBitRate[kFrameSizeCodes] = {
    32,  32,  40,  40,  48,  48,  56,  56,  64,  64,  80,  80,  96,  96,  112, 112, 128, 128, 160,
    160, 192, 192, 224, 224, 256, 256, 320, 320, 384, 384, 448, 448, 512, 512, 576, 576, 640, 640};

/// Frame length in 16-bit words by fscod (48, 44.1, 32 kHz) and frmsizecod.
inline constexpr int16_t kFrameWords[3][kFrameSizeCodes] = {
    {64,  64,  80,  80,  96,  96,  112, 112, 128, 128, 160, 160, 192, 192,  224,  224,  256,  256,  320,
     320, 384, 384, 448, 448, 512, 512, 640, 640, 768, 768, 896, 896, 1024, 1024, 1152, 1152, 1280, 1280},
    {69,  70,  87,  88,  104, 105, 121, 122, 139, 140, 174, 175, 208, 209,  243,  244,  278,  279,  348,
     349, 417, 418, 487, 488, 557, 558, 696, 697, 835, 836, 975, 976, 1114, 1115, 1253, 1254, 1393, 1394},
    {96,  96,  120,  120,  144,  144,  168,  168,  192,  192,  240,  240, 288,
     288, 336, 336,  384,  384,  480,  480,  576,  576,  672,  672,  768, 768,
     960, 960, 1152, 1152, 1344, 1344, 1536, 1536, 1728, 1728, 1920, 1920}};

/// Full-bandwidth channels by acmod (1+1 counts two).
inline constexpr int8_t kFullChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};

/// Frame length in bytes from the sync information's fourth byte
/// (fscod << 6 | frmsizecod); 0 for the reserved rate and codes past the
/// table.
inline constexpr int32_t frame_bytes(uint8_t code) {
  int fscod = code >> 6, frmsizecod = code & 0x3F;
  if (fscod == 3 || frmsizecod >= kFrameSizeCodes) return 0;
  return kFrameWords[fscod][frmsizecod] * 2;
}

/// What the first eight bytes of a frame say.
struct FrameHeader {
  int32_t bytes = 0;  // 0: not a usable frame
  int32_t rate = 0;
  int32_t bit_rate = 0;
  int32_t acmod = 0;
  int32_t lfe = 0;
};

/// Parses a header from p (at least kHeaderBytes bytes, starting 0x0B 0x77).
inline FrameHeader parse_header(const uint8_t *p) {
  FrameHeader h;
  if (p[0] != kSync0 || p[1] != kSync1) return h;
  h.bytes = frame_bytes(p[4]);
  if (h.bytes == 0) return h;
  h.rate = kSampleRate[p[4] >> 6];
  h.bit_rate = kBitRate[p[4] & 0x3F];
  // Byte 5: bsid, bsmod. Byte 6 on: acmod (3 bits), the optional mix
  // levels, then lfeon.
  uint32_t bits = (static_cast<uint32_t>(p[6]) << 8) | p[7];
  h.acmod = static_cast<int32_t>(bits >> 13);
  int skip = 3;
  if ((h.acmod & 1) && h.acmod != 1) skip += 2;
  if (h.acmod & 4) skip += 2;
  if (h.acmod == 2) skip += 2;
  h.lfe = static_cast<int32_t>((bits >> (15 - skip)) & 1);
  return h;
}

}  // namespace ac3
