// Frame headers: the tables of the standards that a header indexes, the
// header parse and what follows from it (channels, Layer II allocation
// table, joint-stereo bound, frame length).
#pragma once

#include <cstdint>

#include "audio/decode/mpeg_audio_decoder.h"
#include "audio/decode/stream_bit_reader.h"

namespace lunaret {

/// Sampling-frequency slot 0..5 of the Layer III band tables: ID 1 -> 0..2
/// (44.1, 48, 32 kHz), ID 0 -> 3..5 (22.05, 24, 16 kHz).
inline int32_t rate_slot(const HeaderRecord &h) { return (h.id ? 0 : 3) + h.sampling_index; }

/// Reads the 20 header bits after the 12-bit sync (and the CRC word when
/// present) into h. Returns false, with h partly written, when the header
/// uses a reserved value (layer bits 00, bit-rate index 15, sampling index
/// 3): such a "frame" is a false sync.
bool parse_header(StreamBitReader &reader, HeaderRecord &h);

/// Layer II allocation table for the header: 0..3 for tables B.2a to B.2d
/// of ISO/IEC 11172-3, 4 for the MPEG-2 low sampling frequency table.
int32_t layer2_table_index(const HeaderRecord &h);

/// Completes h after a parse: channels, subband limit, joint-stereo bound.
void derive_header(HeaderRecord &h);

/// Whole frame length in bytes including the header, or 0 for free format.
int32_t frame_bytes(const HeaderRecord &h);

}  // namespace lunaret
