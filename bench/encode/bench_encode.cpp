// Speed of the encoder and multiplexer components beside ffmpeg doing the
// same work with the same libraries, whole process against whole process,
// runs alternated, medians of CPU time (user + system) of each child:
//   - Pikran: 352x288 B,G,R pictures to Video CD MPEG-1 video, against
//     ffmpeg -threads 1 -f rawvideo -pix_fmt bgr24 ... -c:v mpeg1video at the
//     same settings;
//   - Sondral Layer II: 48 kHz stereo to 44.1 kHz at 224 kbit/s, against
//     ffmpeg -ar 44100 -c:a mp2 -b:a 224k;
//   - Weavix: the two results to a Video CD stream, against ffmpeg -c copy -f vcd;
//   - Sondral Layer I at 384 kbit/s: its multiple of real time.
//
//   bench_encode [--pictures N] [--seconds S] [--runs N] [--dir FOLDER]
//
// Inputs are made with ffmpeg in FOLDER (default: a temporary folder,
// removed afterwards). A ratio below 1.0 means ours took less CPU time.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "components/pikran/pikran.h"
#include "components/sondral/sondral.h"
#include "components/weavix/weavix.h"

namespace {

constexpr int kWidth = 352, kHeight = 288;

std::string self_path() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "bench_encode";
  buf[n] = 0;
  return buf;
}

/// CPU seconds (user + system) of one child running argv, or -1.
double run_child(const std::vector<std::string> &args) {
  std::vector<char *> argv;
  for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

// ---- the jobs our children run --------------------------------------------

int child_pikran(const char *in, const char *out) {
  FILE *f = std::fopen(in, "rb");
  if (!f) return 1;
  const size_t stride = size_t(kWidth) * 3;  // 1056: already a multiple of 4
  std::vector<uint8_t> dib(40 + stride * kHeight, 0);
  PikranBitmapHeader h{};
  h.biSize = 40;
  h.biWidth = kWidth;
  h.biHeight = kHeight;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biSizeImage = uint32_t(stride * kHeight);
  std::memcpy(dib.data(), &h, 40);
  const PikranParams p{PIKRAN_VCD_BIT_RATE, 1, 0, kWidth, kHeight, PIKRAN_VCD_VBV_UNITS, &h, 3};
  if (!PikranOpen(out, &p, 0)) return 1;
  std::vector<uint8_t> picture(stride * kHeight);
  while (std::fread(picture.data(), 1, picture.size(), f) == picture.size()) {
    // The file holds top-first rows; a DIB is bottom-up.
    for (int r = 0; r < kHeight; ++r)
      std::memcpy(dib.data() + 40 + size_t(kHeight - 1 - r) * stride, picture.data() + size_t(r) * stride,
                  stride);
    PikranEncodeFrame(dib.data(), int32_t(dib.size()));
  }
  std::fclose(f);
  return PikranClose() ? 0 : 1;
}

int child_sondral(const char *in, const char *out, int layer, int kbps) {
  FILE *f = std::fopen(in, "rb");
  if (!f) return 1;
  SondralSetInputRate(48000);
  SondralSetInputBits(16);
  SondralSetChannels(2);
  SondralSetLayer(layer);
  SondralSetOutputRate(44100);
  SondralSetBitRate(kbps);
  if (!SondralOpen(out)) return 1;
  std::vector<uint8_t> block(4608);  // what a converter hands over per picture, roughly
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) SondralWrite(block.data(), int32_t(n));
  std::fclose(f);
  return SondralClose() ? 0 : 1;
}

int child(int argc, char **argv) {
  const std::string job = argv[2];
  if (job == "pikran" && argc == 5) return child_pikran(argv[3], argv[4]);
  if (job == "sondral" && argc == 7)
    return child_sondral(argv[3], argv[4], std::atoi(argv[5]), std::atoi(argv[6]));
  if (job == "weavix" && argc == 6) return WeavixMultiplex(argv[3], argv[4], argv[5]) ? 0 : 1;
  return 2;
}

