// Seeking in display time: where an intra picture lies on screen is found
// by reading the picture headers from the stream's start (the lengths of
// the pictures before it, display order taken from the temporal
// references), then the decoder enters the stream at that intra picture.
#include "video/decode/decoder.h"
#include "video/decode/decoder_state.h"

namespace kestrum {

namespace {

// Intra pictures counted the same way by both passes: a frame, or the
// first field of a pair.
class IntraCounter {
 public:
  /// Whether `p` is an intra picture that starts a frame.
  bool starts_intra(const PictureHeader &p) {
    const bool first = p.picture_structure == 3 || !second_due_;
    second_due_ = p.picture_structure != 3 && first;
    return first && p.picture_coding_type == 1;
  }
  /// The last picture given was a first field.
  bool second_due() const { return second_due_; }

 private:
  bool second_due_ = false;
};

// Field periods a coded picture adds: a field picture one, a frame two or
// more.
int32_t coded_fields(const SequenceHeader &q, const PictureHeader &p) {
  if (p.picture_structure != 3) return 1;
  return display_fields(q.is_mpeg2, q.progressive_sequence, 3, p.repeat_first_field, p.top_field_first);
}

}  // namespace

int32_t Decoder::locate_intra(int64_t fields, IntraPlace *place) {
  IntraCounter counter;
  int64_t coded = 0;  // field periods of the pictures read so far
  int64_t intras = 0;
  bool found = false;
  // The last intra picture read, while the B pictures that show before it
  // are still coming.
  bool pending = false;
  int32_t pending_reference = 0;
  IntraPlace candidate;
  while (find_picture()) {
    parse_picture_header();
    const PictureHeader &p = picture();
    const bool second_field = p.picture_structure != 3 && counter.second_due();
    const bool intra = counter.starts_intra(p);
    const int32_t f = coded_fields(sequence(), p);
    if (pending && !second_field) {
      if (p.picture_coding_type == 3 && p.temporal_reference < pending_reference) {
        candidate.time_fields += f;  // shows before the intra picture
      } else {
        pending = false;
        if (found && candidate.time_fields > fields) return 1;
        *place = candidate;
        found = true;
      }
    }
    if (intra) {
      pending = true;
      pending_reference = p.temporal_reference;
      candidate.ordinal = intras++;
      candidate.time_fields = coded;
    }
    coded += f;
  }
  if (pending && (!found || candidate.time_fields <= fields)) {
    *place = candidate;
    found = true;
  }
  return found ? 1 : 0;
}

int32_t Decoder::enter_at_intra(const IntraPlace &place) {
  DecoderState &s = *state_;
  reset_frame_roles();
  s.pic.closed_gop = false;
  s.shown_time = -1;
  IntraCounter counter;
  int64_t intras = 0;
  for (;;) {
    if (!find_picture()) return 0;
    parse_picture_header();
    if (counter.starts_intra(s.pic) && intras++ == place.ordinal) break;
  }
  const auto decode_frame = [&] {
    decode_picture();
    if (expecting_second_field() && find_picture()) {
      parse_picture_header();
      decode_picture();
    }
  };
  decode_frame();
  const int32_t intra_fields = s.anchor_fields;
  if (!s.pic.closed_gop) {
    // The B pictures of an open GOP before the next anchor refer to a
    // picture before the intra one: pass over them.
    for (;;) {
      if (!find_picture()) break;
      parse_picture_header();
      if (s.pic.picture_coding_type == 1 || s.pic.picture_coding_type == 2) {
        decode_frame();
        break;
      }
    }
  }
  // In a closed GOP (or with no anchor after it) display order would hold
  // the intra picture back until the next anchor: show it now, as a seek
  // does.
  if (!s.frames.has_shown()) s.frames.show_newest_anchor_early();
  s.shown_fields = intra_fields;
  s.shown_time = place.time_fields;
  // What was passed over on the way shows before it.
  s.passed_fields = 0;
  s.parsed_unused = false;
  return 1;
}

}  // namespace kestrum
