// The decoder's public face: start-code dispatch, stream start, stepping
// pictures, and access to the results.
#include "video/decode/decoder.h"

#include <algorithm>

#include "video/decode/decoder_state.h"

namespace kestrum {
namespace {

bool at_code(const BitReader &r, uint32_t code) { return r.at_start_code() && r.peek(32) == code; }

int32_t find_picture(DecoderState &s) {
  BitReader &r = s.reader;
  r.ensure_loaded();
  for (;;) {
    if (!r.at_start_code() && !r.next_start_code()) return 0;
    const uint32_t code = r.peek(32);
    if (code == kPictureStartCode) return 1;
    if (code == kUserDataStartCode || code == kExtensionStartCode) {
      parse_extensions_and_user_data(s);
    } else if (code == kSequenceHeaderCode) {
      parse_sequence_header(s);
    } else if (code == kGroupStartCode) {
      if (parse_gop_header(s)) return 1;
    } else {
      r.skip(32);
    }
    if (r.end_of_data()) return 0;
  }
}

int32_t find_sequence_header(DecoderState &s) {
  BitReader &r = s.reader;
  r.ensure_loaded();
  s.seq.is_mpeg2 = false;
  s.seq.vbv_buffer_size_extension = 0;
  for (;;) {
    if (!r.at_start_code() && !r.next_start_code()) return 0;
    if (r.peek(32) == kSequenceHeaderCode) {
      parse_sequence_header(s);
      return 1;
    }
    r.skip(32);
    if (r.end_of_data()) return 0;
  }
}

bool layout_allowed(const FrameGeometry &g, int32_t max_side) {
  const int32_t limit = std::clamp(max_side, 1, kMaxPictureSide);
  // The area bound keeps one crafted header from costing hundreds of MiB.
  return g.horizontal_size >= 1 && g.vertical_size >= 1 && g.horizontal_size <= limit &&
         g.vertical_size <= limit && int64_t{g.horizontal_size} * g.vertical_size <= kMaxPictureArea &&
         g.chroma_format >= 1 && g.chroma_format <= 3;
}

bool decodable_type(int type) { return type >= 1 && type <= 3; }

// The picture just parsed belongs to a sequence of another layout than the
// frame store's.
bool layout_changes(const DecoderState &s) {
  return s.frames.ready() && decodable_type(s.pic.picture_coding_type) &&
         geometry_for(s.seq) != s.frames.geometry();
}

// Display order's last anchor becomes the picture shown; it starts where
// the one shown before it ended. False when there is none to show.
bool show_held_anchor(DecoderState &s) {
  const int32_t before = s.shown_fields;
  const bool had_shown = s.frames.has_shown();
  if (!s.frames.show_newest_anchor()) return false;
  s.shown_fields = s.anchor_fields;
  if (had_shown && s.shown_time >= 0) s.shown_time += before + s.passed_fields;
  s.passed_fields = 0;
  return true;
}

// A new layout ends the old sequence, whose last anchor display order still
// holds back: that becomes the picture shown now, and the parsed picture
// waits for the next call. True when it does.
bool hold_for_last_anchor(DecoderState &s) {
  if (s.picture_pending || !layout_changes(s) || !show_held_anchor(s)) return false;
  s.picture_pending = true;
  return true;
}

void forget_pending(DecoderState &s) {
  s.picture_pending = false;
  s.header_waiting = false;
}

void decode_current(DecoderState &s) {
  PictureHeader &p = s.pic;
  const int type = p.picture_coding_type;
  if (!decodable_type(type) || !s.frames.ready()) return;
  // Every plane offset below comes from the store's layout: a picture of a
  // sequence it cannot be made for is skipped rather than decoded into
  // planes of another size or chroma format.
  if (!fit_frame_store(s)) return;
  const bool field = p.picture_structure != 3;
  const bool second = field && s.expect_second_field && p.picture_structure != s.last_field_structure;
  s.parsed_unused = false;
  p.second_field = second;
  if (!second) {
    const int32_t fields = display_fields(s.seq.is_mpeg2, s.seq.progressive_sequence, p.picture_structure,
                                          p.repeat_first_field, p.top_field_first);
    const int32_t before = s.shown_fields;
    const bool had_shown = s.frames.has_shown();
    if (type == 3) {
      s.frames.rotate_b();
      s.shown_fields = fields;
    } else {
      s.frames.rotate_anchor();
      s.shown_fields = s.anchor_fields;
      s.anchor_fields = fields;
    }
    // The next picture on screen starts where the one before it ended (and
    // the pictures passed over since).
    if (s.frames.has_shown() && !s.frames.showing_repeat()) {
      if (had_shown && s.shown_time >= 0) s.shown_time += before + s.passed_fields;
      s.passed_fields = 0;
    }
  }
  s.expect_second_field = field && !second;
  s.last_field_structure = field ? p.picture_structure : 0;
  decode_slices(s);
  s.frames.mark_changed();
  ++s.pictures_decoded;
}

// Parses pictures up to the next one whose type is in the mask (bit n for
// type n); returns 0 at the end of the data.
int32_t find_picture_of_type(DecoderState &s, unsigned type_mask) {
  for (;;) {
    if (!find_picture(s)) return 0;
    parse_picture_header(s);
    if (type_mask & (1u << s.pic.picture_coding_type)) return 1;
  }
}

// A first field just decoded: decode its second field too, when it follows.
void complete_frame(DecoderState &s) {
  if (!s.expect_second_field) return;
  if (!find_picture(s)) return;
  parse_picture_header(s);
  decode_current(s);
}

// From the reader's position: the next I picture, and after it, when its
// GOP is open, the next I or P picture (the B pictures between refer to a
// picture before the I).
int32_t decode_from_intra(DecoderState &s) {
  if (!find_picture_of_type(s, 1u << 1)) return 0;
  decode_current(s);
  complete_frame(s);
  if (!s.pic.closed_gop) {
    if (!find_picture_of_type(s, (1u << 1) | (1u << 2))) return 1;
    decode_current(s);
    complete_frame(s);
  }
  return 1;
}

}  // namespace

FrameGeometry geometry_for(const SequenceHeader &q) {
  FrameGeometry g;
  // MPEG-1 has neither chroma formats nor interlaced sequences.
  g.chroma_format = q.is_mpeg2 ? q.chroma_format : 1;
  g.horizontal_size = q.horizontal_size;
  g.vertical_size = q.vertical_size;
  g.mb_width = (q.horizontal_size + 15) / 16;
  if (!q.is_mpeg2 || q.progressive_sequence) {
    g.mb_height = (q.vertical_size + 15) / 16;
  } else {
    g.mb_height = 2 * ((q.vertical_size + 31) / 32);
  }
  g.coded_width = 16 * g.mb_width;
  g.coded_height = 16 * g.mb_height;
  g.chroma_width = g.chroma_format == 3 ? g.coded_width : g.coded_width / 2;
  g.chroma_height = g.chroma_format == 1 ? g.coded_height / 2 : g.coded_height;
  return g;
}

bool allocate_frames(DecoderState &s) {
  const FrameGeometry g = geometry_for(s.seq);
  // Refused before anything is released.
  if (!layout_allowed(g, s.settings.max_picture_side)) return false;
  if (!s.seq.is_mpeg2) {
    // MPEG-1 values of the fields only the MPEG-2 extensions set.
    s.seq.matrix_coefficients = 5;
    s.seq.progressive_sequence = 1;
    s.seq.chroma_format = 1;
    s.pic.picture_structure = 3;
    s.pic.progressive_frame = true;
    s.pic.frame_pred_frame_dct = true;
  }
  s.expect_second_field = false;
  return s.frames.allocate(g);
}

bool fit_frame_store(DecoderState &s) {
  if (geometry_for(s.seq) == s.frames.geometry()) return true;
  // The old references cannot serve pictures of another layout: the store
  // starts over as at open (blank references), and the old buffers go. A
  // refused layout leaves the store as it is.
  return allocate_frames(s);
}

void DecoderState::apply_settings() {
  cpu_flags = detect_cpu_flags() & settings.cpu_mask;
  init_idct_dsp(idct, settings.idct_variant, cpu_flags);
  init_mc_dsp(mc, settings.mc_variant, cpu_flags);
}

Decoder::Decoder() : state_(std::make_unique<DecoderState>()) { state_->apply_settings(); }
Decoder::~Decoder() = default;

void Decoder::set_source(const VideoSource &source) {
  state_->source = source;
  state_->reader.set_source(source.read, source.ctx);
  state_->pictures_decoded = 0;
  state_->shown_time = 0;
  forget_pending(*state_);
}

void Decoder::set_settings(const DecoderSettings &settings) {
  state_->settings = settings;
  state_->settings.coefficient_limit &= 63;
  state_->apply_settings();
}
const DecoderSettings &Decoder::settings() const { return state_->settings; }

void Decoder::reset_reader() { state_->reader.reset(); }
void Decoder::restart_reader() { state_->reader.set_restart(); }
bool Decoder::end_of_data() const { return state_->reader.end_of_data(); }

int32_t Decoder::find_sequence_header() { return kestrum::find_sequence_header(*state_); }
int32_t Decoder::find_picture() {
  DecoderState &s = *state_;
  // The picture that waited for the held-back anchor comes first, once: a
  // caller that skips it moves on to the next.
  s.header_waiting = s.picture_pending;
  s.picture_pending = false;
  if (s.header_waiting) return 1;
  return kestrum::find_picture(s);
}

void Decoder::parse_picture_header() {
  DecoderState &s = *state_;
  if (s.header_waiting) {
    s.header_waiting = false;
    return;
  }
  s.reader.ensure_loaded();
  if (!at_code(s.reader, kPictureStartCode)) return;
  kestrum::parse_picture_header(s);
}

int32_t Decoder::open_stream() {
  DecoderState &s = *state_;
  int32_t found = 0;
  for (;;) {
    if (kestrum::find_sequence_header(s)) {
      found = 1;
      break;
    }
    // No sequence header in what the source gave: step over a raw sector's
    // worth and look again, as long as the source can move.
    if (s.source.seek == nullptr) break;
    const int32_t pos = s.source.seek(s.source.ctx, 2352, 1);
    if (pos < 0 || (s.source.total_length > 0 && pos > s.source.total_length)) break;
    s.reader.reset();
  }
  if (!found) return 0;
  if (!allocate_frame_store()) return 1;
  // Display time counts from the first picture shown.
  s.shown_time = 0;
  s.passed_fields = 0;
  s.parsed_unused = false;
  decode_from_intra(s);
  return 1;
}

int32_t Decoder::allocate_frame_store() {
  forget_pending(*state_);
  return allocate_frames(*state_) ? 1 : 0;
}

void Decoder::decode_picture() {
  DecoderState &s = *state_;
  s.header_waiting = false;
  if (hold_for_last_anchor(s)) return;
  s.picture_pending = false;
  decode_current(s);
}

int32_t Decoder::step_picture() {
  DecoderState &s = *state_;
  for (;;) {
    if (!s.picture_pending) {
      s.reader.ensure_loaded();
      if (!at_code(s.reader, kPictureStartCode) && !kestrum::find_picture(s)) return 0;
      if (s.reader.end_of_data()) return 0;
      kestrum::parse_picture_header(s);
      // B pictures between an intra picture shown early and the next anchor
      // come before it in display order: they are already in the past.
      if (s.frames.shown_early() && s.pic.picture_coding_type == 3) {
        s.parsed_unused = false;  // shows before the intra picture: not time to come
        continue;
      }
      if (hold_for_last_anchor(s)) return 1;
    }
    forget_pending(s);
    decode_current(s);
    // The anchor after an early intra picture brings that picture round
    // again: go on to the next one rather than show it twice.
    if (!s.frames.showing_repeat()) return 1;
  }
}

int32_t Decoder::restart_at_intra() {
  DecoderState &s = *state_;
  reset_frame_roles();
  s.pic.closed_gop = false;
  s.shown_time = -1;
  s.reader.ensure_loaded();
  if (!decode_from_intra(s)) return 0;
  // In a closed GOP display order would hold the intra picture back until
  // the next anchor; the picture the seek lands on is wanted now.
  if (s.pic.closed_gop && s.frames.show_newest_anchor_early()) s.shown_fields = s.anchor_fields;
  return 1;
}

void Decoder::reset_frame_roles() {
  state_->frames.reset_roles();
  state_->expect_second_field = false;
  state_->anchor_fields = state_->shown_fields = 2;
  state_->passed_fields = 0;
  state_->parsed_unused = false;
  forget_pending(*state_);
}

int32_t Decoder::show_last_anchor() { return show_held_anchor(*state_) ? 1 : 0; }

const SequenceHeader &Decoder::sequence() const { return state_->seq; }
const PictureHeader &Decoder::picture() const { return state_->pic; }
const FrameGeometry &Decoder::geometry() const { return state_->frames.geometry(); }
bool Decoder::frame_store_ready() const { return state_->frames.ready(); }
bool Decoder::uses_static_buffers() const { return state_->frames.uses_static(); }
bool Decoder::has_shown_picture() const { return state_->frames.has_shown(); }
bool Decoder::expecting_second_field() const { return state_->expect_second_field; }
bool Decoder::picture_pending() const { return state_->picture_pending; }
bool Decoder::showing_repeat() const { return state_->frames.showing_repeat(); }
int32_t Decoder::shown_fields() const { return state_->shown_fields; }
int64_t Decoder::shown_time_fields() const { return state_->shown_time; }
Planes Decoder::shown_planes() const { return state_->frames.shown_planes(); }
Planes Decoder::target_planes() const { return state_->frames.target_planes(); }
uint8_t *Decoder::rgb_buffer() const { return state_->frames.rgb(); }
uint32_t Decoder::size_changes() const { return state_->size_changes; }
int64_t Decoder::pictures_decoded() const { return state_->pictures_decoded; }

}  // namespace kestrum
