// Speed of the video decoder beside ffmpeg and mpeg2dec on the same files,
// as pictures per second of CPU time.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "video/decode/decoder.h"

namespace {

struct BenchStream {
  const char *name;
  const char *make;  // ffmpeg arguments that write it (output appended)
};

const BenchStream kStreams[] = {
    {"bench_mpeg2_720x576.m2v",
     "-f lavfi -i testsrc2=size=720x576:rate=25 -t 60 -c:v mpeg2video -b:v 6M -maxrate 8M "
     "-bufsize 1835k -g 12 -bf 2 -f mpeg2video"},
    {"bench_mpeg1_352x288.m1v",
     "-f lavfi -i testsrc2=size=352x288:rate=25 -t 120 -c:v mpeg1video -b:v 1150k -g 12 -bf 2 "
     "-f mpeg1video"},
};

// CPU time (user + system) rather than wall time: the machine may be busy
// with other work, which stretches wall time but not the work done.
double cpu_seconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}
double now_seconds() { return cpu_seconds(RUSAGE_SELF); }

struct Memory {
  const std::vector<uint8_t> *bytes;
  size_t pos;
  static int32_t read(void *ctx, void *dst, int32_t len) {
    auto *m = static_cast<Memory *>(ctx);
    const size_t n = std::min(size_t(len), m->bytes->size() - m->pos);
    std::memcpy(dst, m->bytes->data() + m->pos, n);
    m->pos += n;
    return int32_t(n);
  }
};

// Decodes the whole stream; returns pictures decoded.
int64_t decode_all(const std::vector<uint8_t> &bytes, const kestrum::DecoderSettings &settings) {
  Memory m{&bytes, 0};
  kestrum::Decoder d;
  d.set_settings(settings);
  d.set_source({&m, &Memory::read, nullptr, int64_t(bytes.size())});
  if (!d.open_stream()) return 0;
  while (d.step_picture()) {
  }
  return d.pictures_decoded();
}

// FNV-1a over bytes, folded into h.
uint64_t fnv1a(uint64_t h, const uint8_t *p, size_t n) {
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
  return h;
}

// A hash of every picture the decoder shows for the stream: a quick check
// that a faster decoder still produces the same bytes.
uint64_t checksum_all(const std::vector<uint8_t> &bytes, const kestrum::DecoderSettings &settings,
                      int64_t &pictures) {
  Memory m{&bytes, 0};
  kestrum::Decoder d;
  d.set_settings(settings);
  d.set_source({&m, &Memory::read, nullptr, int64_t(bytes.size())});
  uint64_t h = 0xcbf29ce484222325ull;
  pictures = 0;
  if (!d.open_stream()) return h;
  while (d.step_picture()) {
    if (!d.has_shown_picture()) continue;
    const kestrum::Planes p = d.shown_planes();
    const kestrum::FrameGeometry &g = d.geometry();
    for (int y = 0; y < g.coded_height; ++y)
      h = fnv1a(h, p.y + ptrdiff_t(y) * p.y_stride, size_t(g.coded_width));
    for (int y = 0; y < g.chroma_height; ++y) {
      h = fnv1a(h, p.cb + ptrdiff_t(y) * p.cb_stride, size_t(g.chroma_width));
      h = fnv1a(h, p.cr + ptrdiff_t(y) * p.cr_stride, size_t(g.chroma_width));
    }
    ++pictures;
  }
  return h;
}

// CPU time of a finished child command.
double time_command(const std::string &cmd) {
  const double t0 = cpu_seconds(RUSAGE_CHILDREN);
  const int rc = std::system(cmd.c_str());
  const double t = cpu_seconds(RUSAGE_CHILDREN) - t0;
  return rc == 0 ? t : -1;
}

}  // namespace

int main(int argc, char **argv) {
  std::string dir = RAZAVORI_BENCH_MEDIA_DEFAULT;
  kestrum::DecoderSettings settings;
  int repeat = 3;
  bool only_ours = false;
  std::vector<std::string> checksum_files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--media" && i + 1 < argc) {
      dir = argv[++i];
    } else if (a == "--cpu-mask" && i + 1 < argc) {
      settings.cpu_mask = uint32_t(std::strtoul(argv[++i], nullptr, 0));
    } else if (a == "--variant" && i + 1 < argc) {
      const std::string v = argv[++i];
      if (v == "83") settings.mc_variant = kestrum::McVariant::kThreeNeighbour;
      if (v == "85") {
        settings.mc_variant = kestrum::McVariant::kPairwise;
        settings.idct_variant = kestrum::IdctVariant::kSparse;
      }
    } else if (a == "--only-ours") {
      only_ours = true;  // for profiling
    } else if (a == "--checksum") {
      while (i + 1 < argc && argv[i + 1][0] != '-') checksum_files.push_back(argv[++i]);
    } else if (a == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr,
                   "usage: %s [--media DIR] [--cpu-mask N] [--variant 83|85] [--repeat N] [--only-ours] "
                   "[--checksum FILE...]\n",
                   argv[0]);
      return 2;
    }
  }
  if (!checksum_files.empty()) {
    for (const std::string &path : checksum_files) {
      std::ifstream f(path, std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      int64_t pictures = 0;
      const uint64_t h = checksum_all(bytes, settings, pictures);
      std::printf("%016llx %6lld %s\n", (unsigned long long)h, (long long)pictures, path.c_str());
    }
    return 0;
  }
  std::filesystem::create_directories(dir);
  const bool have_mpeg2dec = std::system("command -v mpeg2dec >/dev/null 2>&1") == 0;
  std::printf("%-26s %8s %12s %12s %12s %9s %9s\n", "stream", "pictures", "ours pic/s", "ffmpeg pic/s",
              "mpeg2dec", "vs ffmpeg", "vs m2dec");
  for (const BenchStream &s : kStreams) {
    const std::string path = dir + "/" + s.name;
    if (!std::filesystem::exists(path)) {
      std::fprintf(stderr, "making %s ...\n", path.c_str());
      const std::string cmd =
          std::string("ffmpeg -nostdin -hide_banner -loglevel error -y ") + s.make + " '" + path + "'";
      if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "cannot make %s\n", path.c_str());
        return 1;
      }
    }
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // Best of N for each decoder, all in this run.
    double ours = 1e30, ff = 1e30, m2 = 1e30;
    int64_t pictures = 0;
    for (int r = 0; r < repeat; ++r) {
      const double t0 = now_seconds();
      pictures = decode_all(bytes, settings);
      ours = std::min(ours, now_seconds() - t0);
      if (only_ours) continue;
      const double tf = time_command("ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -i '" + path +
                                     "' -an -f null -");
      if (tf > 0) ff = std::min(ff, tf);
      if (have_mpeg2dec) {
        const double tm = time_command("mpeg2dec -o null '" + path + "' >/dev/null 2>&1");
        if (tm > 0) m2 = std::min(m2, tm);
      }
    }
    const double ours_rate = double(pictures) / ours;
    const double ff_rate = ff < 1e29 ? double(pictures) / ff : 0;
    const double m2_rate = m2 < 1e29 ? double(pictures) / m2 : 0;
    std::printf("%-26s %8lld %12.0f %12.0f %12.0f %9.2f %9.2f\n", s.name, (long long)pictures, ours_rate,
                ff_rate, m2_rate, ff_rate ? ours_rate / ff_rate : 0, m2_rate ? ours_rate / m2_rate : 0);
  }
  return 0;
}
