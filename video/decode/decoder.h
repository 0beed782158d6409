// The MPEG-1/MPEG-2 video decoder that the video engine drives.
//
// The decoder pulls its bytes through a callback (the engine passes the media
// layer's SysReadVideo, tests pass memory), parses the stream's headers, and
// decodes I, P and B pictures into a four-slot frame store whose rotation
// yields the pictures in display order. One Decoder is one stream; the engine
// keeps one for the process. Not thread-safe: the engine calls it under its
// engine lock.
//
// Typical use:
//   Decoder d;
//   d.set_source({ctx, read, seek, total_length});
//   if (d.open_stream()) {            // first sequence header, frame store,
//     show(d.shown_planes());         // first I picture (and P of an open GOP)
//     while (d.step_picture())         // one coded picture at a time
//       if (d.has_shown_picture()) show(d.shown_planes());
//   }
#pragma once

#include <cstdint>
#include <memory>

#include "video/cpu/cpu_features.h"

namespace kestrum {

// ---------------------------------------------------------------------------
// Byte source

/// Reads up to len bytes of the video elementary stream into dst. Returns the
/// number of bytes stored, 0 at the end of the data. A short read that is not
/// 0 is not taken as the end: the decoder asks again for the rest.
using ReadVideoFn = int32_t (*)(void *ctx, void *dst, int32_t len);
/// Moves the source as the media layer's SysSeek does (origin 0 from the
/// start, 1 from the current position, 2 from the end). Returns the new byte
/// position, or -1 when the move is impossible.
using SeekVideoFn = int32_t (*)(void *ctx, int32_t pos, int32_t origin);

struct VideoSource {
  void *ctx = nullptr;
  ReadVideoFn read = nullptr;
  /// May be null: then the open-time stepping over leading garbage stops.
  SeekVideoFn seek = nullptr;
  /// Size of the source in bytes (0 = unknown); the open-time stepping
  /// stops when it passes this.
  int64_t total_length = 0;
};

// ---------------------------------------------------------------------------
// Settings the engine passes down

/// Half-pel interpolation of the motion compensation.
enum class McVariant : int32_t {
  /// The standards' arithmetic: (a + b + 1) >> 1 and (a + b + c + d + 2) >> 2.
  kExact = 0,
  /// Selected by video command 83: rounded mean of two, the diagonal case
  /// from three neighbours, avg(avg(p[x], p[x+1]), q[x]).
  kThreeNeighbour = 1,
  /// Selected by video command 85: rounded mean of two, the diagonal case
  /// as avg(avg(p[x], p[x+1]), avg(q[x], q[x+1])).
  kPairwise = 2,
};

/// Inverse DCT used for blocks with AC coefficients.
enum class IdctVariant : int32_t {
  /// Accurate to the IEEE 1180 limits; the default.
  kAccurate = 0,
  /// The second, sparse accumulating transform (video command 85).
  kSparse = 1,
};

struct DecoderSettings {
  McVariant mc_variant = McVariant::kExact;
  IdctVariant idct_variant = IdctVariant::kAccurate;
  /// 0 = no limit; else only the first n nonzero AC coefficients of each
  /// block (in decoding order) reach the inverse DCT. Low 6 bits used.
  int32_t coefficient_limit = 0;
  /// Monochrome mode: chroma is parsed but neither predicted nor written.
  bool monochrome = false;
  /// Caps the SIMD level below the process-wide mask (0 = plain C).
  uint32_t cpu_mask = kCpuAll;
  /// Largest picture side the frame store is laid out for (either side, in
  /// pixels); the decoder never goes beyond 4096. Sequences asking for more
  /// have their pictures skipped.
  int32_t max_picture_side = 4096;
};

// ---------------------------------------------------------------------------
// Parsed stream values

/// Values of the sequence header and its extensions, as last parsed.
struct SequenceHeader {
  /// 14 bits with the MPEG-2 size extensions.
  int32_t horizontal_size = 0;
  int32_t vertical_size = 0;
  int32_t aspect_ratio_information = 0;
  int32_t frame_rate_code = 0;
  int32_t bit_rate_value = 0;      // 18 bits, units of 400 bit/s
  int32_t bit_rate_extension = 0;  // 12 bits (MPEG-2)
  int32_t vbv_buffer_size_value = 0;
  int32_t vbv_buffer_size_extension = 0;
  bool constrained_parameters_flag = false;
  /// The stream loaded its own intra / non-intra matrix (sequence header or
  /// quant matrix extension).
  bool load_intra_quantiser_matrix = false;
  bool load_non_intra_quantiser_matrix = false;
  /// Quantiser matrices in raster order: intra luma, non-intra luma, intra
  /// chroma, non-intra chroma.
  uint8_t quantiser_matrix[4][64] = {};

