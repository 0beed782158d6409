// disc_bench: whole-process times, alternated runs, medians and ratios.
//   1. razavori demux V:/MPEGAV/AVSEQ01.DAT (video and audio) on a mapped
//      108 MB Video CD image, beside vcdxrip of the same image followed by
//      "ffmpeg -c copy -f null" of the ripped track.
//   2. razavori demux W:/VIDEO_TS/VTS_01_X.VOB (the joined parts) on a
//      99 MB DVD ISO, beside "ffmpeg -i concat:parts -c copy -f null".
// The images are made once in the build tree (ffmpeg, vcdimager,
// dvdauthor, genisoimage). Ratios above 1 mean razavori is faster.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kDir = DISC_BENCH_DIR;
constexpr int kRuns = 5;

double now() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

bool sh(const std::string &cmd) { return std::system(cmd.c_str()) == 0; }

bool make_media() {
  if (exists(kDir + "/big.cue") && exists(kDir + "/dvd99.iso")) return true;
  std::printf("making the bench images in %s ...\n", kDir.c_str());
  const std::string q = "'" + kDir + "'";
  return sh("mkdir -p " + q) &&
         sh("cd " + q +
            " && ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=352x288:rate=25:duration=6 -f lavfi "
            "-i "
            "sine=duration=6:sample_rate=44100 -target pal-vcd a.mpg"
            " && ffmpeg -nostdin -v error -y -stream_loop 99 -i a.mpg -c copy -f vcd big.mpg"
            " && vcdimager -q -t vcd2 -c big.cue -b big.bin big.mpg") &&
         sh("cd " + q +
            " && ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=8 -f lavfi "
            "-i "
            "sine=duration=8:sample_rate=48000 -target pal-dvd d.mpg"
            " && ffmpeg -nostdin -v error -y -stream_loop 14 -i d.mpg -c copy -f dvd d99.mpg"
            " && rm -rf dvd root && VIDEO_FORMAT=PAL dvdauthor -o dvd -t d99.mpg >/dev/null 2>&1"
            " && VIDEO_FORMAT=PAL dvdauthor -o dvd -T >/dev/null 2>&1"
            " && mkdir -p root/VIDEO_TS && cp dvd/VIDEO_TS/*.IFO dvd/VIDEO_TS/*.BUP root/VIDEO_TS/"
            " && n=$(( $(stat -c %s dvd/VIDEO_TS/VTS_01_1.VOB) / 2048 / 3 ))"
            " && dd if=dvd/VIDEO_TS/VTS_01_1.VOB of=root/VIDEO_TS/VTS_01_1.VOB bs=2048 count=$n status=none"
            " && dd if=dvd/VIDEO_TS/VTS_01_1.VOB of=root/VIDEO_TS/VTS_01_2.VOB bs=2048 skip=$n count=$n "
            "status=none"
            " && dd if=dvd/VIDEO_TS/VTS_01_1.VOB of=root/VIDEO_TS/VTS_01_3.VOB bs=2048 skip=$((2 * n)) "
            "status=none"
            " && genisoimage -quiet -dvd-video -o dvd99.iso root && rm -rf dvd d.mpg d99.mpg");
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Alternated runs of both commands; -> medians.
std::pair<double, double> race(const std::string &ours, const std::string &peer) {
  std::vector<double> a, b;
  sh(ours + " >/dev/null 2>&1");  // warm the page cache
  sh(peer + " >/dev/null 2>&1");
  for (int i = 0; i < kRuns; ++i) {
    double t = now();
    if (!sh(ours + " >/dev/null 2>&1")) std::fprintf(stderr, "disc_bench: failed: %s\n", ours.c_str());
    a.push_back(now() - t);
    t = now();
    if (!sh(peer + " >/dev/null 2>&1")) std::fprintf(stderr, "disc_bench: failed: %s\n", peer.c_str());
    b.push_back(now() - t);
  }
  return {median(a), median(b)};
}

}  // namespace

int main(int, char **argv) {
  if (!make_media()) {
    std::fprintf(stderr, "disc_bench: cannot make the images (ffmpeg, vcdimager, dvdauthor, genisoimage)\n");
    return 1;
  }
  std::string bin = argv[0];
  bin = bin.substr(0, bin.find_last_of('/') + 1) + "razavori";
  const std::string home = kDir + "/home";
  setenv("RAZAVORI_HOME", home.c_str(), 1);
  sh("'" + bin + "' discs --map V='" + kDir + "/big.cue' && '" + bin + "' discs --map W='" + kDir +
     "/dvd99.iso'");

  const std::string q = "'" + kDir + "'";
  auto [vcd_ours, vcd_peer] =
      race("'" + bin + "' demux V:/MPEGAV/AVSEQ01.DAT --video /dev/null --audio /dev/null",
           "cd " + q +
               " && vcdxrip -q --cue-file big.cue -p >/dev/null 2>&1 && ffmpeg -nostdin -v error -i "
               "avseq01.mpg -map 0 -c copy -f null -");
  std::printf("Video CD track, 108 MB image: razavori %.3f s, vcdxrip + ffmpeg copy %.3f s, ratio %.2f\n",
              vcd_ours, vcd_peer, vcd_peer / vcd_ours);
  auto [dvd_ours, dvd_peer] =
      race("'" + bin + "' demux W:/VIDEO_TS/VTS_01_X.VOB --video /dev/null --audio /dev/null",
           "cd " + q +
               "/root/VIDEO_TS && ffmpeg -nostdin -v error -i "
               "'concat:VTS_01_1.VOB|VTS_01_2.VOB|VTS_01_3.VOB' -map 0 -c copy -f null -");
  std::printf("joined DVD title set, 99 MB ISO: razavori %.3f s, ffmpeg concat copy %.3f s, ratio %.2f\n",
              dvd_ours, dvd_peer, dvd_peer / dvd_ours);
  return 0;
}
