#include "tests/support/compare.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

namespace testing_support {

// ---- files -----------------------------------------------------------------

std::optional<std::vector<uint8_t>> read_file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  // One read of the size the file has now (byte by byte crawls in sanitized
  // builds, and captures are megabytes); a stream with no size is read to
  // its end instead.
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) {
    in.clear();
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0) in.read(reinterpret_cast<char *>(bytes.data()), size);
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// Three whitespace-separated integers and nothing else but blanks.
static std::optional<std::array<int64_t, 3>> read_three_numbers(const std::string &path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::array<int64_t, 3> v{};
  for (auto &x : v) {
    if (!(in >> x)) return std::nullopt;
  }
  std::string rest;
  if (in >> rest) return std::nullopt;
  return v;
}

std::optional<YuvInfo> read_yuv_info(const std::string &txt_path) {
  auto v = read_three_numbers(txt_path);
  if (!v) return std::nullopt;
  const auto [w, h, n] = *v;
  constexpr int64_t kMax = std::numeric_limits<int>::max();
  if (w <= 0 || h <= 0 || n <= 0 || w > kMax || h > kMax || n > kMax) return std::nullopt;
  return YuvInfo{static_cast<int>(w), static_cast<int>(h), static_cast<int>(n)};
}

std::optional<PcmInfo> read_pcm_info(const std::string &txt_path) {
  auto v = read_three_numbers(txt_path);
  if (!v) return std::nullopt;
  const auto [rate, channels, samples] = *v;
  if (rate <= 0 || channels <= 0 || samples < 0 || rate > std::numeric_limits<int>::max() || channels > 64)
    return std::nullopt;
  return PcmInfo{static_cast<int>(rate), static_cast<int>(channels), samples};
}

// ---- pictures --------------------------------------------------------------

static int chroma_size(int n) { return (n + 1) / 2; }

std::size_t yuv_picture_size(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::size_t>(width) * height +
         2 * static_cast<std::size_t>(chroma_size(width)) * chroma_size(height);
}

PictureView yuv_picture(std::span<const uint8_t> yuv, int width, int height, int index) {
  const std::size_t size = yuv_picture_size(width, height);
  if (size == 0 || index < 0 || (static_cast<std::size_t>(index) + 1) * size > yuv.size()) return {};
  const uint8_t *base = yuv.data() + static_cast<std::size_t>(index) * size;
  const int cw = chroma_size(width), ch = chroma_size(height);
  const uint8_t *cb = base + static_cast<std::size_t>(width) * height;
  const uint8_t *cr = cb + static_cast<std::size_t>(cw) * ch;
  return {{base, width, width, height}, {cb, cw, cw, ch}, {cr, cw, cw, ch}};
}

// Sum of squared differences over the common area of two planes.
static uint64_t plane_sse(const PlaneView &a, const PlaneView &b, uint64_t *samples) {
  const int w = std::min(a.width, b.width), h = std::min(a.height, b.height);
  uint64_t sse = 0;
  *samples = 0;
  if (w <= 0 || h <= 0 || !a.data || !b.data) return 0;
  for (int y = 0; y < h; y++) {
    const uint8_t *pa = a.data + y * a.stride;
    const uint8_t *pb = b.data + y * b.stride;
    uint32_t row = 0;  // 4096 * 255^2 still fits; wider rows are split below
    for (int x = 0; x < w; x++) {
      const int d = pa[x] - pb[x];
      row += static_cast<uint32_t>(d * d);
      if ((x & 4095) == 4095) {
        sse += row;
        row = 0;
      }
    }
    sse += row;
  }
  *samples = static_cast<uint64_t>(w) * h;
  return sse;
}

static double psnr_from_mse(double mse) {
  if (mse <= 0) return kPsnrIdentical;
  return std::min(kPsnrIdentical, 10.0 * std::log10(255.0 * 255.0 / mse));
}

double plane_mse(const PlaneView &a, const PlaneView &b) {
  uint64_t n = 0;
  const uint64_t sse = plane_sse(a, b, &n);
  return n ? static_cast<double>(sse) / static_cast<double>(n) : 0.0;
}

double plane_psnr(const PlaneView &a, const PlaneView &b) { return psnr_from_mse(plane_mse(a, b)); }

double PicturePsnr::min() const { return std::min({y, cb, cr}); }

PicturePsnr picture_psnr(const PictureView &a, const PictureView &b) {
  return {plane_psnr(a.y, b.y), plane_psnr(a.cb, b.cb), plane_psnr(a.cr, b.cr)};
}

static std::string fmt_psnr(const PicturePsnr &p) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "Y %.2f Cb %.2f Cr %.2f dB", p.y, p.cb, p.cr);
  return buf;
}

std::string YuvComparison::describe() const {
  std::ostringstream s;
  if (!error.empty()) s << "error: " << error << "; ";
  s << "pictures " << frames_a << " vs " << frames_b << ", mean " << fmt_psnr(mean);
  if (worst_index >= 0) s << ", worst picture " << worst_index << " " << fmt_psnr(worst);
  return s.str();
}

