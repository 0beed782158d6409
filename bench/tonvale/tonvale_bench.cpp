// Equaliser speed: one minute of 48 kHz stereo through all ten bands, ours
// beside ffmpeg's equalizer chain (the same filters) on the same input, and
// the ratio. ffmpeg's time includes its start-up, which one minute of sound
// makes small. Usage: tonvale_bench [seconds]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "components/tonvale/tonvale.h"

namespace {

constexpr int kRate = 48000;
constexpr int32_t kBands[TONVALE_BANDS] = {120, 220, 280, 580, 800, 4000, 6000, 12000, 4000, 4000};
constexpr int32_t kGains[TONVALE_BANDS] = {6, -3, 4, -6, 8, 3, -4, 5, 2, -2};

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char **argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  const size_t frames = size_t(seconds) * kRate;
  std::vector<int16_t> pcm(frames * 2);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c)
      pcm[i * 2 + size_t(c)] = int16_t(8000 * std::sin(2 * M_PI * (440.0 + 110 * c) * double(i) / kRate) +
                                       3000 * std::sin(2 * M_PI * 97.0 * double(i) / kRate));
  const std::string in_path = "/tmp/tonvale_bench_" + std::to_string(getpid()) + ".raw";
  if (FILE *f = std::fopen(in_path.c_str(), "wb")) {
    std::fwrite(pcm.data(), 2, pcm.size(), f);
    std::fclose(f);
  }

  alignas(8) unsigned char block[TONVALE_OBJECT_SIZE];
  void *eq = TonvaleConstruct(block);
  TonvaleSetFormat(eq, 2, kRate, TONVALE_BANDS, kBands);
  TonvaleSetGains(eq, kGains);
  TonvaleSetEnable(eq, 1);
  // Blocks of the audio engine's nominal 36,864 bytes.
  const int32_t block_frames = 36864 / 4;
  auto start = std::chrono::steady_clock::now();
  for (size_t at = 0; at < frames; at += size_t(block_frames)) {
    const int32_t n = int32_t(std::min(frames - at, size_t(block_frames)));
    TonvaleProcess(eq, pcm.data() + at * 2, pcm.data() + at * 2, n);
  }
  const double ours = seconds_since(start);
  TonvaleDestroy(eq);

  std::string chain = "aformat=sample_fmts=dbl";
  for (int b = 0; b < TONVALE_BANDS; ++b)
    chain += ",equalizer=f=" + std::to_string(kBands[b]) + ":t=q:w=2.5:g=" + std::to_string(kGains[b]);
  const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -f s16le -ar 48000 -ac 2 -i " +
                          in_path + " -af " + chain + " -f null - 2>/dev/null";
  start = std::chrono::steady_clock::now();
  const bool have_ffmpeg = std::system(cmd.c_str()) == 0;
  const double theirs = seconds_since(start);
  std::remove(in_path.c_str());

  std::printf("tonvale: %d s of 48 kHz stereo, 10 bands: %.3f s (%.0fx real time)\n", seconds, ours,
              seconds / ours);
  if (have_ffmpeg)
    std::printf("ffmpeg equalizer chain: %.3f s; ratio ours/ffmpeg %.2f\n", theirs, ours / theirs);
  else
    std::printf("ffmpeg not available: no reference\n");
  return 0;
}
