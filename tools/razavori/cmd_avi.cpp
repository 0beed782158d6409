// razavori info FILE.avi [--index]: the AVI's main and stream headers, each
// stream's format, key-frame count and where its index came from; with
// --index every index entry. razavori frame FILE.avi MS OUT.bmp: the
// picture shown at MS milliseconds as a 24-bit BMP file (with --at, a list
// of seeks: cmd_avi_times.cpp).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/avi/avi_reader.h"
#include "platform/avi/decompressor.h"
#include "tools/razavori/avi_info.h"

namespace razavori_cli {

namespace {

namespace avi = platform::avi;

struct FileCloser {
  avi::File *f;
  ~FileCloser() { avi::release(f); }
};

std::string fourcc_text(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = char((v >> (8 * i)) & 0xFF);
    s += (c >= 0x20 && c < 0x7F) ? c : '.';
  }
  return s;
}

uint32_t get32(const std::vector<uint8_t> &f, size_t at) {
  return at + 4 <= f.size() ? uint32_t(f[at]) | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t(f[at + 3]) << 24
                            : 0;
}
uint32_t get16(const std::vector<uint8_t> &f, size_t at) {
  return at + 2 <= f.size() ? f[at] | f[at + 1] << 8 : 0;
}

void print_format(const avi::Stream *s) {
  std::vector<uint8_t> f(size_t(avi::read_format(s, nullptr, 0)));
  avi::read_format(s, f.data(), int32_t(f.size()));
  if (avi::stream_header(s).type == avi::kTypeVideo) {
    uint32_t c = get32(f, 16);
    std::printf("  format: %dx%d, %u bits, compression %s\n", int32_t(get32(f, 4)), int32_t(get32(f, 8)),
                get16(f, 14), c < 4 ? std::to_string(c).c_str() : fourcc_text(c).c_str());
  } else {
    std::printf("  format: tag 0x%04X, %u channels, %u Hz, %u bytes/s, block align %u, %u bits\n",
                get16(f, 0), get16(f, 2), get32(f, 4), get32(f, 8), get16(f, 12), get16(f, 14));
  }
}

bool write_bmp(const std::string &out, const std::vector<uint8_t> &dib) {
  const std::string part = out + ".part";
  FILE *fp = std::fopen(part.c_str(), "wb");
  if (!fp) return false;
  uint8_t head[14] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) head[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, uint32_t(14 + dib.size()));
  put32(10, 14 + 40);
  bool ok = std::fwrite(head, 1, 14, fp) == 14 && std::fwrite(dib.data(), 1, dib.size(), fp) == dib.size();
  ok = (std::fclose(fp) == 0) && ok;
  if (!ok || std::rename(part.c_str(), out.c_str()) != 0) {
    std::remove(part.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool is_avi_path(const char *path) {
  size_t n = std::strlen(path);
  return n >= 4 && strcasecmp(path + n - 4, ".avi") == 0;
}

int run_avi_info(const char *path, bool index) {
  FileCloser f{avi::open(path)};
  if (!f.f) {
    std::fprintf(stderr, "razavori info: %s is not a readable AVI file\n", path);
    return 1;
  }
  const avi::FileInfo &info = avi::file_info(f.f);
  const avi::MainHeader &m = info.main;
  std::printf("file: %s, %lld bytes, %d RIFF part%s\n", path, static_cast<long long>(info.file_size),
              info.riffs, info.riffs == 1 ? "" : "s");
  std::printf("index: %s%s\n", avi::index_source_name(info.index_source),
              info.index_completed ? ", completed from the chunks" : "");
  std::printf(
      "main header: %u us/frame, %u bytes/s max, flags 0x%X, %u frames, %u initial, %u streams, "
      "buffer %u, %ux%u\n",
      m.micro_sec_per_frame, m.max_bytes_per_sec, m.flags, m.total_frames, m.initial_frames, m.streams,
      m.suggested_buffer_size, m.width, m.height);
  for (int32_t i = 0; i < avi::stream_count(f.f); ++i) {
    const avi::Stream *s = avi::stream(f.f, i);
    const avi::StreamHeader &h = avi::stream_header(s);
    std::printf(
        "stream %d: %s handler %s flags 0x%X priority %u language %u initial %u scale %u rate %u start %u "
        "length %u buffer %u quality %d sample size %u frame %d,%d,%d,%d%s%s\n",
        avi::stream_number(s), fourcc_text(h.type).c_str(), fourcc_text(h.handler).c_str(), h.flags,
        h.priority, h.language, h.initial_frames, h.scale, h.rate, h.start, h.length, h.suggested_buffer_size,
        int32_t(h.quality), h.sample_size, h.frame[0], h.frame[1], h.frame[2], h.frame[3],
        *avi::stream_name(s) ? " name " : "", avi::stream_name(s));
    print_format(s);
    std::printf("  chunks %zu, key frames %lld, %lld ms\n", avi::stream_index(s).size(),
                static_cast<long long>(avi::key_count(s)),
                static_cast<long long>(avi::sample_to_time(s, avi::stream_end(s))));
  }
  if (index) {
    for (int32_t i = 0; i < avi::stream_count(f.f); ++i) {
      const avi::Stream *s = avi::stream(f.f, i);
      size_t n = 0;
      for (const avi::IndexEntry &e : avi::stream_index(s))
        std::printf("%d %zu %lld %u %c\n", avi::stream_number(s), n++, static_cast<long long>(e.offset),
                    e.size, e.key ? 'K' : '-');
    }
  }
  return 0;
}

int run_frame(int argc, char **argv) {
  if (argc == 4 && std::strcmp(argv[2], "--at") == 0) return run_frame_times(argv[1], argv[3]);
  if (argc != 4) {
    std::fprintf(stderr, "usage: razavori frame FILE.avi MS OUT.bmp | FILE.avi --at MS[,MS...]|@LIST\n");
    return 2;
  }
  char *end = nullptr;
  long long ms = std::strtoll(argv[2], &end, 10);
  if (!end || *end || ms < 0) {
    std::fprintf(stderr, "razavori frame: \"%s\" is not a time in milliseconds\n", argv[2]);
    return 2;
  }
  FileCloser f{avi::open(argv[1])};
  if (!f.f) {
    std::fprintf(stderr, "razavori frame: %s is not a readable AVI file\n", argv[1]);
    return 1;
  }
  const avi::Stream *video = nullptr;
  for (int32_t i = 0; i < avi::stream_count(f.f) && !video; ++i)
    if (avi::stream_header(avi::stream(f.f, i)).type == avi::kTypeVideo) video = avi::stream(f.f, i);
  if (!video || avi::stream_end(video) <= avi::stream_start(video)) {
    std::fprintf(stderr, "razavori frame: %s has no video\n", argv[1]);
    return 1;
  }
  std::string why;
  avi::FrameReader *r = avi::frame_reader_open(video, &why);
  if (!r) {
    std::fprintf(stderr, "razavori frame: %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  int64_t n = avi::time_to_sample(video, ms);
  n = std::max(avi::stream_start(video), std::min(n, avi::stream_end(video) - 1));
  std::vector<uint8_t> dib;
  bool ok = avi::frame_dib(r, n, dib);
  avi::frame_reader_close(r);
  if (!ok) {
    std::fprintf(stderr, "razavori frame: frame %lld could not be decoded\n", static_cast<long long>(n));
    return 1;
  }
  if (!write_bmp(argv[3], dib)) {
    std::fprintf(stderr, "razavori frame: cannot write %s\n", argv[3]);
    return 1;
  }
  std::printf("frame %lld at %lld ms -> %s\n", static_cast<long long>(n),
              static_cast<long long>(avi::sample_to_time(video, n)), argv[3]);
  return 0;
}

}  // namespace razavori_cli
