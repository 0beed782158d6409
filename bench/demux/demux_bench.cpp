// demux_bench [FILE]: time to pull every video and audio byte of a DVD-style
// VOB through SysReadVideo and SysReadAudio (two threads, as the engines
// pull), beside "ffmpeg -i FILE -map 0 -c copy -f null -" on the same file
// in the same run; prints both times and their ratio. Without FILE a ~40 MB
// VOB (MPEG-2 video, MPEG audio) is made with ffmpeg in the build tree.
// demux_bench --table [FILE]: the pull through host file tables beside the
// direct one (table_bench.h).
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/demux/table_bench.h"
#include "media/media_api.h"

namespace {

double now() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

std::string make_vob() {
  const std::string dir = DEMUX_BENCH_DIR;
  const std::string path = dir + "/bench_40mb.vob";
  if (exists(path)) return path;
  std::system(("mkdir -p '" + dir + "'").c_str());
  const std::string cmd =
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25:duration=40,noise=alls=40:allf=t "
      "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=40 "
      "-c:v mpeg2video -b:v 8M -minrate 8M -maxrate 8M -bufsize 1835k -c:a mp2 -b:a 192k -f vob '" +
      path + "'";
  std::printf("making %s ...\n", path.c_str());
  if (std::system(cmd.c_str()) != 0) return "";
  return path;
}

struct Pulled {
  long long video = 0;
  long long audio = 0;
};

Pulled pull_all(const std::string &path) {
  Pulled p;
  int32_t length = 0;
  SysProbe(path.c_str(), &length);
  if (SysOpen(path.c_str(), 0) == -1) return p;
  std::thread video([&] {
    std::vector<char> buf(16384);
    for (;;) {
      const int32_t n = SysReadVideo(buf.data(), 16384);
      if (n <= 0) break;
      p.video += n;
      if (n < 16384) break;
    }
  });
  std::vector<char> buf(4096);
  for (;;) {
    const int32_t n = SysReadAudio(buf.data(), 4096);
    if (n <= 0) break;
    p.audio += n;
    if (n < 4096) break;
  }
  video.join();
  SysClose();
  return p;
}

}  // namespace

long long demux_bench::pull_all_bytes(const std::string &path) {
  const Pulled p = pull_all(path);
  return p.video + p.audio;
}

int main(int argc, char **argv) {
  const bool table = argc > 1 && std::strcmp(argv[1], "--table") == 0;
  if (table) --argc, ++argv;
  const std::string path = argc > 1 ? argv[1] : make_vob();
  if (path.empty() || !exists(path)) {
    std::fprintf(stderr, "demux_bench: no input (is ffmpeg installed?)\n");
    return 1;
  }
  // Warm the page cache so that both sides read from memory.
  pull_all(path);
  if (table) return demux_bench::run_table_bench(path);
  const std::string ffmpeg =
      "ffmpeg -nostdin -v error -i '" + path + "' -map 0 -c copy -f null - >/dev/null 2>&1";
  std::system(ffmpeg.c_str());

  double ours = 1e9, theirs = 1e9;
  Pulled got;
  for (int run = 0; run < 3; ++run) {
    double t0 = now();
    got = pull_all(path);
    ours = std::min(ours, now() - t0);
    t0 = now();
    if (std::system(ffmpeg.c_str()) != 0) {
      std::fprintf(stderr, "demux_bench: ffmpeg failed\n");
      return 1;
    }
    theirs = std::min(theirs, now() - t0);
  }
  struct stat st;
  stat(path.c_str(), &st);
  std::printf("file: %s (%.1f MB)\n", path.c_str(), st.st_size / 1e6);
  std::printf("dravik: %.3f s (video %lld bytes, audio %lld bytes)\n", ours, got.video, got.audio);
  std::printf("ffmpeg -c copy: %.3f s\n", theirs);
  std::printf("ratio ffmpeg/dravik: %.2f (above 1: faster than ffmpeg)\n", theirs / ours);
  return 0;
}