YuvComparison compare_yuv(std::span<const uint8_t> a, std::span<const uint8_t> b, int width, int height) {
  YuvComparison r;
  const std::size_t size = yuv_picture_size(width, height);
  if (size == 0) {
    r.error = "picture size " + std::to_string(width) + "x" + std::to_string(height) + " is empty";
    return r;
  }
  r.frames_a = static_cast<int>(a.size() / size);
  r.frames_b = static_cast<int>(b.size() / size);
  if (a.size() % size || b.size() % size) {
    r.error = "a trailing partial picture (" + std::to_string(a.size() % size) + " and " +
              std::to_string(b.size() % size) + " bytes left over)";
  }
  const int n = std::min(r.frames_a, r.frames_b);
  uint64_t sse[3] = {}, samples[3] = {};
  r.worst = {kPsnrIdentical, kPsnrIdentical, kPsnrIdentical};
  double worst_min = std::numeric_limits<double>::infinity();
  r.pictures.reserve(n);
  for (int i = 0; i < n; i++) {
    const PictureView pa = yuv_picture(a, width, height, i), pb = yuv_picture(b, width, height, i);
    const PlaneView *planes_a[3] = {&pa.y, &pa.cb, &pa.cr};
    const PlaneView *planes_b[3] = {&pb.y, &pb.cb, &pb.cr};
    double psnr[3];
    for (int p = 0; p < 3; p++) {
      uint64_t count = 0;
      const uint64_t e = plane_sse(*planes_a[p], *planes_b[p], &count);
      sse[p] += e;
      samples[p] += count;
      psnr[p] = psnr_from_mse(count ? static_cast<double>(e) / static_cast<double>(count) : 0.0);
    }
    const PicturePsnr pic{psnr[0], psnr[1], psnr[2]};
    r.pictures.push_back(pic);
    r.worst.y = std::min(r.worst.y, pic.y);
    r.worst.cb = std::min(r.worst.cb, pic.cb);
    r.worst.cr = std::min(r.worst.cr, pic.cr);
    if (pic.min() < worst_min) {
      worst_min = pic.min();
      r.worst_index = i;
    }
  }
  auto mean_of = [&](int p) {
    return psnr_from_mse(samples[p] ? static_cast<double>(sse[p]) / static_cast<double>(samples[p]) : 0.0);
  };
  r.mean = {mean_of(0), mean_of(1), mean_of(2)};
  return r;
}

YuvComparison compare_yuv_files(const std::string &a, const std::string &b, int width, int height) {
  auto da = read_file_bytes(a), db = read_file_bytes(b);
  if (!da || !db) {
    YuvComparison r;
    r.error = "cannot read " + (da ? b : a);
    return r;
  }
  return compare_yuv(*da, *db, width, height);
}

// ---- sound -----------------------------------------------------------------

