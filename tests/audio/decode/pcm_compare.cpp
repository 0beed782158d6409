#include "tests/audio/decode/pcm_compare.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace audio_test {

PcmComparison compare_pcm(const std::vector<int16_t> &ours, const std::vector<int16_t> &reference,
                          int32_t channels, int32_t max_lag) {
  PcmComparison result;
  const int64_t a_frames = int64_t(ours.size()) / channels;
  const int64_t b_frames = int64_t(reference.size()) / channels;
  // Score the lags on a stretch after the first few frames, where both
  // decoders have settled.
  const int64_t probe_start = 2048, probe_len = 4096;
  double best = -1.0;
  int64_t best_lag = 0;
  auto score = [&](int64_t lag) {
    double err = 0.0;
    int64_t n = 0;
    for (int64_t i = probe_start; i < probe_start + probe_len; ++i) {
      const int64_t j = i + lag;
      if (i >= b_frames || j < 0 || j >= a_frames) continue;
      for (int32_t c = 0; c < channels; ++c) {
        const double d = double(ours[size_t(j * channels + c)]) - double(reference[size_t(i * channels + c)]);
        err += d * d;
      }
      ++n;
      // Already worse than the best lag: stop early.
      if (best >= 0 && err > best * double(probe_len)) return;
    }
    if (n < probe_len / 2) return;
    err /= double(n);
    if (best < 0 || err < best) {
      best = err;
      best_lag = lag;
    }
  };
  score(0);  // the usual answer first, so the early stop bites at once
  for (int64_t lag = -max_lag; lag <= max_lag; ++lag)
    if (lag != 0) score(lag);
  double sig = 0.0, err = 0.0;
  int64_t n = 0;
  int32_t max_diff = 0;
  for (int64_t i = 0; i < b_frames; ++i) {
    const int64_t j = i + best_lag;
    if (j < 0 || j >= a_frames) continue;
    for (int32_t c = 0; c < channels; ++c) {
      const double r = reference[size_t(i * channels + c)];
      const double d = double(ours[size_t(j * channels + c)]) - r;
      sig += r * r;
      err += d * d;
      if (std::abs(int32_t(d)) > max_diff) max_diff = std::abs(int32_t(d));
    }
    ++n;
  }
  result.lag = best_lag;
  result.compared = n;
  result.max_diff = max_diff;
  result.snr_db = err == 0.0 ? 200.0 : 10.0 * std::log10(sig / err);
  return result;
}

std::vector<int16_t> read_pcm_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> pcm(bytes.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = int16_t(uint16_t(uint8_t(bytes[2 * i])) | uint16_t(uint8_t(bytes[2 * i + 1])) << 8);
  return pcm;
}

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

}  // namespace audio_test
