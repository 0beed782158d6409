// GOP header, picture header and the picture-level extensions.
#include "video/decode/decoder_state.h"

namespace kestrum {
namespace {

void parse_picture_display_extension(DecoderState &s) {
  BitReader &r = s.reader;
  const PictureHeader &p = s.pic;
  int offsets;
  if (s.seq.progressive_sequence || p.picture_structure != 3) {
    offsets = 1;
  } else {
    offsets = p.repeat_first_field ? 3 : 2;
  }
  for (int i = 0; i < offsets; ++i) {
    r.skip(16);  // frame_centre_horizontal_offset
    r.skip(1);
    r.skip(16);  // frame_centre_vertical_offset
    r.skip(1);
  }
}

void parse_picture_coding_extension(DecoderState &s) {
  BitReader &r = s.reader;
  PictureHeader &p = s.pic;
  p.f_code[0][0] = int32_t(r.get(4));
  p.f_code[0][1] = int32_t(r.get(4));
  p.f_code[1][0] = int32_t(r.get(4));
  p.f_code[1][1] = int32_t(r.get(4));
  p.intra_dc_precision = int32_t(r.get(2));
  p.picture_structure = int32_t(r.get(2));
  p.top_field_first = r.get1();
  p.frame_pred_frame_dct = r.get1();
  p.concealment_motion_vectors = r.get1();
  p.q_scale_type = r.get1();
  p.intra_vlc_format = r.get1();
  p.alternate_scan = r.get1();
  p.repeat_first_field = r.get1();
  p.chroma_420_type = r.get1();
  p.progressive_frame = r.get1();
  if (r.get1()) {  // composite_display_flag
    r.skip(1);     // v_axis
    r.skip(3);     // field_sequence
    r.skip(1);     // sub_carrier
    r.skip(7);     // burst_amplitude
    r.skip(8);     // sub_carrier_phase
  }
  if (p.first_field_parity == -1) p.first_field_parity = p.picture_structure == 1 ? 1 : 0;
}

int32_t sign_extend_15(uint32_t v) { return v > 0x3FFF ? int32_t(v) - 0x8000 : int32_t(v); }

void parse_picture_spatial_scalable_extension(DecoderState &s) {
  BitReader &r = s.reader;
  PictureHeader &p = s.pic;
  p.spatial_scalable_ext = true;
  p.lower_layer_temporal_reference = int32_t(r.get(10));
  r.skip(1);
  p.lower_layer_horizontal_offset = sign_extend_15(r.get(15));
  r.skip(1);
  p.lower_layer_vertical_offset = sign_extend_15(r.get(15));
  p.spatial_temporal_weight_code_table_index = int32_t(r.get(2));
  p.lower_layer_progressive_frame = r.get1();
  p.lower_layer_deinterlaced_field_select = r.get1();
}

}  // namespace

void parse_picture_extension(DecoderState &s, int id) {
  switch (id) {
    case 7:
      parse_picture_display_extension(s);
      break;
    case 8:
      parse_picture_coding_extension(s);
      break;
    case 9:
      parse_picture_spatial_scalable_extension(s);
      break;
    case 10:
      s.pic.temporal_scalable_ext = true;
      break;
    default:
      break;  // unknown identifiers are passed over
  }
}

bool parse_gop_header(DecoderState &s) {
  BitReader &r = s.reader;
  PictureHeader &p = s.pic;
  r.skip(32);  // group_start_code
  p.first_field_parity = -1;
  s.expect_second_field = false;
  p.time_code = int32_t(r.get(25));
  p.closed_gop = r.get1();
  p.broken_link = r.get1();
  if (!r.next_start_code()) return false;
  parse_extensions_and_user_data(s);
  return r.at_start_code() && r.peek(32) == kPictureStartCode;
}

void parse_picture_header(DecoderState &s) {
  BitReader &r = s.reader;
  PictureHeader &p = s.pic;
  r.skip(32);  // picture_start_code
  p.spatial_scalable_ext = false;
  p.temporal_scalable_ext = false;
  p.temporal_reference = int32_t(r.get(10));
  p.picture_coding_type = int32_t(r.get(3));
  p.vbv_delay = int32_t(r.get(16));
  if (p.picture_coding_type == 2 || p.picture_coding_type == 3) {
    p.full_pel_forward_vector = r.get1();
    const int32_t code = int32_t(r.get(3));
    if (!s.seq.is_mpeg2) p.f_code[0][0] = p.f_code[0][1] = code;
  }
  if (p.picture_coding_type == 3) {
    p.full_pel_backward_vector = r.get1();
    const int32_t code = int32_t(r.get(3));
    if (!s.seq.is_mpeg2) p.f_code[1][0] = p.f_code[1][1] = code;
  }
  // extra_information_picture
  while (r.get1()) {
    r.skip(8);
    if (r.end_of_data()) break;
  }
  parse_extensions_and_user_data(s);
  // A picture parsed before it was decoded was passed over.
  if (s.parsed_unused) s.passed_fields += s.parsed_fields;
  s.parsed_fields = p.picture_structure != 3 ? 1
                                             : display_fields(s.seq.is_mpeg2, s.seq.progressive_sequence, 3,
                                                              p.repeat_first_field, p.top_field_first);
  s.parsed_unused = true;
}

}  // namespace kestrum
