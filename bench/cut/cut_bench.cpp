// cut_bench: "razavori cut" beside "ffmpeg -ss S -to E -c copy" on the same
// stretch: 40-100 s of a ~100 MB DVD VOB (21 loops of the test stream
// ext.vob) and 100-400 s of a Video CD track (a RIFF CDXA file of a 150-loop
// Video CD made with vcdimager). Our cut is given the stretch in bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/extract/whole_process.h"

namespace {

const std::string kDir = BENCH_DIR;
const std::string kMedia = BENCH_TEST_MEDIA;

bool make(const std::string &path, const std::string &cmd) {
  if (bench_whole::exists(path)) return true;
  std::printf("making %s ...\n", path.c_str());
  return std::system(("mkdir -p '" + kDir + "' && cd '" + kDir + "' && " + cmd).c_str()) == 0 &&
         bench_whole::exists(path);
}

// A Video CD track cut out of a vcdimager image as a RIFF CDXA file: the
// image's second track from its first sector of MPEG data on.
std::string make_vcd_track() {
  const std::string mpg = kDir + "/cut_vcd.mpg", dat = kDir + "/cut_vcd.dat";
  if (!make(mpg, "ffmpeg -nostdin -v error -y -stream_loop 149 -i '" + kMedia +
                     "/mpeg1_system.mpg' -c copy -f vcd cut_vcd.mpg"))
    return "";
  // Run by bash from a file: the quoting stays the script's own.
  const std::string script = kDir + "/make_vcd_track.sh";
  FILE *f = std::fopen(script.c_str(), "w");
  if (!f) return "";
  std::fputs(
      "set -e\n"
      "vcdimager -t vcd2 -c cut_vcd.cue -b cut_vcd.bin cut_vcd.mpg >/dev/null\n"
      "set -- $(vcd-info --bin-file cut_vcd.bin 2>/dev/null |\n"
      "  sed -n 's/.*\\[LSN *\\([0-9]*\\)\\] *[0-9]* ( *\\([0-9]*\\)) *AVSEQ01.DAT.*/\\1 \\2/p')\n"
      "n=$(( ($2 + 2047) / 2048 )); b=$(( n * 2352 ))\n"
      "le() { printf \"$(printf '\\\\x%02x\\\\x%02x\\\\x%02x\\\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) "
      "$(($1 >> 16 & 255)) $(($1 >> 24 & 255)))\"; }\n"
      "{ printf RIFF; le $((b + 36)); printf 'CDXAfmt '; le 16; head -c 16 /dev/zero; printf data; le $b\n"
      "  dd if=cut_vcd.bin bs=2352 skip=$1 count=$n status=none; } > cut_vcd.dat\n"
      "rm -f cut_vcd.bin\n",
      f);
  std::fclose(f);
  if (!make(dat, "bash '" + script + "'")) return "";
  return dat;
}

}  // namespace

int main() {
  const std::string vob = kDir + "/extract_100mb.vob";
  if (!make(vob, "ffmpeg -nostdin -v error -y -stream_loop 20 -i '" + kMedia +
                     "/ext.vob' -map 0:v -map 0:a -map 0:s -c copy -f dvd extract_100mb.vob")) {
    std::fprintf(stderr, "cut_bench: cannot make the VOB (run the test_media target first)\n");
    return 1;
  }
  const std::string bin = std::string(BENCH_BIN_DIR) + "/razavori cut ";
  bool ok = true;
  {
    // The VOB holds 126 s; 40-100 s in bytes by proportion.
    const long long size = bench_whole::size_of(vob);
    const long long a = size * 40 / 126, b = size * 100 / 126;
    std::printf("file: %s (%.1f MB)\n", vob.c_str(), size / 1e6);
    ok &=
        bench_whole::compare("cut a DVD VOB",
                             bin + "'" + vob + "' '" + kDir + "/cut_ours.vob' --force --bytes " +
                                 std::to_string(a) + "-" + std::to_string(b),
                             "ffmpeg -nostdin -v error -y -ss 40 -to 100 -i '" + vob +
                                 "' -map 0:v -map 0:a -map 0:s -c copy -f vob '" + kDir + "/cut_ffmpeg.vob'",
                             0.5);
  }
  const std::string dat = make_vcd_track();
  if (dat.empty()) {
    std::fprintf(stderr, "cut_bench: cannot make the Video CD track (vcdimager, vcd-info)\n");
    return 1;
  }
  {
    const long long size = bench_whole::size_of(dat);
    const long long a = size * 100 / 450, b = size * 400 / 450;
    std::printf("file: %s (%.1f MB)\n", dat.c_str(), size / 1e6);
    ok &= bench_whole::compare("cut a Video CD track",
                               bin + "'" + dat + "' '" + kDir + "/cut_ours.mpg' --force --bytes " +
                                   std::to_string(a) + "-" + std::to_string(b),
                               "ffmpeg -nostdin -v error -y -ss 100 -to 400 -i '" + dat +
                                   "' -c copy -f vcd '" + kDir + "/cut_ffmpeg.mpg'",
                               0.5);
  }
  return ok ? 0 : 1;
}
