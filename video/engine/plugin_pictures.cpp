#include "video/engine/plugin_pictures.h"

#include <cstring>
#include <memory>

#include "video/decode/decoder.h"
#include "video/engine/play/loop_ports.h"
#include "video/engine/ports.h"

namespace kestrum {

void set_plugin_decoder_port(const DecoderPort *port);

namespace {

// Until two pictures give their spacing: 25 pictures a second.
constexpr int32_t kDefaultRateCode = 3;

struct PluginPictures {
  SourcePlugin *plugin = nullptr;
  // The current picture, copied into planes of the coded size (multiples
  // of 16) so that every consumer may read whole macroblocks.
  std::unique_ptr<uint8_t[]> planes;
  int32_t width = 0, height = 0, coded_w = 0, coded_h = 0;
  int32_t last_time = -1;
  int32_t rate_code = kDefaultRateCode;
  bool have = false;
  bool ended = false;
};

PluginPictures g;

bool fetch() {
  const SourcePluginTable *t = g.plugin ? g.plugin->table : nullptr;
  if (!t || !t->next_picture) return false;
  DravikPluginPicture pic = {};
  if (!t->next_picture(g.plugin, &pic) || pic.width <= 0 || pic.height <= 0 || !pic.planes[0] ||
      !pic.planes[1] || !pic.planes[2]) {
    g.ended = true;
    return false;
  }
  if (pic.width != g.width || pic.height != g.height) {
    g.width = pic.width;
    g.height = pic.height;
    g.coded_w = (pic.width + 15) & ~15;
    g.coded_h = (pic.height + 15) & ~15;
    g.planes.reset(new uint8_t[static_cast<size_t>(g.coded_w) * g.coded_h * 3 / 2]());
  }
  uint8_t *dst[3] = {g.planes.get(), g.planes.get() + g.coded_w * g.coded_h,
                     g.planes.get() + g.coded_w * g.coded_h * 5 / 4};
  for (int p = 0; p < 3; ++p) {
    const int32_t w = p ? (g.width + 1) / 2 : g.width;
    const int32_t h = p ? (g.height + 1) / 2 : g.height;
    const int32_t pitch = p ? g.coded_w / 2 : g.coded_w;
    for (int32_t y = 0; y < h; ++y)
      std::memcpy(dst[p] + y * pitch, pic.planes[p] + static_cast<intptr_t>(y) * pic.pitches[p], w);
  }
  if (g.last_time >= 0 && pic.time_ms > g.last_time) {
    g.rate_code = nearest_frame_rate_code(int64_t{pic.time_ms - g.last_time} * 1000);
  }
  g.last_time = pic.time_ms;
  g.have = true;
  g.ended = false;
  return true;
}

void reset() {
  g.have = false;
  g.ended = false;
  g.last_time = -1;
}

// After a seek the plug-in stands at the new place: its next picture is the
// one to show.
void restart() {
  g.last_time = -1;
  fetch();
}

int32_t start_stream(int32_t) { return fetch() ? 1 : 0; }
int32_t step_picture() { return fetch() ? 1 : 0; }

void params(StreamParams *out) {
  *out = StreamParams{};
  out->horizontal_size = g.width;
  out->vertical_size = g.height;
  out->coded_width = g.coded_w;
  out->coded_height = g.coded_h;
  out->frame_rate_code = g.rate_code;
  out->have_sequence = g.have ? 1 : 0;
}

int32_t current_picture(KestrumPicture *out) {
  if (!g.have) return 0;
  *out = KestrumPicture{};
  out->y = g.planes.get();
  out->cb = g.planes.get() + g.coded_w * g.coded_h;
  out->cr = g.planes.get() + g.coded_w * g.coded_h * 5 / 4;
  out->y_pitch = g.coded_w;
  out->c_pitch = g.coded_w / 2;
  out->width = g.width;
  out->height = g.height;
  out->coded_width = g.coded_w;
  out->coded_height = g.coded_h;
  out->chroma_format = 1;
  out->picture_type = 1;
  out->fields = 2;
  return 1;
}

int32_t end_of_data() { return g.ended ? 1 : 0; }
void no_setting(int32_t) {}

const DecoderPort kPluginPort = {reset,           restart,     start_stream, step_picture, params,
                                 current_picture, end_of_data, no_setting,   no_setting};

// The playing loop takes the plug-in's next picture as an intra picture
// that needs no decoding; the ring levels are the fixed ones the media
// layer reports for plug-in sources.
int32_t video_fill() { return SysVideoAvail(nullptr); }
int32_t audio_fill() { return SysAudioAvail(nullptr); }
int32_t parse_next() { return fetch() ? 1 : 0; }
void decode_parsed() {}
int32_t nothing() { return 0; }

const play::LoopPort kPluginLoop = {video_fill, audio_fill, parse_next, decode_parsed,
                                    nothing,    nothing,    nothing};

}  // namespace

void use_plugin_pictures(SourcePlugin *plugin) {
  g = PluginPictures{};
  g.plugin = plugin;
  set_plugin_decoder_port(plugin ? &kPluginPort : nullptr);
  play::set_loop_port(plugin ? &kPluginLoop : nullptr);
}

}  // namespace kestrum
