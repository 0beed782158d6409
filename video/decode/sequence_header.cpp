// Sequence header and the sequence-level extensions; the loop over
// extensions and user data that follows every header.
#include <algorithm>

#include "video/decode/decoder_state.h"
#include "video/decode/scan_tables.h"

namespace kestrum {
namespace {

enum Matrix { kIntraLuma = 0, kNonIntraLuma = 1, kIntraChroma = 2, kNonIntraChroma = 3 };

// Matrices are sent in zigzag order whatever the picture's scan.
void read_matrix(BitReader &r, uint8_t *matrix) {
  for (int i = 0; i < 64; ++i) matrix[kZigzagScan[i]] = uint8_t(r.get(8));
}

void parse_sequence_extension(DecoderState &s) {
  BitReader &r = s.reader;
  SequenceHeader &q = s.seq;
  q.is_mpeg2 = true;
  q.scalable_mode = 0;
  q.profile_and_level_indication = int32_t(r.get(8));
  q.progressive_sequence = int32_t(r.get1());
  q.chroma_format = int32_t(r.get(2));
  const int32_t horizontal_size_extension = int32_t(r.get(2));
  const int32_t vertical_size_extension = int32_t(r.get(2));
  q.horizontal_size = (q.horizontal_size & 0xFFF) | (horizontal_size_extension << 12);
  q.vertical_size = (q.vertical_size & 0xFFF) | (vertical_size_extension << 12);
  q.bit_rate_extension = int32_t(r.get(12));
  r.skip(1);  // marker_bit
  q.vbv_buffer_size_extension = int32_t(r.get(8));
  q.low_delay = r.get1();
  q.frame_rate_extension_n = int32_t(r.get(2));
  q.frame_rate_extension_d = int32_t(r.get(5));
}

void parse_sequence_display_extension(DecoderState &s) {
  BitReader &r = s.reader;
  SequenceHeader &q = s.seq;
  q.video_format = int32_t(r.get(3));
  if (r.get1()) {  // colour_description
    r.skip(8);     // colour_primaries
    r.skip(8);     // transfer_characteristics
    q.matrix_coefficients = int32_t(r.get(8));
  }
  q.display_horizontal_size = int32_t(r.get(14));
  r.skip(1);  // marker_bit
  q.display_vertical_size = int32_t(r.get(14));
}

void parse_quant_matrix_extension(DecoderState &s) {
  BitReader &r = s.reader;
  SequenceHeader &q = s.seq;
  if (r.get1()) {
    read_matrix(r, q.quantiser_matrix[kIntraLuma]);
    std::copy_n(q.quantiser_matrix[kIntraLuma], 64, q.quantiser_matrix[kIntraChroma]);
    q.load_intra_quantiser_matrix = true;
  }
  if (r.get1()) {
    read_matrix(r, q.quantiser_matrix[kNonIntraLuma]);
    std::copy_n(q.quantiser_matrix[kNonIntraLuma], 64, q.quantiser_matrix[kNonIntraChroma]);
    q.load_non_intra_quantiser_matrix = true;
  }
  if (r.get1()) read_matrix(r, q.quantiser_matrix[kIntraChroma]);
  if (r.get1()) read_matrix(r, q.quantiser_matrix[kNonIntraChroma]);
}

void parse_sequence_scalable_extension(DecoderState &s) {
  BitReader &r = s.reader;
  SequenceHeader &q = s.seq;
  const int32_t mode = int32_t(r.get(2));
  q.scalable_mode = mode + 1;
  q.layer_id = int32_t(r.get(4));
  if (mode == 1) {  // spatial scalability
    q.lower_layer_prediction_horizontal_size = int32_t(r.get(14));
    r.skip(1);
    q.lower_layer_prediction_vertical_size = int32_t(r.get(14));
    q.horizontal_subsampling_factor_m = int32_t(r.get(5));
    q.horizontal_subsampling_factor_n = int32_t(r.get(5));
    q.vertical_subsampling_factor_m = int32_t(r.get(5));
    q.vertical_subsampling_factor_n = int32_t(r.get(5));
  }
}

}  // namespace

void parse_sequence_header(DecoderState &s) {
  BitReader &r = s.reader;
  SequenceHeader &q = s.seq;
  r.skip(32);  // sequence_header_code
  q.horizontal_size = int32_t(r.get(12));
  q.vertical_size = int32_t(r.get(12));
  s.pic.first_field_parity = -1;
  s.expect_second_field = false;
  q.aspect_ratio_information = int32_t(r.get(4));
  q.frame_rate_code = int32_t(r.get(4));
  q.bit_rate_value = int32_t(r.get(18));
  r.skip(1);  // marker_bit
  q.vbv_buffer_size_value = int32_t(r.get(10));
  q.constrained_parameters_flag = r.get1();
  q.load_intra_quantiser_matrix = r.get1();
  if (q.load_intra_quantiser_matrix) {
    read_matrix(r, q.quantiser_matrix[kIntraLuma]);
  } else {
    std::copy(kDefaultIntraMatrix.begin(), kDefaultIntraMatrix.end(), q.quantiser_matrix[kIntraLuma]);
  }
  q.load_non_intra_quantiser_matrix = r.get1();
  if (q.load_non_intra_quantiser_matrix) {
    read_matrix(r, q.quantiser_matrix[kNonIntraLuma]);
  } else {
    std::fill_n(q.quantiser_matrix[kNonIntraLuma], 64, uint8_t(16));
  }
  std::copy_n(q.quantiser_matrix[kIntraLuma], 64, q.quantiser_matrix[kIntraChroma]);
  std::copy_n(q.quantiser_matrix[kNonIntraLuma], 64, q.quantiser_matrix[kNonIntraChroma]);
  parse_extensions_and_user_data(s);
  if (q.horizontal_size != s.last_horizontal_size || q.vertical_size != s.last_vertical_size) {
    s.last_horizontal_size = q.horizontal_size;
    s.last_vertical_size = q.vertical_size;
    ++s.size_changes;
  }
}

void parse_extensions_and_user_data(DecoderState &s) {
  BitReader &r = s.reader;
  for (;;) {
    if (!r.at_start_code() && !r.next_start_code()) return;
    const uint32_t code = r.peek(32);
    if (code == kUserDataStartCode) {
      r.skip(32);
      if (!r.next_start_code()) return;
    } else if (code == kExtensionStartCode) {
      r.skip(32);
      const int id = int(r.get(4));
      switch (id) {
        case 1:
          parse_sequence_extension(s);
          break;
        case 2:
          parse_sequence_display_extension(s);
          break;
        case 3:
          parse_quant_matrix_extension(s);
          break;
        case 5:
          parse_sequence_scalable_extension(s);
          break;
        default:
          parse_picture_extension(s, id);
          break;
      }
    } else {
      return;
    }
  }
}

}  // namespace kestrum