  /// Set by the first sequence extension; stays set for the open.
  bool is_mpeg2 = false;
  int32_t profile_and_level_indication = 0;
  int32_t progressive_sequence = 1;
  /// 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4.
  int32_t chroma_format = 1;
  bool low_delay = false;
  int32_t frame_rate_extension_n = 0;
  int32_t frame_rate_extension_d = 0;

  // Sequence display extension (0 when absent).
  int32_t video_format = 0;
  int32_t matrix_coefficients = 5;
  int32_t display_horizontal_size = 0;
  int32_t display_vertical_size = 0;

  // Sequence scalable extension.
  /// scalable_mode + 1; 0 = no scalable extension.
  int32_t scalable_mode = 0;
  int32_t layer_id = 0;
  int32_t lower_layer_prediction_horizontal_size = 0;
  int32_t lower_layer_prediction_vertical_size = 0;
  int32_t horizontal_subsampling_factor_m = 0;
  int32_t horizontal_subsampling_factor_n = 0;
  int32_t vertical_subsampling_factor_m = 0;
  int32_t vertical_subsampling_factor_n = 0;

  /// Bit rate in bit/s (value and extension joined, times 400).
  int64_t bit_rate() const { return ((int64_t(bit_rate_extension) << 18) | bit_rate_value) * 400; }
};

/// Values of the last GOP and picture headers and the picture extensions.
struct PictureHeader {
  bool closed_gop = false;
  bool broken_link = false;
  int32_t time_code = 0;

  int32_t temporal_reference = 0;
  /// 1 I, 2 P, 3 B, 4 D; other values are skipped pictures.
  int32_t picture_coding_type = 0;
  int32_t vbv_delay = 0;
  bool full_pel_forward_vector = false;
  bool full_pel_backward_vector = false;
  /// f_code[s][t] as coded (1..15): s 0 forward / 1 backward, t 0
  /// horizontal / 1 vertical. MPEG-1 pictures fill both t from the single
  /// forward_f_code / backward_f_code.
  int32_t f_code[2][2] = {{15, 15}, {15, 15}};

  // Picture coding extension (MPEG-1 defaults when absent).
  int32_t intra_dc_precision = 0;
  /// 1 top field, 2 bottom field, 3 frame.
  int32_t picture_structure = 3;
  bool top_field_first = false;
  bool frame_pred_frame_dct = true;
  bool concealment_motion_vectors = false;
  bool q_scale_type = false;
  bool intra_vlc_format = false;
  bool alternate_scan = false;
  bool repeat_first_field = false;
  bool chroma_420_type = false;
  bool progressive_frame = true;

  /// -1 not yet seen in this GOP/sequence, 1 top field first, 0 bottom.
  int32_t first_field_parity = -1;
  /// The current picture is the second field of a frame.
  bool second_field = false;

  bool spatial_scalable_ext = false;
  bool temporal_scalable_ext = false;
  int32_t lower_layer_temporal_reference = 0;
  int32_t lower_layer_horizontal_offset = 0;
  int32_t lower_layer_vertical_offset = 0;
  int32_t spatial_temporal_weight_code_table_index = 0;
  bool lower_layer_progressive_frame = false;
  bool lower_layer_deinterlaced_field_select = false;
};

/// Layout of the frame store: made for one sequence's picture size and
/// chroma format, and made afresh when a sequence header changes them.
struct FrameGeometry {
  int32_t mb_width = 0;
  int32_t mb_height = 0;
  int32_t coded_width = 0;   // 16 x mb_width
  int32_t coded_height = 0;  // 16 x mb_height
  int32_t chroma_width = 0;
  int32_t chroma_height = 0;
  /// 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4: the planes the pictures decode into.
  int32_t chroma_format = 0;
  /// The picture size of the sequence (the margin beyond it reads black).
  int32_t horizontal_size = 0;
  int32_t vertical_size = 0;

