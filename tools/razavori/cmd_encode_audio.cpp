// razavori encode-audio: codes a 16-bit PCM WAV file as MPEG audio Layer I
// or II at 44.1 kHz through Sondral, as the converters do.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "components/sondral/sondral.h"
#include "tools/razavori/command.h"
#include "tools/razavori/component_library.h"

namespace razavori_cli {

namespace {

constexpr int32_t kOutputRate = 44100;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// The encoder's exports, taken from its library when the command runs.
struct Sondral {
  ComponentLibrary lib;
  decltype(&SondralSetInputRate) set_input_rate = nullptr;
  decltype(&SondralSetInputBits) set_input_bits = nullptr;
  decltype(&SondralSetChannels) set_channels = nullptr;
  decltype(&SondralSetLayer) set_layer = nullptr;
  decltype(&SondralSetOutputRate) set_output_rate = nullptr;
  decltype(&SondralSetBitRate) set_bit_rate = nullptr;
  decltype(&SondralOpen) open = nullptr;
  decltype(&SondralWrite) write = nullptr;
  decltype(&SondralClose) close = nullptr;

  bool load() {
    return lib.open("encode-audio", "libsondral.so") && lib.take("SondralSetInputRate", set_input_rate) &&
           lib.take("SondralSetInputBits", set_input_bits) && lib.take("SondralSetChannels", set_channels) &&
           lib.take("SondralSetLayer", set_layer) && lib.take("SondralSetOutputRate", set_output_rate) &&
           lib.take("SondralSetBitRate", set_bit_rate) && lib.take("SondralOpen", open) &&
           lib.take("SondralWrite", write) && lib.take("SondralClose", close);
  }
};

void usage() {
  std::fprintf(stderr,
               "usage: razavori encode-audio IN.wav OUT [--layer 1|2] [--bitrate K]\n"
               "  IN.wav        16-bit PCM, mono or stereo, any rate\n"
               "  --layer L     MPEG audio layer (default 2)\n"
               "  --bitrate K   kbit/s (default 224); a rate the layer lacks takes the next one up\n");
}

bool parse_int(const char *s, long lo, long hi, int32_t *out) {
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (errno || !end || *end || v < lo || v > hi) return false;
  *out = int32_t(v);
  return true;
}

uint32_t le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

struct WavFormat {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
  int64_t data_offset = -1;
  int64_t data_size = 0;
};

bool read_exact(int fd, void *buf, size_t n) {
  auto *p = static_cast<uint8_t *>(buf);
  while (n > 0) {
    const ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= size_t(r);
  }
  return true;
}

/// Walks the RIFF chunks for "fmt " and "data"; a data size past the end
/// of the file (a capture that was never finished) is cut to the file.
const char *read_wav_header(int fd, WavFormat &f) {
  uint8_t riff[12];
  if (!read_exact(fd, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) || std::memcmp(riff + 8, "WAVE", 4))
    return "not a WAV file";
  const int64_t file_size = ::lseek(fd, 0, SEEK_END);
  int64_t at = 12;
  bool have_format = false;
  while (at + 8 <= file_size) {
    uint8_t chunk[8];
    if (::lseek(fd, at, SEEK_SET) != at || !read_exact(fd, chunk, 8)) break;
    const int64_t size = le32(chunk + 4);
    if (!std::memcmp(chunk, "fmt ", 4)) {
      uint8_t fmt[16];
      if (size < 16 || !read_exact(fd, fmt, sizeof fmt)) return "damaged format chunk";
      const uint16_t tag = le16(fmt);
      if (tag != kFormatPcm && tag != kFormatExtensible) return "not PCM";
      f.channels = le16(fmt + 2);
      f.rate = int32_t(le32(fmt + 4));
      f.bits = le16(fmt + 14);
      have_format = true;
    } else if (!std::memcmp(chunk, "data", 4)) {
      if (!have_format) return "data before the format chunk";
      f.data_offset = at + 8;
      f.data_size = std::min(size, file_size - f.data_offset);
      return nullptr;
    }
    at += 8 + size + (size & 1);
  }
  return have_format ? "no data chunk" : "no format chunk";
}

}  // namespace

int run_encode_audio(int argc, char **argv) {
  const char *in = nullptr, *out = nullptr;
  int32_t layer = 2, kbps = 224;
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    if (!std::strcmp(a, "--layer") && i + 1 < argc) {
      if (!parse_int(argv[++i], 1, 2, &layer)) {
        usage();
        return 2;
      }
    } else if (!std::strcmp(a, "--bitrate") && i + 1 < argc) {
      if (!parse_int(argv[++i], 1, 100000, &kbps)) {
        usage();
        return 2;
      }
    } else if (a[0] == '-' && a[1]) {
      usage();
      return 2;
    } else if (!in) {
      in = a;
    } else if (!out) {
      out = a;
    } else {
      usage();
      return 2;
    }
  }
  if (!in || !out) {
    usage();
    return 2;
  }
  const int fd = ::open(in, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "razavori encode-audio: cannot open %s: %s\n", in, std::strerror(errno));
    return 2;
  }
  WavFormat f;
  const char *problem = read_wav_header(fd, f);
  if (!problem && f.bits != 16) problem = "not 16-bit PCM";
  if (!problem && f.channels != 1 && f.channels != 2) problem = "not mono or stereo";
  if (problem) {
    std::fprintf(stderr, "razavori encode-audio: %s: %s\n", in, problem);
    ::close(fd);
    return 2;
  }
  Sondral sondral;
  if (!sondral.load()) {
    ::close(fd);
    return 1;
  }
  sondral.set_input_rate(f.rate);
  sondral.set_input_bits(16);
  sondral.set_channels(f.channels);
  sondral.set_layer(layer);
  sondral.set_output_rate(kOutputRate);
  sondral.set_bit_rate(kbps);
  if (!sondral.open(out)) {
    std::fprintf(stderr, "razavori encode-audio: cannot encode %s at %d Hz into %s\n", in, f.rate, out);
    ::close(fd);
    return f.rate < 1000 || f.rate > 192000 ? 2 : 1;
  }
  std::vector<uint8_t> block(64 * 1024);
  ::lseek(fd, f.data_offset, SEEK_SET);
  int64_t left = f.data_size;
  bool ok = true;
  while (left > 0 && ok) {
    const ssize_t r = ::read(fd, block.data(), size_t(std::min<int64_t>(left, int64_t(block.size()))));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    ok = sondral.write(block.data(), int32_t(r)) == 1;
    left -= r;
  }
  ::close(fd);
  if (!sondral.close() || !ok) {
    std::fprintf(stderr, "razavori encode-audio: writing %s failed\n", out);
    return 1;
  }
  return 0;
}

}  // namespace razavori_cli