std::vector<int16_t> pcm_samples(std::span<const uint8_t> bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); i++) {
    out[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
  return out;
}

std::optional<std::vector<int16_t>> read_pcm_file(const std::string &path) {
  auto bytes = read_file_bytes(path);
  if (!bytes) return std::nullopt;
  return pcm_samples(*bytes);
}

std::string PcmComparison::describe() const {
  char buf[256];
  std::snprintf(
      buf, sizeof buf,
      "SNR %.2f dB, max |diff| %d, lag %lld frames, %lld frames compared (reference %lld, test %lld)", snr_db,
      max_abs_diff, static_cast<long long>(lag), static_cast<long long>(frames_compared),
      static_cast<long long>(frames_reference), static_cast<long long>(frames_test));
  std::string s = buf;
  if (!error.empty()) s = "error: " + error + "; " + s;
  return s;
}

// Sum of squared differences of `frames` frames: reference from frame r0,
// test from frame t0.
static uint64_t window_sse(std::span<const int16_t> ref, std::span<const int16_t> test, int channels,
                           int64_t r0, int64_t t0, int64_t frames) {
  uint64_t sse = 0;
  const int16_t *pr = ref.data() + r0 * channels;
  const int16_t *pt = test.data() + t0 * channels;
  const int64_t n = frames * channels;
  for (int64_t i = 0; i < n; i++) {
    const int64_t d = static_cast<int64_t>(pr[i]) - pt[i];
    sse += static_cast<uint64_t>(d * d);
  }
  return sse;
}

// The lag in [-max_lag, max_lag] with the least error over one window of the
// reference. The window starts max_lag frames in, so that every candidate
// lag finds test samples before it where the signal allows; a lag whose test
// span falls outside the test is skipped.
static int64_t find_lag(std::span<const int16_t> ref, std::span<const int16_t> test, int channels,
                        int max_lag) {
  constexpr int64_t kWindow = 16384;
  const int64_t ref_frames = static_cast<int64_t>(ref.size()) / channels;
  const int64_t test_frames = static_cast<int64_t>(test.size()) / channels;
  int64_t start = std::min<int64_t>(max_lag, ref_frames);
  int64_t window = std::min(kWindow, ref_frames - start);
  if (window <= 0) return 0;
  int64_t best_lag = 0;
  double best = std::numeric_limits<double>::infinity();
  // 0 first, then +-1, +-2, ...: on equal error the smaller shift wins.
  for (int step = 0; step <= 2 * max_lag; step++) {
    const int64_t lag = (step % 2 ? 1 : -1) * static_cast<int64_t>((step + 1) / 2);
    const int64_t t0 = start + lag;
    if (t0 < 0 || t0 >= test_frames) continue;
    const int64_t frames = std::min(window, test_frames - t0);
    // Too short an overlap says nothing; demand at least half the window.
    if (frames * 2 < window) continue;
    const double mse =
        static_cast<double>(window_sse(ref, test, channels, start, t0, frames)) / static_cast<double>(frames);
    if (mse < best) {
      best = mse;
      best_lag = lag;
    }
  }
  return best_lag;
}

PcmComparison compare_pcm(std::span<const int16_t> reference, std::span<const int16_t> test, int channels,
                          int max_lag) {
  PcmComparison r;
  if (channels <= 0) {
    r.error = "channel count " + std::to_string(channels);
    return r;
  }
  r.frames_reference = static_cast<int64_t>(reference.size()) / channels;
  r.frames_test = static_cast<int64_t>(test.size()) / channels;
  if (max_lag > 0) r.lag = find_lag(reference, test, channels, max_lag);
  // Overlap: reference frames i with 0 <= i + lag < frames_test.
  const int64_t r0 = std::max<int64_t>(0, -r.lag);
  const int64_t r1 = std::min(r.frames_reference, r.frames_test - r.lag);
  if (r1 <= r0) return r;
  r.frames_compared = r1 - r0;
  double signal = 0, noise = 0;
  const int16_t *pr = reference.data() + r0 * channels;
  const int16_t *pt = test.data() + (r0 + r.lag) * channels;
  const int64_t n = r.frames_compared * channels;
  for (int64_t i = 0; i < n; i++) {
    const int64_t d = static_cast<int64_t>(pr[i]) - pt[i];
    signal += static_cast<double>(pr[i]) * pr[i];
    noise += static_cast<double>(d * d);
    r.max_abs_diff = std::max<int>(r.max_abs_diff, static_cast<int>(d < 0 ? -d : d));
  }
  if (noise == 0) {
    r.snr_db = kSnrIdentical;
  } else if (signal == 0) {
    r.snr_db = -kSnrIdentical;
  } else {
    r.snr_db = std::clamp(10.0 * std::log10(signal / noise), -kSnrIdentical, kSnrIdentical);
  }
  return r;
}

PcmComparison compare_pcm_files(const std::string &reference, const std::string &test, int channels,
                                int max_lag) {
  auto a = read_pcm_file(reference), b = read_pcm_file(test);
  if (!a || !b) {
    PcmComparison r;
    r.error = "cannot read " + (a ? test : reference);
    return r;
  }
  return compare_pcm(*a, *b, channels, max_lag);
}

// ---- bytes -----------------------------------------------------------------

std::optional<std::size_t> first_difference(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  const std::size_t n = std::min(a.size(), b.size());
  const auto [pa, pb] = std::mismatch(a.begin(), a.begin() + n, b.begin());
  if (pa != a.begin() + n) return static_cast<std::size_t>(pa - a.begin());
  if (a.size() != b.size()) return n;
  return std::nullopt;
}

static std::string hex_context(std::span<const uint8_t> bytes, uint64_t at) {
  std::string s;
  char buf[4];
  for (uint64_t i = at; i < bytes.size() && i < at + 8; i++) {
    std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
    if (!s.empty()) s += ' ';
    s += buf;
  }
  return s.empty() ? "(end)" : s;
}

ByteComparison compare_bytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  ByteComparison r;
  r.size_a = a.size();
  r.size_b = b.size();
  if (auto d = first_difference(a, b)) {
    r.first_difference = *d;
    r.context_a = hex_context(a, *d);
    r.context_b = hex_context(b, *d);
  }
  return r;
}

ByteComparison compare_files(const std::string &a, const std::string &b) {
  auto da = read_file_bytes(a), db = read_file_bytes(b);
  if (!da || !db) {
    ByteComparison r;
    r.error = "cannot read " + (da ? b : a);
    return r;
  }
  return compare_bytes(*da, *db);
}

std::string ByteComparison::describe() const {
  std::ostringstream s;
  if (!error.empty()) return "error: " + error;
  s << "sizes " << size_a << " and " << size_b;
  if (first_difference) {
    s << ", first difference at byte " << *first_difference << " (0x" << std::hex << *first_difference
      << std::dec << "): " << context_a << " vs " << context_b;
  } else {
    s << ", identical";
  }
  return s.str();
}

}  // namespace testing_support
