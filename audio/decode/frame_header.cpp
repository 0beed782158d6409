#include "audio/decode/frame_header.h"

#include "audio/decode/layer2_tables.h"
#include "common/mpeg_audio/header_tables.h"

namespace lunaret {
namespace {

using mpeg_audio::kBitRates;
using mpeg_audio::kSampleRates;

// First jointly coded subband by mode extension (Layers I and II).
constexpr int32_t kJointBound[4] = {4, 8, 12, 16};

}  // namespace

int32_t mpeg_audio_sample_rate(int32_t id, int32_t sampling_index) {
  if ((id != 0 && id != 1) || sampling_index < 0 || sampling_index > 3) return 0;
  return kSampleRates[id * 4 + sampling_index];
}

int32_t mpeg_audio_bitrate(int32_t id, int32_t layer, int32_t bitrate_index) {
  if ((id != 0 && id != 1) || layer < 1 || layer > 3 || bitrate_index < 0 || bitrate_index > 14) return 0;
  return kBitRates[id][layer - 1][bitrate_index];
}

bool parse_header(StreamBitReader &reader, HeaderRecord &h) {
  h.id = int32_t(reader.read_bit());
  int32_t layer_bits = int32_t(reader.read(2));
  h.crc_present = reader.read_bit() ? 0 : 1;
  h.bitrate_index = int32_t(reader.read(4));
  h.sampling_index = int32_t(reader.read(2));
  h.padding = int32_t(reader.read_bit());
  h.private_bit = int32_t(reader.read_bit());
  h.mode = int32_t(reader.read(2));
  h.mode_extension = int32_t(reader.read(2));
  h.copyright = int32_t(reader.read_bit());
  h.original = int32_t(reader.read_bit());
  h.emphasis = int32_t(reader.read(2));
  if (layer_bits == 0 || h.bitrate_index == 15 || h.sampling_index == 3) return false;
  h.layer = 4 - layer_bits;
  if (h.crc_present) h.crc_word = uint16_t(reader.read(16));
  derive_header(h);
  return true;
}

int32_t layer2_table_index(const HeaderRecord &h) {
  if (h.id == 0) return 4;
  int32_t rate = mpeg_audio_sample_rate(h.id, h.sampling_index);
  int32_t r = mpeg_audio_bitrate(h.id, 2, h.bitrate_index);
  if (h.mode != 3) r /= 2;
  if ((rate == 48000 && r > 55) || (r > 55 && r <= 80)) return 0;
  if (rate == 48000 || r < 96) return (rate == 32000 || r > 48) ? 3 : 2;
  return 1;
}

void derive_header(HeaderRecord &h) {
  h.channels = h.mode == 3 ? 1 : 2;
  h.subband_limit = h.layer == 2 ? layer2::kAllocTables[layer2_table_index(h)].sblimit : 32;
  h.jsbound = h.mode == 1 && h.layer != 3 ? kJointBound[h.mode_extension & 3] : h.subband_limit;
  if (h.jsbound > h.subband_limit) h.jsbound = h.subband_limit;
}

int32_t frame_bytes(const HeaderRecord &h) {
  int32_t rate = mpeg_audio_sample_rate(h.id, h.sampling_index);
  int32_t kbps = mpeg_audio_bitrate(h.id, h.layer, h.bitrate_index);
  if (rate == 0 || kbps == 0) return 0;
  if (h.layer == 1) return (12000 * kbps / rate + h.padding) * 4;
  if (h.layer == 3 && h.id == 0) return 72000 * kbps / rate + h.padding;
  return 144000 * kbps / rate + h.padding;
}

}  // namespace lunaret