  bool operator==(const FrameGeometry &) const = default;
};

/// The plane record of a picture: addresses first, then line lengths.
struct Planes {
  uint8_t *y = nullptr;
  uint8_t *cb = nullptr;
  uint8_t *cr = nullptr;
  int32_t y_stride = 0;
  int32_t cb_stride = 0;
  int32_t cr_stride = 0;
};

/// Microseconds per picture by frame_rate_code (0..15); the codes the
/// standards leave undefined (0, 9..15) count as 30 Hz.
constexpr int32_t frame_period_us(int32_t frame_rate_code) {
  constexpr int32_t kPeriod[16] = {33333, 41708, 41667, 40000, 33367, 33333, 20000, 16683,
                                   16667, 33333, 33333, 33333, 33333, 33333, 33333, 33333};
  return kPeriod[frame_rate_code & 15];
}

/// Milliseconds per picture (the exact period rounded).
constexpr int32_t frame_period_ms(int32_t frame_rate_code) {
  return (frame_period_us(frame_rate_code) + 500) / 1000;
}

/// The frame_rate_code (1 to 8) whose period lies nearest `period_us`:
/// what sources that are not MPEG report for their picture spacing.
constexpr int32_t nearest_frame_rate_code(int64_t period_us) {
  int32_t best = 1;
  for (int32_t code = 2; code <= 8; ++code) {
    const int64_t d = frame_period_us(code) - period_us, best_d = frame_period_us(best) - period_us;
    if ((d < 0 ? -d : d) < (best_d < 0 ? -best_d : best_d)) best = code;
  }
  return best;
}

/// How long a coded picture stays on screen, in field periods (half frame
/// periods of frame_rate_code). A frame shows its two fields, three when it
/// repeats the first (3:2 pull-down in an interlaced sequence); a progressive
/// sequence repeats whole frames instead: two or three frame periods. Field
/// pictures come in pairs that make one frame. MPEG-1 always shows 2.
constexpr int32_t display_fields(bool is_mpeg2, int32_t progressive_sequence, int32_t picture_structure,
                                 bool repeat_first_field, bool top_field_first) {
  if (!is_mpeg2 || picture_structure != 3 || !repeat_first_field) return 2;
  if (!progressive_sequence) return 3;
  return top_field_first ? 6 : 4;
}

/// 1 for the 24/25/50 Hz family of frame_rate_code (codes 1, 2, 3 and 6),
/// 0 for the others.
constexpr int32_t frame_rate_family(int32_t frame_rate_code) {
  return frame_rate_code == 1 || frame_rate_code == 2 || frame_rate_code == 3 || frame_rate_code == 6 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The decoder

struct DecoderState;

class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder &) = delete;
  Decoder &operator=(const Decoder &) = delete;

  /// Sets where bytes come from and empties the bit reader.
  void set_source(const VideoSource &source);
  void set_settings(const DecoderSettings &settings);
  const DecoderSettings &settings() const;

  // --- Bit reader -----------------------------------------------------------
  /// Empties the 16 KiB input buffer and clears the end of data; the next
  /// read refills it from the source.
  void reset_reader();
  /// Makes the next start-code search reload the reader's words from the
  /// current buffer position (used after the source was moved).
  void restart_reader();
  /// The source returned 0 bytes.
  bool end_of_data() const;

  // --- Headers --------------------------------------------------------------
  /// Clears the MPEG-2 flag and the vbv extension, searches start codes
  /// until a sequence header and parses it (with its extensions). 1/0.
  int32_t find_sequence_header();
  /// Advances to the next picture start code, parsing the sequence, GOP,
  /// extension and user data headers met on the way. 1, or 0 at the end.
  int32_t find_picture();
  /// Consumes a picture start code, the picture header and the extensions
  /// and user data after it. The reader must stand at a picture start code.
  void parse_picture_header();

