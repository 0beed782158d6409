#include "tests/media/demux/reference_streams.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "tests/support/test_media.h"

namespace demux_test {

namespace {

namespace fs = std::filesystem;

struct Recipe {
  const char *name;
  const char *make;  // ffmpeg arguments after the inputs, output appended
};

// Short streams in the four shapes the demultiplexer reads; the references
// are ffmpeg's copies of each elementary stream.
constexpr const char *kVideoIn = "-f lavfi -i testsrc=size=352x288:rate=25:duration=2";
constexpr const char *kToneA = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2";
constexpr const char *kToneB = "-f lavfi -i sine=frequency=660:sample_rate=48000:duration=2";

bool run(const std::string &cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::string local_dir() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  fs::path dir =
      bin && *bin ? fs::path(bin) / "test-media-demux" : fs::temp_directory_path() / "razavori-demux-media";
  fs::create_directories(dir);
  return dir.string();
}

bool make_all(const std::string &dir) {
  const std::string ff = "ffmpeg -nostdin -v error -y ";
  const std::string d = dir + "/";
  bool ok = true;
  ok &= run(ff + kVideoIn + " " + kToneA + " -c:v mpeg1video -b:v 1M -c:a mp2 -b:a 128k -f mpeg " + d +
            "mpeg1_system.mpg");
  ok &= run(ff + kVideoIn + " " + kToneA + " -c:v mpeg2video -b:v 3M -c:a mp2 -b:a 192k -f vob " + d +
            "mpeg2_ps.mpg");
  ok &= run(ff + kVideoIn + " " + kToneA + " " + kToneB +
            " -map 0 -map 1 -map 2 -c:v mpeg2video -b:v 3M -c:a:0 ac3 -b:a:0 192k -c:a:1 pcm_s16be -f vob " +
            d + "vob_ac3_lpcm.vob");
  ok &= run(ff + kVideoIn + " " + kToneA + " -c:v mpeg2video -b:v 3M -c:a mp2 -b:a 192k -f mpegts " + d +
            "ts_mpeg2.ts");
  for (const char *s : {"mpeg1_system.mpg", "mpeg2_ps.mpg", "vob_ac3_lpcm.vob", "ts_mpeg2.ts"}) {
    ok &= run(ff + "-i " + d + s + " -map 0:v -c copy -f rawvideo " + d + s + ".video.es");
  }
  for (const char *s : {"mpeg1_system.mpg", "mpeg2_ps.mpg", "ts_mpeg2.ts"}) {
    ok &= run(ff + "-i " + d + s + " -map 0:a -c copy -f mp2 " + d + s + ".audio.es");
  }
  ok &= run(ff + "-i " + d + "vob_ac3_lpcm.vob -map 0:a:0 -c copy -f ac3 " + d + "vob_ac3_lpcm.vob.ac3");
  ok &= run(ff + "-i " + d + "vob_ac3_lpcm.vob -map 0:a:1 -c:a pcm_s16le -f s16le " + d +
            "vob_ac3_lpcm.vob.lpcm.pcm");
  return ok;
}

// The shared folder's references are named "X.video.es" after the stream
// file without its extension or with it; both are tried.
std::string shared(const std::string &name) {
  const std::string p = testing_support::media_path(name);
  if (fs::exists(p)) return p;
  const size_t dot = name.find('.');
  if (dot != std::string::npos) {
    const size_t second = name.find('.', dot + 1);
    if (second != std::string::npos) {
      const std::string stem = name.substr(0, dot) + name.substr(second);
      const std::string q = testing_support::media_path(stem);
      if (fs::exists(q)) return q;
    }
  }
  return "";
}

}  // namespace

std::string reference(const std::string &name) {
  // Use the shared set only when it holds the stream itself too, so that a
  // stream and its references always come from the same run.
  const size_t dot = name.find('.');
  const size_t second = dot == std::string::npos ? std::string::npos : name.find('.', dot + 1);
  const std::string stream = second == std::string::npos ? name : name.substr(0, second);
  if (!shared(stream).empty()) return shared(name);
  static std::once_flag once;
  static std::string dir;
  std::call_once(once, [] {
    const std::string d = local_dir();
    if (fs::exists(d + "/vob_ac3_lpcm.vob.lpcm.pcm") || make_all(d)) dir = d;
  });
  if (dir.empty()) return "";
  const std::string p = dir + "/" + name;
  return fs::exists(p) ? p : "";
}

}  // namespace demux_test