bool make(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct Pair {
  const char *name;
  std::vector<std::string> ours, theirs;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 3 && !std::strcmp(argv[1], "--child")) return child(argc, argv);
  int pictures = 1500, seconds = 60, runs = 5;
  std::string dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--pictures"))
      pictures = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--seconds"))
      seconds = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--runs"))
      runs = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--dir"))
      dir = argv[i + 1];
  }
  const bool own_dir = dir.empty();
  if (own_dir)
    dir = (std::filesystem::temp_directory_path() / ("bench-encode-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const std::string bgr = dir + "/pictures.bgr", pcm = dir + "/sound.pcm";
  std::printf("making %d pictures and %d s of sound in %s\n", pictures, seconds, dir.c_str());
  if (!make("ffmpeg -y -f lavfi -i testsrc2=size=352x288:rate=25 -frames:v " + std::to_string(pictures) +
            " -pix_fmt bgr24 -f rawvideo " + bgr) ||
      !make("ffmpeg -y -f lavfi -i sine=frequency=440:sample_rate=48000 -f lavfi -i "
            "anoisesrc=color=pink:sample_rate=48000:amplitude=0.1 -filter_complex amerge=inputs=2 -t " +
            std::to_string(seconds) + " -f s16le -ac 2 " + pcm)) {
    std::fprintf(stderr, "bench_encode: ffmpeg could not make the inputs\n");
    return 1;
  }
  const std::string self = self_path();
  const std::string v_ours = dir + "/ours.m1v", v_ref = dir + "/ref.m1v", a_ours = dir + "/ours.mp2",
                    a_ref = dir + "/ref.mp2", l1 = dir + "/ours.mp1", m_ours = dir + "/ours.mpg",
                    m_ref = dir + "/ref.mpg";
  const std::vector<std::string> ffmpeg = {"ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-threads", "1"};
  auto with = [](std::vector<std::string> a, std::initializer_list<std::string> b) {
    a.insert(a.end(), b);
    return a;
  };
  const Pair pairs[] = {
      {"Pikran (352x288 B,G,R to Video CD video)",
       {self, "--child", "pikran", bgr, v_ours},
       with(ffmpeg, {"-f",       "rawvideo", "-pix_fmt",   "bgr24", "-s",         "352x288", "-r",
                     "25",       "-i",       bgr,          "-c:v",  "mpeg1video", "-b:v",    "1150k",
                     "-minrate", "1150k",    "-maxrate",   "1150k", "-bufsize",   "327680",  "-g",
                     "15",       "-f",       "mpeg1video", v_ref})},
      {"Sondral Layer II (48 kHz to 44.1 kHz, 224 kbit/s)",
       {self, "--child", "sondral", pcm, a_ours, "2", "224"},
       with(ffmpeg, {"-f", "s16le", "-ar", "48000", "-ac", "2", "-i", pcm, "-ar", "44100", "-c:a", "mp2",
                     "-b:a", "224k", "-f", "mp2", a_ref})},
      {"Weavix (Video CD multiplex)",
       {self, "--child", "weavix", v_ours, a_ours, m_ours},
       with(ffmpeg, {"-i", v_ours, "-i", a_ours, "-c", "copy", "-f", "vcd", m_ref})},
  };
  for (const Pair &p : pairs) {
    std::vector<double> ours, theirs;
    for (int r = 0; r < runs; ++r) {
      ours.push_back(run_child(p.ours));
      theirs.push_back(run_child(p.theirs));
    }
    const double o = median(ours), t = median(theirs);
    if (o < 0 || t < 0) {
      std::printf("%-52s failed (ours %.3f s, ffmpeg %.3f s)\n", p.name, o, t);
      continue;
    }
    std::printf("%-52s ours %.3f s  ffmpeg %.3f s  ratio %.3f\n", p.name, o, t, o / t);
  }
  std::vector<double> layer1;
  for (int r = 0; r < runs; ++r)
    layer1.push_back(run_child({self, "--child", "sondral", pcm, l1, "1", "384"}));
  const double l1_cpu = median(layer1);
  if (l1_cpu > 0)
    std::printf("%-52s %.3f s for %d s: %.1f x real time\n",
                "Sondral Layer I (48 kHz to 44.1 kHz, 384 kbit/s)", l1_cpu, seconds, seconds / l1_cpu);
  else
    std::printf("Sondral Layer I failed\n");
  if (own_dir) std::filesystem::remove_all(dir);
  return 0;
}
