// Pictures per second of the colour conversion at each CPU level, and the
// ratio to the C reference, on a 720x576 picture.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "video/cpu/cpu_features.h"
#include "video/output/frame_copy.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;

struct Level {
  const char *name;
  uint32_t flags;
};

double pictures_per_second(kestrum::ColourOutput &out, const kestrum::PlaneRecord &pic, int bpp, int variant,
                           kestrum::ChromaFilter filter, std::vector<uint8_t> &dst, double seconds) {
  using Clock = std::chrono::steady_clock;
  const int row = kWidth * (bpp == 24 ? 3 : bpp == 32 ? 4 : 2);
  out.copy(pic, bpp, 1, variant, filter, dst.data(), row);  // warm the caches
  long pictures = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    for (int i = 0; i < 16; ++i) out.copy(pic, bpp, 1, variant, filter, dst.data(), row);
    pictures += 16;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < seconds);
  return pictures / elapsed;
}

}  // namespace

int main(int argc, char **argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
  // A picture with detail everywhere: smooth gradients plus noise.
  std::vector<uint8_t> y(kWidth * kHeight), cb(kWidth * kHeight / 4), cr(kWidth * kHeight / 4);
  std::mt19937 rng(42);
  for (int i = 0; i < kWidth * kHeight; ++i) y[i] = uint8_t((i % kWidth) / 3 + (i / kWidth) / 4 + rng() % 32);
  for (size_t i = 0; i < cb.size(); ++i) {
    cb[i] = uint8_t(64 + (i % (kWidth / 2)) / 3 + rng() % 16);
    cr[i] = uint8_t(200 - (i / (kWidth / 2)) / 2 + rng() % 16);
  }
  kestrum::PlaneRecord pic;
  pic.y = y.data();
  pic.cb = cb.data();
  pic.cr = cr.data();
  pic.y_pitch = kWidth;
  pic.cb_pitch = pic.cr_pitch = kWidth / 2;
  pic.coded_width = kWidth;
  pic.coded_height = kHeight;
  std::vector<uint8_t> dst(size_t(kWidth) * kHeight * 4);

  const uint32_t cpu = kestrum::detect_cpu_flags();
  const Level levels[] = {
      {"c", 0}, {"sse2", kestrum::kCpuSse2}, {"avx2", kestrum::kCpuSse2 | kestrum::kCpuAvx2}};
  std::printf("colour conversion, %dx%d, pictures per second (ratio to C)\n", kWidth, kHeight);
  for (int bpp : {32, 24, 16, 15}) {
    for (int variant : {0, 1}) {
      double c_rate = 0;
      std::printf("%2d bits %-8s", bpp, variant ? "smooth" : "direct");
      for (const Level &level : levels) {
        if ((level.flags & cpu) != level.flags) {
          std::printf("  %s: n/a", level.name);
          continue;
        }
        kestrum::ColourOutput out(level.flags);
        const double rate = pictures_per_second(
            out, pic, bpp, variant,
            variant ? kestrum::ChromaFilter::kVertical : kestrum::ChromaFilter::kNearest, dst, seconds);
        if (!level.flags) c_rate = rate;
        std::printf("  %s %8.0f (%4.2fx)", level.name, rate, rate / c_rate);
      }
      std::printf("\n");
    }
  }
  return 0;
}
