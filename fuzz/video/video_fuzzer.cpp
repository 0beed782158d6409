// Fuzzes the video decoder with an elementary stream served through its
// pull interface: find the sequence header, lay out the frame store (size
// capped), start at an I picture and step every picture to the end; then
// seek in display time (headers read from the start, entered at an intra
// picture) and step a few more.
//
// The first byte picks the settings (interpolation variant, inverse DCT,
// monochrome, coefficient limit, SIMD on or off) so every path is reached;
// the rest is the stream, handed out in reads of varying length, each into
// the decoder's own buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "video/decode/decoder.h"

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
};

// Larger pictures only cost time here; the decoder itself accepts 4096.
constexpr int32_t kMaxFuzzSide = 1024;
constexpr int kMaxPictures = 400;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  FuzzSource src{data + 1, size - 1, 0, mode};
  kestrum::DecoderSettings settings;
  settings.mc_variant = kestrum::McVariant(mode % 3);
  settings.idct_variant = (mode & 4) ? kestrum::IdctVariant::kSparse : kestrum::IdctVariant::kAccurate;
  settings.monochrome = (mode & 8) != 0;
  settings.coefficient_limit = (mode & 16) ? (mode >> 5) : 0;
  settings.cpu_mask = (mode & 128) ? 0u : uint32_t(kestrum::kCpuAll);

  kestrum::Decoder d;
  d.set_settings(settings);
  d.set_source({&src, &FuzzSource::read, &FuzzSource::seek, int64_t(src.size)});
  if (!d.find_sequence_header()) return 0;
  const kestrum::SequenceHeader &q = d.sequence();
  if (q.horizontal_size > kMaxFuzzSide || q.vertical_size > kMaxFuzzSide) return 0;
  if (!d.allocate_frame_store()) return 0;
  d.restart_at_intra();
  for (int i = 0; i < kMaxPictures && d.step_picture(); ++i) {
    if (d.has_shown_picture()) {
      const kestrum::Planes p = d.shown_planes();
      // Touch the corners of the shown planes.
      volatile uint8_t sink = p.y[0] ^ p.cb[0] ^ p.cr[0];
      (void)sink;
    }
  }
  d.show_last_anchor();

  // A seek in display time: the headers read again from the start, the
  // stream entered at the intra picture found, a few pictures on.
  kestrum::Decoder::IntraPlace place;
  src.pos = 0;
  d.reset_reader();
  if (!d.locate_intra(int64_t{mode} * 7, &place)) return 0;
  src.pos = 0;
  d.reset_reader();
  if (!d.enter_at_intra(place)) return 0;
  for (int i = 0; i < 8 && d.step_picture(); ++i) {
  }
  return 0;
}
