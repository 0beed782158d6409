// Fuzzes the video decoder with elementary streams served through its pull
// interface. Resizing and reopening are where decoder state can outlive the
// buffers it points into, so the input goes three ways:
//   1. whole, through one decoder: sequence headers of another size or
//      chroma format re-lay its frame store in mid-stream; then a seek in
//      display time (headers read from the start, entered at an intra
//      picture);
//   2. cut after each sequence end code into up to four streams, opened one
//      after the other on that same decoder, every other one driven as the
//      engine's play loops do (find, parse, decode, now and then passing
//      over a picture) rather than by steps;
//   3. the same streams through the engine's decoder port, which replaces
//      its decoder at every reset, as closing and opening files do.
// Each shown picture is read at its last sample, so a plane record that
// outgrows its buffers is caught.
//
// The first byte picks the settings (interpolation variant, inverse DCT,
// monochrome, coefficient limit, SIMD on or off) so every path is reached;
// the rest is the stream, handed out in reads of varying length, each into
// the decoder's own buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "video/decode/decoder.h"
#include "video/engine/ports.h"

namespace {

struct FuzzSource {
  const uint8_t *data;
  size_t size;
  size_t pos;
  uint32_t chunk_seed;

  static int32_t read(void *ctx, void *dst, int32_t len) {
    auto *s = static_cast<FuzzSource *>(ctx);
    // Vary the read length so refills straddle reads differently.
    s->chunk_seed = s->chunk_seed * 1103515245u + 12345u;
    const size_t want = std::min<size_t>(size_t(len), 1 + (s->chunk_seed >> 16) % 20000);
    const size_t n = std::min(want, s->size - s->pos);
    std::memcpy(dst, s->data + s->pos, n);
    s->pos += n;
    return int32_t(n);
  }
  static int32_t seek(void *ctx, int32_t pos, int32_t origin) {
    auto *s = static_cast<FuzzSource *>(ctx);
    const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(s->pos) : int64_t(s->size);
    const int64_t to = base + pos;
    if (to < 0 || to > int64_t(s->size)) return -1;
    s->pos = size_t(to);
    return int32_t(to);
  }
  kestrum::VideoSource source() { return {this, &FuzzSource::read, &FuzzSource::seek, int64_t(size)}; }
};

// Sides up to 2048 let inputs reach the decoder's area bound (1920x1152);
// large pictures get fewer steps so they cost about as much as 400 CIF ones.
constexpr int32_t kMaxFuzzSide = 2048;
constexpr int64_t kPixelBudget = int64_t{400} * 352 * 288;
constexpr int kMaxPictures = 400;
constexpr int kMaxPicturesPerStream = 100;
constexpr size_t kMaxStreams = 4;

// Reads the first and the last sample of every plane.
void touch(const uint8_t *y, const uint8_t *cb, const uint8_t *cr, int32_t y_pitch, int32_t c_pitch,
           int32_t width, int32_t height, int32_t chroma_format) {
  if (!y || width < 1 || height < 1) return;
  const int32_t cw = chroma_format == 3 ? width : (width + 1) / 2;
  const int32_t ch = chroma_format == 1 ? (height + 1) / 2 : height;
  const size_t last_y = size_t(height - 1) * size_t(y_pitch) + size_t(width - 1);
  const size_t last_c = size_t(ch - 1) * size_t(c_pitch) + size_t(cw - 1);
  volatile uint8_t sink = y[0] ^ y[last_y] ^ cb[0] ^ cb[last_c] ^ cr[0] ^ cr[last_c];
  (void)sink;
}

void touch_shown(const kestrum::Decoder &d) {
  if (!d.has_shown_picture()) return;
  const kestrum::Planes p = d.shown_planes();
  const kestrum::FrameGeometry &g = d.geometry();
  touch(p.y, p.cb, p.cr, p.y_stride, p.cb_stride, g.horizontal_size, g.vertical_size, g.chroma_format);
}

kestrum::DecoderSettings settings_for(uint8_t mode) {
  kestrum::DecoderSettings settings;
  settings.mc_variant = kestrum::McVariant(mode % 3);
  settings.idct_variant = (mode & 4) ? kestrum::IdctVariant::kSparse : kestrum::IdctVariant::kAccurate;
  settings.monochrome = (mode & 8) != 0;
  settings.coefficient_limit = (mode & 16) ? (mode >> 5) : 0;
  settings.cpu_mask = (mode & 128) ? 0u : uint32_t(kestrum::kCpuAll);
  settings.max_picture_side = kMaxFuzzSide;
  return settings;
}

struct Piece {
  const uint8_t *data;
  size_t size;
};

// The streams of the input: cut after each sequence end code.
std::vector<Piece> cut_streams(const uint8_t *data, size_t size) {
  std::vector<Piece> pieces;
  size_t begin = 0;
  for (size_t i = 0; i + 4 <= size && pieces.size() + 1 < kMaxStreams; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB7) {
      pieces.push_back({data + begin, i + 4 - begin});
      begin = i + 4;
    }
  }
  if (begin < size) pieces.push_back({data + begin, size - begin});
  return pieces;
}

