// Binds the engine's decoder port to the video decoder. The decoder pulls
// its bytes through the engine's media port, so the engine and its tests
// choose where they come from.
#include <cstring>
#include <memory>

#include "video/decode/decoder.h"
#include "video/engine/ports.h"
#include "video/engine/subpicture_link.h"

namespace kestrum {

namespace {

// One decoder per process, like the engine; replaced at every reset so that
// no value of the previous stream survives. Used under engine_lock only.
std::unique_ptr<Decoder> g_decoder;
DecoderSettings g_settings;
// Set when a step found no further picture (the held-back anchor included).
bool g_drained = false;

Decoder &dec() {
  if (!g_decoder) g_decoder = std::make_unique<Decoder>();
  return *g_decoder;
}

int32_t read_video(void *, void *dst, int32_t len) {
  const int32_t n = media().read_video(dst, len);
  subpicture_note_taken(n);
  return n;
}
int32_t seek_video(void *, int32_t pos, int32_t origin) { return media().seek(pos, origin); }

void fill_params(StreamParams *out) {
  *out = StreamParams{};
  if (!g_decoder) return;
  const SequenceHeader &sh = g_decoder->sequence();
  const PictureHeader &ph = g_decoder->picture();
  const FrameGeometry &g = g_decoder->geometry();
  out->horizontal_size = sh.horizontal_size;
  out->vertical_size = sh.vertical_size;
  out->coded_width = g.coded_width;
  out->coded_height = g.coded_height;
  out->frame_rate_code = sh.frame_rate_code;
  out->bit_rate_value = sh.bit_rate_value;
  out->bit_rate_extension = sh.bit_rate_extension;
  out->is_mpeg2 = sh.is_mpeg2 ? 1 : 0;
  out->chroma_format = sh.chroma_format;
  out->progressive_sequence = sh.progressive_sequence;
  out->frame_rate_extension_n = sh.frame_rate_extension_n;
  out->frame_rate_extension_d = sh.frame_rate_extension_d;
  out->picture_coding_type = ph.picture_coding_type;
  out->picture_structure = ph.picture_structure;
  out->closed_gop = ph.closed_gop ? 1 : 0;
  out->have_sequence = sh.horizontal_size > 0 ? 1 : 0;
  std::memcpy(out->intra_matrix, sh.quantiser_matrix[0], 64);
  std::memcpy(out->non_intra_matrix, sh.quantiser_matrix[1], 64);
  std::memcpy(out->chroma_intra_matrix, sh.quantiser_matrix[2], 64);
  std::memcpy(out->chroma_non_intra_matrix, sh.quantiser_matrix[3], 64);
}

int32_t current(KestrumPicture *out) {
  if (!g_decoder || !g_decoder->frame_store_ready() || !g_decoder->has_shown_picture()) return 0;
  const Planes p = g_decoder->shown_planes();
  // The planes' own layout: right after a change of size the shown picture
  // is still the old sequence's held-back anchor.
  const FrameGeometry &g = g_decoder->geometry();
  *out = KestrumPicture{};
  out->y = p.y;
  out->cb = p.cb;
  out->cr = p.cr;
  out->y_pitch = p.y_stride;
  out->c_pitch = p.cb_stride;
  out->width = g.horizontal_size;
  out->height = g.vertical_size;
  out->coded_width = g.coded_width;
  out->coded_height = g.coded_height;
  out->chroma_format = g.chroma_format;
  out->picture_type = g_decoder->picture().picture_coding_type;
  out->fields = g_decoder->shown_fields();
  return p.y ? 1 : 0;
}

const DecoderPort kDecoderPort = {
    []() {
      g_decoder = std::make_unique<Decoder>();
      g_decoder->set_settings(g_settings);
      g_drained = false;
    },
    []() {
      // The media layer emptied its rings at the seek: drop what the reader
      // still holds, then continue at the next intra picture.
      Decoder &d = dec();
      d.reset_reader();
      g_drained = false;
      if (d.frame_store_ready()) d.restart_at_intra();
    },
    [](int32_t total_length) -> int32_t {
      Decoder &d = dec();
      d.set_settings(g_settings);
      d.set_source({nullptr, read_video, seek_video, total_length});
      return d.open_stream();
    },
    []() -> int32_t {
      Decoder &d = dec();
      if (!d.frame_store_ready()) return 0;
      if (d.step_picture()) return 1;
      // Display order holds the last anchor back: show it at the end.
      if (d.show_last_anchor()) return 1;
      g_drained = true;
      return 0;
    },
    fill_params,
    current,
    // Drained: the reader met the end and no picture is left to show.
    []() -> int32_t { return !g_decoder || (g_decoder->end_of_data() && g_drained) ? 1 : 0; },
    [](int32_t n) {
      g_settings.coefficient_limit = n & 0x3F;
      if (g_decoder) g_decoder->set_settings(g_settings);
    },
    [](int32_t variant) {
      g_settings.mc_variant = variant == 83   ? McVariant::kThreeNeighbour
                              : variant == 85 ? McVariant::kPairwise
                                              : McVariant::kExact;
      g_settings.idct_variant = variant == 85 ? IdctVariant::kSparse : IdctVariant::kAccurate;
      if (g_decoder) g_decoder->set_settings(g_settings);
    },
};

}  // namespace

const DecoderPort *production_decoder_port() { return &kDecoderPort; }

// The play loops look at pictures one header at a time to skip them.
Decoder *engine_decoder() { return g_decoder.get(); }

}  // namespace kestrum
