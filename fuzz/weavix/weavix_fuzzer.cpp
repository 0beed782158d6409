// Fuzz harness for the multiplexer's framers: the input is recognised as
// Weavix recognises a file, then cut by the video framer and by the audio
// framer to the end, the bytes handed out in pieces whose size the first
// byte chooses. Units must lie inside the input, decoding times must rise
// and no presentation time may come before its decoding time.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "components/weavix/audio_framer.h"
#include "components/weavix/input_file.h"
#include "components/weavix/video_framer.h"

namespace {

/// Hands out at most `piece` bytes per read, as a slow file would.
class PieceSource final : public weavix::ByteSource {
 public:
  PieceSource(const uint8_t *data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
  int64_t read(uint8_t *dst, size_t n) override {
    const size_t take = std::min({n, piece_, size_ - at_});
    for (size_t i = 0; i < take; ++i) dst[i] = data_[at_ + i];
    at_ += take;
    return int64_t(take);
  }

 private:
  const uint8_t *data_;
  size_t size_, piece_, at_ = 0;
};

void check(bool condition) {
  if (!condition) std::abort();
}

void cut_video(const uint8_t *data, size_t size, size_t piece) {
  PieceSource source(data, size, piece);
  weavix::VideoFramer framer(source);
  if (!framer.start(weavix::kRecognitionBytes)) return;
  weavix::VideoUnit unit;
  int64_t last_dts = INT64_MIN;
  uint64_t bytes = 0;
  while (framer.next(unit)) {
    check(unit.size > 0 && unit.dts > last_dts && unit.pts >= unit.dts);
    volatile uint8_t touch = unit.data[0] ^ unit.data[unit.size - 1];
    (void)touch;
    last_dts = unit.dts;
    bytes += unit.size;
  }
  check(bytes <= size);
}

void cut_audio(const uint8_t *data, size_t size, size_t piece) {
  PieceSource source(data, size, piece);
  weavix::AudioFramer framer(source);
  if (!framer.start(weavix::kRecognitionBytes)) return;
  weavix::AudioUnit unit;
  int64_t last_pts = -1;
  uint64_t bytes = 0;
  while (framer.next(unit)) {
    weavix::AudioHeader h;
    check(unit.size > 4 && weavix::parse_audio_header(unit.data, h) && size_t(h.bytes) == unit.size);
    check(unit.pts > last_pts);
    volatile uint8_t touch = unit.data[unit.size - 1];
    (void)touch;
    last_pts = unit.pts;
    bytes += unit.size;
  }
  check(bytes <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > (2u << 20)) return 0;
  const size_t piece = data[0] < 128 ? size_t(data[0]) + 1 : size_t(data[0]) * 512;
  ++data;
  --size;
  weavix::recognise_stream(data, size, true);
  cut_video(data, size, piece);
  cut_audio(data, size, piece);
  return 0;
}