  // --- Pictures -------------------------------------------------------------
  /// Stream start at open: finds the first sequence header (stepping the
  /// source 2352 bytes at a time past data without one), allocates the
  /// frame store, then decodes the first I picture and, after an open GOP,
  /// the next I or P picture. Returns 1 when a sequence header was found.
  int32_t open_stream();
  /// Allocates the frame store for the current sequence header (done by
  /// open_stream). Returns 0 for a side outside 1..4096 or an area above
  /// 1920x1152 (the largest MPEG-2 level).
  int32_t allocate_frame_store();
  /// Decodes the picture whose header was just parsed: rotates the buffers,
  /// decodes its slices, blanks the margin and makes the display-order
  /// picture current. Pictures of types other than I, P, B are skipped.
  /// A picture of a new layout first makes the old sequence's held-back
  /// last anchor current instead (picture_pending()); the next
  /// find_picture, parse_picture_header and decode_picture then take up
  /// that same picture again.
  void decode_picture();
  /// One coded picture: find it, parse its header, decode it (I/P/B) or
  /// skip it (other types). 1, or 0 at the end of the data. When a sequence
  /// header changed the picture size or chroma format, the frame store is
  /// laid out afresh before the picture; the old sequence's last anchor,
  /// which display order still held back, is shown first by a step of its
  /// own (the picture is decoded at the next step).
  int32_t step_picture();
  /// After a seek: frame roles back to their open state, closed_gop := 0;
  /// then parses pictures up to the next I picture and decodes it and, when
  /// its GOP is open, skips to the next I or P picture and decodes that
  /// too. 1, or 0 at the end of the data.
  int32_t restart_at_intra();
  /// Frame roles back to their open state (blank references).
  void reset_frame_roles();
  /// At the end of the data: makes the last decoded anchor, which display
  /// order holds back until the next anchor, the picture to show. 1 when
  /// there was one not shown yet, else 0.
  int32_t show_last_anchor();

  // --- Results --------------------------------------------------------------
  const SequenceHeader &sequence() const;
  const PictureHeader &picture() const;
  /// Zero sizes until the frame store is allocated. The layout of the
  /// pictures shown and decoded: after a size change sequence() may already
  /// describe the next sequence while the shown picture is still one of the
  /// old, so sizes of shown pictures come from here.
  const FrameGeometry &geometry() const;
  bool frame_store_ready() const;
  /// Pictures of at most 352x288 live in the decoder's fixed buffers.
  bool uses_static_buffers() const;
  /// A picture is ready to show (false until the first anchor's successor
  /// or a B picture was decoded, see shown_planes).
  bool has_shown_picture() const;
  /// The last decoded picture was the first field of a frame; its second
  /// field is the next picture to decode before the frame is complete.
  bool expecting_second_field() const;
  /// The last step (or decode_picture) showed the previous sequence's
  /// held-back anchor; the picture of the new sequence is decoded next.
  bool picture_pending() const;
  /// The picture to show is one already shown: the anchor decoded last
  /// brought round the intra picture a seek showed early. The next picture
  /// decoded is the one to show.
  bool showing_repeat() const;
  /// Field periods the picture to show stays on screen (display_fields of
  /// that picture, which display order may have held back); 2 until one
  /// was decoded.
  int32_t shown_fields() const;
  /// When the picture to show starts on screen, in field periods from the
  /// first picture the stream shows: the lengths of the pictures shown
  /// before it, counted on from the open or a seek in time. -1 after a seek
  /// by position (where in time that lands is not known).
  int64_t shown_time_fields() const;

  // --- Seeking in display time ------------------------------------------------
  /// Where an intra picture lies in display time.
  struct IntraPlace {
    int64_t ordinal = 0;      // intra pictures before it in the stream
    int64_t time_fields = 0;  // when it starts on screen
  };
  /// From the stream's start (the caller has moved the source there and
  /// emptied the reader), reads picture headers only and finds the last
  /// intra picture that starts on screen no later than `fields` (the first
  /// one when none does). Display order is followed through the temporal
  /// references: the B pictures coded right after an intra picture of an
  /// open GOP show before it. Reads one GOP past it. 1, or 0 when the
  /// stream has no intra picture.
  int32_t locate_intra(int64_t fields, IntraPlace *place);
  /// From the stream's start again: passes over intra pictures up to the
  /// one `place` names and decodes from it as a seek does (its GOP's next
  /// anchor too when the GOP is open); the picture to show is that intra
  /// picture, starting at place.time_fields. 1, or 0 at the end.
  int32_t enter_at_intra(const IntraPlace &place);
  /// The picture to show, in display order; valid until the next decode.
  /// The margin beyond the sequence header's size reads black.
  Planes shown_planes() const;
  /// The picture being decoded into (the last decoded one).
  Planes target_planes() const;
  /// RGB scratch of coded width x coded height x 4 bytes for the frame-copy
  /// routines; null until the frame store is allocated.
  uint8_t *rgb_buffer() const;
  /// Grows by one each time a sequence header changes the picture size.
  uint32_t size_changes() const;
  /// I, P and B pictures decoded since the source was set.
  int64_t pictures_decoded() const;

 private:
  std::unique_ptr<DecoderState> state_;
};

}  // namespace kestrum
