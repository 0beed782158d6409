// Decode speed of the MPEG audio decoder beside ffmpeg's float decoders on
// the same files in the same run: a Layer II 48 kHz stereo 224 kbit/s file
// and a Layer III 44.1 kHz stereo 192 kbit/s file, made with ffmpeg.
//
//   bench_audio [--seconds N] [--dir FOLDER] [--runs N]
//
// Our decoder reads its file through the pull callback, as the engine
// feeds it, and fills 49,152-byte blocks. Times are CPU seconds (ours:
// this thread; ffmpeg: the child process), best of the runs; the figures
// are multiples of real time and the ratio ours / ffmpeg.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/decode/mpeg_audio_decoder.h"

namespace {

double thread_cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

bool file_exists(const std::string &path) { return access(path.c_str(), R_OK) == 0; }

int32_t read_file(void *ctx, void *dst, int32_t len) {
  size_t n = std::fread(dst, 1, size_t(len), static_cast<FILE *>(ctx));
  return int32_t(n);
}

struct OurRun {
  double cpu = 0;
  int64_t frames = 0;  // sample frames per channel
  int32_t rate = 0;
};

OurRun decode_ours(const std::string &path, lunaret::SynthesisKind kind) {
  OurRun r;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return r;
  static std::vector<int16_t> block(24576);
  lunaret::MpegAudioDecoder dec;
  const double t0 = thread_cpu_seconds();
  dec.set_source(read_file, f);
  dec.reset_stream();
  dec.set_synthesis(kind);
  dec.set_rate_mode(lunaret::RateMode::Full);
  lunaret::StreamInfo info;
  if (dec.probe(1, &info) == 1) {
    int32_t n = 0;
    int64_t values = 0;
    while (dec.fill_block(block.data(), int32_t(block.size()), 4, &n) == 1) values += n;
    r.frames = values / dec.output_channels();
    r.rate = info.sample_rate;
  }
  r.cpu = thread_cpu_seconds() - t0;
  std::fclose(f);
  return r;
}

// CPU seconds (user + system) of one ffmpeg run, or a negative value.
double run_ffmpeg(const std::string &decoder, const std::string &path) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execlp("ffmpeg", "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "1", "-c:a",
           decoder.c_str(), "-i", path.c_str(), "-f", "null", "-", static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

bool make_stream(const std::string &path, const char *encode, int32_t rate, int32_t seconds) {
  if (file_exists(path)) return true;
  char cmd[1024];
  std::snprintf(cmd, sizeof cmd,
                "ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "
                "\"aevalsrc=0.3*sin(2*PI*(440+200*sin(2*PI*0.5*t))*t)+0.2*sin(2*PI*1234*t)*sin(2*PI*0.3*t)"
                "+0.04*(random(0)-0.5)|0.25*sin(2*PI*660*t)+0.2*sin(2*PI*3000*t+sin(2*PI*2*t))"
                "+0.1*sin(2*PI*7000*t)*sin(2*PI*0.7*t)+0.04*(random(1)-0.5):s=%d:d=%d\" %s '%s'",
                rate, seconds, encode, path.c_str());
  return std::system(cmd) == 0;
}

}  // namespace

int main(int argc, char **argv) {
  int32_t seconds = 300, runs = 3;
  std::string dir = "/tmp/razavori-bench-audio";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) {
      dir = argv[++i];
    } else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else {
      std::printf("usage: %s [--seconds N] [--dir FOLDER] [--runs N]\n", argv[0]);
      return 2;
    }
  }
  if (seconds < 1 || runs < 1) return 2;
  std::system(("mkdir -p '" + dir + "'").c_str());
  struct Case {
    const char *label;
    std::string path;
    const char *encode;
    int32_t rate;
    const char *ffmpeg_decoder;
  } cases[] = {
      {"Layer II 48 kHz stereo 224k", dir + "/l2_48k_224k_" + std::to_string(seconds) + "s.mp2",
       "-c:a mp2 -b:a 224k -f mp2", 48000, "mp2float"},
      {"Layer III 44.1 kHz stereo 192k", dir + "/l3_44k_192k_" + std::to_string(seconds) + "s.mp3",
       "-c:a libmp3lame -b:a 192k -f mp3", 44100, "mp3float"},
  };
  int failures = 0;
  for (const Case &c : cases) {
    if (!make_stream(c.path, c.encode, c.rate, seconds)) {
      std::printf("%s: cannot make %s with ffmpeg\n", c.label, c.path.c_str());
      ++failures;
      continue;
    }
    OurRun best_float, best_fixed;
    double best_ffmpeg = -1;
    for (int r = 0; r < runs; ++r) {
      OurRun f = decode_ours(c.path, lunaret::SynthesisKind::Float);
      if (r == 0 || f.cpu < best_float.cpu) best_float = f;
      OurRun x = decode_ours(c.path, lunaret::SynthesisKind::Fixed);
      if (r == 0 || x.cpu < best_fixed.cpu) best_fixed = x;
      double t = run_ffmpeg(c.ffmpeg_decoder, c.path);
      if (t > 0 && (best_ffmpeg < 0 || t < best_ffmpeg)) best_ffmpeg = t;
    }
    const double audio_seconds = double(best_float.frames) / double(best_float.rate ? best_float.rate : 1);
    std::printf("%s, %.1f s of audio\n", c.label, audio_seconds);
    std::printf("  ours, float synthesis   %8.3f s CPU  %7.0fx real time\n", best_float.cpu,
                audio_seconds / best_float.cpu);
    std::printf("  ours, 16-bit synthesis  %8.3f s CPU  %7.0fx real time\n", best_fixed.cpu,
                audio_seconds / best_fixed.cpu);
    if (best_ffmpeg > 0) {
      std::printf("  ffmpeg -c:a %-10s  %8.3f s CPU  %7.0fx real time\n", c.ffmpeg_decoder, best_ffmpeg,
                  audio_seconds / best_ffmpeg);
      std::printf("  speed ours / ffmpeg: float %.2f, 16-bit %.2f\n", best_ffmpeg / best_float.cpu,
                  best_ffmpeg / best_fixed.cpu);
    } else {
      std::printf("  ffmpeg run failed\n");
    }
  }
  return failures ? 1 : 0;
}
