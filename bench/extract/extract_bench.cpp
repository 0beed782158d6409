// extract_bench [FILE]: "razavori extract" of all streams of a DVD VOB
// beside one ffmpeg run that copies its video, four audio and two
// subpicture streams to files. Without FILE a ~100 MB VOB is made from the
// test stream ext.vob (21 loops, stream copy).
#include <cstdio>
#include <string>

#include "bench/extract/whole_process.h"

int main(int argc, char **argv) {
  const std::string dir = BENCH_DIR;
  std::string vob = argc > 1 ? argv[1] : dir + "/extract_100mb.vob";
  if (!bench_whole::exists(vob)) {
    const std::string src = std::string(BENCH_TEST_MEDIA) + "/ext.vob";
    std::printf("making %s from %s ...\n", vob.c_str(), src.c_str());
    const std::string make = "mkdir -p '" + dir + "' && ffmpeg -nostdin -v error -y -stream_loop 20 -i '" +
                             src + "' -map 0:v -map 0:a -map 0:s -c copy -f dvd '" + vob + "'";
    if (std::system(make.c_str()) != 0 || !bench_whole::exists(vob)) {
      std::fprintf(stderr, "extract_bench: cannot make the input (run the test_media target first)\n");
      return 1;
    }
  }
  const std::string ours_dir = dir + "/extract_ours", theirs_dir = dir + "/extract_ffmpeg";
  std::system(("mkdir -p '" + ours_dir + "' '" + theirs_dir + "'").c_str());
  const std::string ours =
      std::string(BENCH_BIN_DIR) + "/razavori extract '" + vob + "' --out '" + ours_dir + "' --force";
  const std::string o = " -c copy '" + theirs_dir;
  const std::string theirs = "ffmpeg -nostdin -v error -y -i '" + vob + "' -map 0:v:0" + o +
                             "/v.m2v' -map 0:i:0x80" + o + "/a0.ac3' -map 0:i:0x81" + o +
                             "/a1.ac3' -map 0:i:0xa0 -f s16be '" + theirs_dir + "/p.pcm' -map 0:i:0x1c0" + o +
                             "/a.mp2' -map 0:i:0x20 -f data" + o + "/s0.sub' -map 0:i:0x21 -f data" + o +
                             "/s1.sub'";
  std::printf("file: %s (%.1f MB)\n", vob.c_str(), bench_whole::size_of(vob) / 1e6);
  return bench_whole::compare("extract all streams", ours, theirs, 1.0) ? 0 : 1;
}
