// The AVI reader on arbitrary bytes: open, every format and sample read,
// key searches, a few decoded pictures and the audio converters.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/avi/audio_codec.h"
#include "platform/avi/avi_reader.h"
#include "platform/avi/decompressor.h"

namespace avi = platform::avi;

namespace {

constexpr int64_t kMaxReads = 4096;
constexpr int64_t kMaxFrames = 8;

void exercise(const avi::Stream *s) {
  std::vector<uint8_t> format(size_t(avi::read_format(s, nullptr, 0)));
  avi::read_format(s, format.data(), int32_t(format.size()));
  std::vector<uint8_t> buf(65536);
  int64_t reads = 0;
  for (int64_t n = avi::stream_start(s); n < avi::stream_end(s) && reads < kMaxReads; ++reads) {
    int32_t bytes = 0, samples = 0;
    if (avi::read(s, n, avi::kReadConvenient, buf.data(), int32_t(buf.size()), &bytes, &samples) != 0 ||
        samples <= 0)
      ++n;
    else
      n += samples;
  }
  avi::find_sample(s, avi::stream_end(s) / 2, avi::kFindPrev | avi::kFindKey);
  avi::find_sample(s, avi::stream_end(s) / 2, avi::kFindNext | avi::kFindKey);
  avi::sample_to_time(s, avi::stream_end(s));
  if (avi::stream_header(s).type == avi::kTypeVideo) {
    if (avi::FrameReader *r = avi::frame_reader_open(s, nullptr)) {
      std::vector<uint8_t> dib;
      for (int64_t n = avi::stream_start(s); n < avi::stream_end(s) && n < kMaxFrames; ++n)
        avi::frame_dib(r, n, dib);
      avi::frame_reader_close(r);
    }
  } else if (avi::stream_header(s).type == avi::kTypeAudio) {
    if (avi::AudioConverter *c = avi::audio_converter_open(format.data(), int32_t(format.size()), nullptr)) {
      std::vector<int16_t> pcm(16384);
      for (int64_t n = avi::stream_start(s), i = 0; n < avi::stream_end(s) && i < kMaxFrames; ++i) {
        int32_t bytes = 0, samples = 0, used = 0, produced = 0;
        if (avi::read(s, n, avi::kReadConvenient, buf.data(), int32_t(buf.size()), &bytes, &samples) != 0)
          break;
        avi::audio_converter_convert(c, buf.data(), bytes, pcm.data(), int32_t(pcm.size()), &used, &produced);
        n += std::max(samples, 1);
      }
      avi::audio_converter_close(c);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int fd = memfd_create("avi", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) != ssize_t(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (avi::File *f = avi::open(path.c_str())) {
    for (int32_t i = 0; i < avi::stream_count(f); ++i) exercise(avi::stream(f, i));
    avi::release(f);
  }
  close(fd);
  return 0;
}
