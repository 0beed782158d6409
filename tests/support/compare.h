// Comparisons of our output with ffmpeg's references: PSNR of yuv420p
// pictures, SNR of s16le sound, and the first differing byte of two byte
// strings; plus readers for the references' ".txt" side files.
//
// Results carry everything a failing test wants to print (see describe());
// file variants put what went wrong in `error` instead of throwing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace testing_support {

// ---- files -----------------------------------------------------------------

/// Whole file, or nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_file_bytes(const std::string &path);

/// "width height frames" of an "X.yuv.txt" side file.
struct YuvInfo {
  int width = 0;
  int height = 0;
  int frames = 0;
};
/// nullopt when the file is missing or does not hold three positive numbers.
std::optional<YuvInfo> read_yuv_info(const std::string &txt_path);

/// "rate channels samples_per_channel" of an "X.pcm.txt" side file.
struct PcmInfo {
  int rate = 0;
  int channels = 0;
  int64_t samples_per_channel = 0;
};
/// nullopt when the file is missing or does not hold three positive numbers
/// (samples_per_channel may be 0).
std::optional<PcmInfo> read_pcm_info(const std::string &txt_path);

// ---- pictures --------------------------------------------------------------

/// Ceiling of every PSNR reported, and the value for identical planes: finite
/// so that means and minimums stay usable. Planes that differ by very little
/// reach it too (one sample off by one in a 720x576 plane is 104 dB), so ask
/// the MSE or the bytes whether two planes are equal.
inline constexpr double kPsnrIdentical = 99.0;

/// One 8-bit plane: `width` x `height` samples, rows `stride` bytes apart.
struct PlaneView {
  const uint8_t *data = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
};

/// A yuv420p picture: luma `width` x `height`, chroma (width+1)/2 x
/// (height+1)/2. Strides may exceed the widths (a decoder's padded planes).
struct PictureView {
  PlaneView y, cb, cr;
};

/// The picture `index` of a packed yuv420p buffer of pictures of the given
/// display size (as ffmpeg's rawvideo writes them). Empty planes past the
/// end of the buffer.
PictureView yuv_picture(std::span<const uint8_t> yuv, int width, int height, int index);
/// Bytes of one packed yuv420p picture.
std::size_t yuv_picture_size(int width, int height);

/// 10*log10(255^2 / MSE) over the common `width` x `height` area, at most
/// kPsnrIdentical (so exactly that when the planes are equal or the area is
/// empty).
double plane_psnr(const PlaneView &a, const PlaneView &b);
/// Mean squared error over the same area (0 for an empty area).
double plane_mse(const PlaneView &a, const PlaneView &b);

struct PicturePsnr {
  double y = kPsnrIdentical;
  double cb = kPsnrIdentical;
  double cr = kPsnrIdentical;
  /// The smallest of the three.
  double min() const;
};

PicturePsnr picture_psnr(const PictureView &a, const PictureView &b);

/// Two sequences of pictures compared picture by picture.
struct YuvComparison {
  /// One entry per compared picture (the shorter sequence's count).
  std::vector<PicturePsnr> pictures;
  /// Per plane, from the mean squared error over all compared pictures (as
  /// ffmpeg's psnr filter averages); kPsnrIdentical when all are equal.
  PicturePsnr mean;
  /// Per plane, the worst picture.
  PicturePsnr worst;
  /// Index of the picture with the lowest PSNR on any plane (-1 if none).
  int worst_index = -1;
  /// Pictures in each input (whole pictures only).
  int frames_a = 0;
  int frames_b = 0;
  /// Bytes past the last whole picture in either input, or a read failure.
  std::string error;

  bool ok() const { return error.empty(); }
  /// One line for a failure message: counts, mean and worst PSNR.
  std::string describe() const;
};

/// Compares two packed yuv420p buffers of `width` x `height` pictures.
YuvComparison compare_yuv(std::span<const uint8_t> a, std::span<const uint8_t> b, int width, int height);
/// The same for two files.
YuvComparison compare_yuv_files(const std::string &a, const std::string &b, int width, int height);

// ---- sound -----------------------------------------------------------------

/// Ceiling of every SNR reported, and the value when the test equals the
/// reference; max_abs_diff tells whether they are exactly equal.
inline constexpr double kSnrIdentical = 99.0;

/// s16le interleaved samples of a byte buffer (a trailing odd byte dropped).
std::vector<int16_t> pcm_samples(std::span<const uint8_t> bytes);
/// The same from a file; nullopt when it cannot be read.
std::optional<std::vector<int16_t>> read_pcm_file(const std::string &path);

struct PcmComparison {
  /// 10*log10(reference energy / error energy) over the aligned overlap,
  /// within [-kSnrIdentical, kSnrIdentical]: the ceiling when the error is
  /// zero (or the overlap empty), the floor when the reference is silent but
  /// the test is not.
  double snr_db = kSnrIdentical;
  /// Largest |reference - test| over the overlap.
  int max_abs_diff = 0;
  /// Sample frames by which the test lags the reference: test frame
  /// i + lag lines up with reference frame i. Negative when the test starts
  /// later in the signal (leading samples missing).
  int64_t lag = 0;
  /// Sample frames compared (the overlap at `lag`).
  int64_t frames_compared = 0;
  int64_t frames_reference = 0;
  int64_t frames_test = 0;
  /// Bad channel count or a read failure.
  std::string error;

  bool ok() const { return error.empty(); }
  /// One line for a failure message.
  std::string describe() const;
};

/// Compares two s16 interleaved buffers of `channels` channels. With
/// max_lag > 0 it first finds the lag in [-max_lag, max_lag] frames with the
/// least mean squared error over a window of the reference (up to 16384
/// frames taken after the first max_lag frames) and then compares the whole
/// overlap at that lag. Ties go to the lag nearest 0.
PcmComparison compare_pcm(std::span<const int16_t> reference, std::span<const int16_t> test, int channels,
                          int max_lag = 0);
/// The same for two s16le files.
PcmComparison compare_pcm_files(const std::string &reference, const std::string &test, int channels,
                                int max_lag = 0);

// ---- bytes -----------------------------------------------------------------

/// Offset of the first byte that differs; when one input is a prefix of the
/// other, the length of the shorter; nullopt when both are equal.
std::optional<std::size_t> first_difference(std::span<const uint8_t> a, std::span<const uint8_t> b);

struct ByteComparison {
  /// As first_difference().
  std::optional<uint64_t> first_difference;
  uint64_t size_a = 0;
  uint64_t size_b = 0;
  /// A file that could not be read.
  std::string error;

  bool ok() const { return error.empty(); }
  bool identical() const { return ok() && !first_difference; }
  /// One line for a failure message: sizes, offset and the bytes around it.
  std::string describe() const;
  /// Up to 8 bytes of each side from the first difference, in hex.
  std::string context_a, context_b;
};

ByteComparison compare_bytes(std::span<const uint8_t> a, std::span<const uint8_t> b);
ByteComparison compare_files(const std::string &a, const std::string &b);

}  // namespace testing_support