// 1: the whole input, one decoder, as the harness always did.
void decode_whole(kestrum::Decoder &d, FuzzSource &src) {
  d.set_source(src.source());
  if (!d.find_sequence_header()) return;
  if (!d.allocate_frame_store()) return;
  const kestrum::SequenceHeader &q = d.sequence();
  const int64_t area = std::max<int64_t>(1, int64_t{q.horizontal_size} * q.vertical_size);
  const int64_t pictures = std::clamp<int64_t>(kPixelBudget / area, 4, kMaxPictures);
  d.restart_at_intra();
  touch_shown(d);
  for (int64_t i = 0; i < pictures && d.step_picture(); ++i) touch_shown(d);
  if (d.show_last_anchor()) touch_shown(d);
}

// 1b: a seek in display time on the whole input: the headers read again
// from the start, the stream entered at the intra picture found there.
void seek_in_time(kestrum::Decoder &d, FuzzSource &src, uint8_t mode) {
  if (!d.frame_store_ready()) return;
  kestrum::Decoder::IntraPlace place;
  src.pos = 0;
  d.reset_reader();
  if (!d.locate_intra(int64_t{mode} * 7, &place)) return;
  src.pos = 0;
  d.reset_reader();
  if (!d.enter_at_intra(place)) return;
  touch_shown(d);
  for (int i = 0; i < 8 && d.step_picture(); ++i) touch_shown(d);
}

// 2: one stream opened on a decoder that already decoded others.
void decode_reopened(kestrum::Decoder &d, const Piece &piece, uint8_t mode, bool as_play_loop) {
  FuzzSource src{piece.data, piece.size, 0, mode};
  d.set_source(src.source());
  d.reset_reader();
  if (!d.open_stream()) return;
  touch_shown(d);
  for (int i = 0; i < kMaxPicturesPerStream; ++i) {
    if (!as_play_loop) {
      if (!d.step_picture()) break;
    } else {
      if (!d.find_picture()) break;
      d.parse_picture_header();
      // Late pictures are passed over.
      if (i % 5 == 4) continue;
      d.decode_picture();
    }
    touch_shown(d);
  }
}

// 3: the engine's decoder port over a media port that serves one stream.
FuzzSource g_engine_source{nullptr, 0, 0, 0};

int32_t engine_read(void *dst, int32_t len) { return FuzzSource::read(&g_engine_source, dst, len); }
int32_t engine_seek(int32_t pos, int32_t origin) { return FuzzSource::seek(&g_engine_source, pos, origin); }

const kestrum::MediaPort kEngineMedia = {
    [](const char *, int32_t *) -> int32_t { return 1; },
    [](const char *, uint32_t) -> int32_t { return 3; },
    []() -> int32_t { return 0; },
    engine_seek,
    [](int32_t) -> int32_t { return 0; },
    [](int32_t, intptr_t) -> intptr_t { return 0; },
    engine_read,
    [](int32_t) -> int32_t { return 0; },
};

void decode_through_engine(const std::vector<Piece> &pieces, uint8_t mode) {
  kestrum::set_media_port(&kEngineMedia);
  const kestrum::DecoderPort &port = kestrum::decoder();
  port.set_coefficient_limit((mode & 16) ? (mode >> 5) : 0);
  port.set_variant((mode & 3) == 1 ? 83 : (mode & 3) == 2 ? 85 : 0);
  for (const Piece &piece : pieces) {
    g_engine_source = FuzzSource{piece.data, piece.size, 0, mode};
    port.reset();
    port.start_stream(int32_t(piece.size));
    kestrum::StreamParams params;
    port.params(&params);
    if (params.horizontal_size > kMaxFuzzSide || params.vertical_size > kMaxFuzzSide) continue;
    for (int i = 0; i < kMaxPicturesPerStream; ++i) {
      // The engine's own record of the shown picture. Its sizes and chroma
      // format come from the sequence header, which after a size change is
      // one step ahead of the held-back picture shown: read within the
      // coded size and the smallest chroma planes.
      KestrumPicture pic;
      if (port.current_picture(&pic)) {
        const int32_t w = std::min(pic.width, pic.coded_width), h = std::min(pic.height, pic.coded_height);
        touch(pic.y, pic.cb, pic.cr, pic.y_pitch, pic.c_pitch, w, h, 1);
      }
      port.params(&params);
      if (params.horizontal_size > kMaxFuzzSide || params.vertical_size > kMaxFuzzSide) break;
      if (!port.step_picture()) break;
    }
  }
  port.reset();
  kestrum::set_media_port(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  FuzzSource whole{data + 1, size - 1, 0, mode};
  kestrum::Decoder d;
  d.set_settings(settings_for(mode));
  decode_whole(d, whole);
  seek_in_time(d, whole, mode);

  const std::vector<Piece> pieces = cut_streams(data + 1, size - 1);
  for (size_t i = 0; i < pieces.size(); ++i) decode_reopened(d, pieces[i], mode, i % 2 == 1);
  decode_through_engine(pieces, mode);
  return 0;
}
