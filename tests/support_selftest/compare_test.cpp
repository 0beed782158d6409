// The comparison helpers against inputs whose answer is known exactly:
// identical data, noise of a known power, a known shift, known first
// differences. The expected figures are worked out here from first
// principles, not taken from the code under test.
#include "tests/support/compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

#include "tests/support/test_media.h"

namespace testing_support {
namespace {

// ---- pictures --------------------------------------------------------------

// A packed yuv420p sequence with detail everywhere, samples within 16..239
// so that +-d noise below never clips.
std::vector<uint8_t> make_yuv(int w, int h, int frames) {
  std::vector<uint8_t> v(yuv_picture_size(w, h) * frames);
  for (std::size_t i = 0; i < v.size(); i++) v[i] = static_cast<uint8_t>(16 + (i * 7 + i / 13) % 224);
  return v;
}

// Adds +d / -d alternately to every sample of one plane of every picture:
// MSE d^2 on that plane, 0 elsewhere.
void add_noise(std::vector<uint8_t> &yuv, int w, int h, int plane, int d) {
  const std::size_t size = yuv_picture_size(w, h);
  const std::size_t luma = static_cast<std::size_t>(w) * h;
  const std::size_t chroma = static_cast<std::size_t>((w + 1) / 2) * ((h + 1) / 2);
  const std::size_t begin = plane == 0 ? 0 : plane == 1 ? luma : luma + chroma;
  const std::size_t end = plane == 0 ? luma : begin + chroma;
  for (std::size_t base = 0; base < yuv.size(); base += size) {
    for (std::size_t i = begin; i < end; i++)
      yuv[base + i] = static_cast<uint8_t>(yuv[base + i] + (i % 2 ? d : -d));
  }
}

double psnr_of_mse(double mse) { return 10 * std::log10(255.0 * 255.0 / mse); }

TEST(ComparePictures, IdenticalSequencesReachTheCapOnEveryPlane) {
  const auto a = make_yuv(64, 48, 3);
  const YuvComparison r = compare_yuv(a, a, 64, 48);
  ASSERT_TRUE(r.ok()) << r.describe();
  EXPECT_EQ(r.frames_a, 3);
  EXPECT_EQ(r.frames_b, 3);
  ASSERT_EQ(r.pictures.size(), 3u);
  for (const auto &p : r.pictures) EXPECT_EQ(p.min(), kPsnrIdentical);
  EXPECT_EQ(r.mean.min(), kPsnrIdentical);
  EXPECT_EQ(r.worst.min(), kPsnrIdentical);
}

// Noise of a known power on one plane shows on that plane only, at
// 10*log10(255^2/d^2), including odd sizes whose chroma rounds up.
TEST(ComparePictures, KnownNoiseGivesItsPsnrOnItsPlaneOnly) {
  struct Case {
    int w, h, plane, d;
  };
  for (const Case c : {Case{64, 48, 0, 3}, Case{64, 48, 1, 5}, Case{45, 31, 2, 2}, Case{45, 31, 0, 1}}) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " plane " << c.plane << " d " << c.d);
    const auto a = make_yuv(c.w, c.h, 2);
    auto b = a;
    add_noise(b, c.w, c.h, c.plane, c.d);
    const YuvComparison r = compare_yuv(a, b, c.w, c.h);
    ASSERT_TRUE(r.ok()) << r.describe();
    const double expected = psnr_of_mse(c.d * c.d);
    const double got[3] = {r.mean.y, r.mean.cb, r.mean.cr};
    for (int p = 0; p < 3; p++) EXPECT_NEAR(got[p], p == c.plane ? expected : kPsnrIdentical, 1e-9) << p;
    for (const auto &pic : r.pictures) EXPECT_NEAR(pic.min(), expected, 1e-9);
  }
}

// The mean follows the total squared error (as ffmpeg's psnr filter does),
// the worst and its index the bad picture.
TEST(ComparePictures, MeanComesFromTheTotalErrorAndWorstNamesThePicture) {
  const int w = 32, h = 32;
  const auto a = make_yuv(w, h, 4);
  auto b = a;
  // Picture 2's luma off by 4 everywhere: MSE 16 there, 0 in the others.
  const std::size_t size = yuv_picture_size(w, h);
  for (int i = 0; i < w * h; i++) b[2 * size + i] = static_cast<uint8_t>(b[2 * size + i] + 4);
  const YuvComparison r = compare_yuv(a, b, w, h);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.worst_index, 2);
  EXPECT_NEAR(r.pictures[2].y, psnr_of_mse(16), 1e-9);
  EXPECT_NEAR(r.worst.y, psnr_of_mse(16), 1e-9);
  EXPECT_NEAR(r.mean.y, psnr_of_mse(16.0 / 4), 1e-9);
  EXPECT_EQ(r.pictures[1].y, kPsnrIdentical);
}

TEST(ComparePictures, DifferentLengthsCompareTheCommonPicturesAndSayBoth) {
  const auto a = make_yuv(16, 16, 5);
  const std::vector<uint8_t> b(a.begin(), a.begin() + yuv_picture_size(16, 16) * 3);
  const YuvComparison r = compare_yuv(a, b, 16, 16);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.frames_a, 5);
  EXPECT_EQ(r.frames_b, 3);
  EXPECT_EQ(r.pictures.size(), 3u);
  EXPECT_EQ(r.mean.min(), kPsnrIdentical);

  auto partial = a;
  partial.pop_back();
  EXPECT_FALSE(compare_yuv(a, partial, 16, 16).ok());
  EXPECT_FALSE(compare_yuv(a, a, 0, 16).ok());
}

// A decoder's padded planes (coded 48x32, stride 64) against ffmpeg's packed
// display-size picture (45x31): only the display area counts.
TEST(ComparePictures, StridedPlanesCompareOnTheDisplayArea) {
  const int w = 45, h = 31, cw = 23, ch = 16;
  const auto packed = make_yuv(w, h, 1);
  const PictureView ref = yuv_picture(packed, w, h, 0);
  std::vector<uint8_t> y(64 * 32, 0), cb(32 * 16, 0), cr(32 * 16, 0);
  for (int r = 0; r < h; r++)
    for (int c = 0; c < w; c++) y[r * 64 + c] = ref.y.data[r * w + c];
  for (int r = 0; r < ch; r++)
    for (int c = 0; c < cw; c++) {
      cb[r * 32 + c] = ref.cb.data[r * cw + c];
      cr[r * 32 + c] = ref.cr.data[r * cw + c];
    }
  PictureView dec{{y.data(), 64, w, h}, {cb.data(), 32, cw, ch}, {cr.data(), 32, cw, ch}};
  EXPECT_EQ(picture_psnr(dec, ref).min(), kPsnrIdentical);
  y[5 * 64 + 7] = static_cast<uint8_t>(y[5 * 64 + 7] + 10);  // one sample off by 10
  EXPECT_NEAR(plane_psnr(dec.y, ref.y), psnr_of_mse(100.0 / (w * h)), 1e-9);
  EXPECT_NEAR(plane_mse(dec.y, ref.y), 100.0 / (w * h), 1e-12);
  // A picture index past the end gives empty planes, which compare as empty.
  EXPECT_EQ(yuv_picture(packed, w, h, 1).y.data, nullptr);
}

// ---- sound -----------------------------------------------------------------

// Two channels of different tones, amplitude 8000 and 5000.
std::vector<int16_t> make_tones(int frames) {
  std::vector<int16_t> v(2 * frames);
  for (int i = 0; i < frames; i++) {
    v[2 * i] = static_cast<int16_t>(std::lrint(8000 * std::sin(2 * std::numbers::pi * 441 * i / 44100.0)));
    v[2 * i + 1] =
        static_cast<int16_t>(std::lrint(5000 * std::sin(2 * std::numbers::pi * 1234.5 * i / 44100.0 + 1)));
  }
  return v;
}

TEST(ComparePcm, IdenticalBuffersReachTheCapWithNoDifference) {
  const auto a = make_tones(10000);
  const PcmComparison r = compare_pcm(a, a, 2);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.snr_db, kSnrIdentical);
  EXPECT_EQ(r.max_abs_diff, 0);
  EXPECT_EQ(r.frames_compared, 10000);
  EXPECT_EQ(r.lag, 0);
}

// A square wave of amplitude 1000 against itself with +-10 added: signal
// power 10^6, noise power 100, SNR exactly 40 dB, largest difference 10.
TEST(ComparePcm, KnownNoiseGivesItsSnrAndLargestDifference) {
  std::vector<int16_t> ref(2 * 4096), test(2 * 4096);
  for (std::size_t i = 0; i < ref.size(); i++) {
    ref[i] = static_cast<int16_t>((i / 50) % 2 ? 1000 : -1000);
    test[i] = static_cast<int16_t>(ref[i] + ((i * 7) % 3 == 0 ? 10 : -10));
  }
  const PcmComparison r = compare_pcm(ref, test, 2);
  EXPECT_NEAR(r.snr_db, 40.0, 1e-9);
  EXPECT_EQ(r.max_abs_diff, 10);
  // One sample off by 321 more: the largest difference names it.
  test[777] = static_cast<int16_t>(ref[777] + 321);
  EXPECT_EQ(compare_pcm(ref, test, 2).max_abs_diff, 321);
}

// A test that starts late (leading zeros) or early (first frames missing)
// is found at its lag in frames, with both channels kept together.
TEST(ComparePcm, ShiftedSoundIsFoundAtItsLag) {
  const auto ref = make_tones(30000);
  for (int shift : {37, -50, 529, -1, 0}) {
    SCOPED_TRACE(shift);
    std::vector<int16_t> test;
    if (shift >= 0) {
      test.assign(2 * shift, 0);
      test.insert(test.end(), ref.begin(), ref.end());
    } else {
      test.assign(ref.begin() + 2 * -shift, ref.end());
    }
    const PcmComparison r = compare_pcm(ref, test, 2, 1152);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.lag, shift) << r.describe();
    EXPECT_EQ(r.snr_db, kSnrIdentical) << r.describe();
    EXPECT_EQ(r.max_abs_diff, 0);
    // Leading zeros are compared too; missing frames cannot be.
    EXPECT_EQ(r.frames_compared, shift >= 0 ? 30000 : 30000 + shift);
    // Without the search the same input is far off.
    if (std::abs(shift) >= 37) {
      EXPECT_LT(compare_pcm(ref, test, 2).snr_db, 10.0);
    }
  }
}

TEST(ComparePcm, EdgeCasesGiveClearResults) {
  const std::vector<int16_t> silence(200, 0), blip = [] {
    std::vector<int16_t> v(200, 0);
    v[10] = 5;
    return v;
  }();
  EXPECT_EQ(compare_pcm(silence, blip, 2).snr_db, -kSnrIdentical);
  EXPECT_EQ(compare_pcm(silence, silence, 2).snr_db, kSnrIdentical);
  EXPECT_FALSE(compare_pcm(silence, blip, 0).ok());
  const PcmComparison empty = compare_pcm({}, blip, 2, 100);
  EXPECT_TRUE(empty.ok());
  EXPECT_EQ(empty.frames_compared, 0);
  EXPECT_EQ(empty.frames_test, 100);
}

TEST(ComparePcm, BytesAreReadLittleEndian) {
  const uint8_t bytes[] = {0x34, 0x12, 0xff, 0xff, 0x00, 0x80, 0x07};
  EXPECT_EQ(pcm_samples(bytes), (std::vector<int16_t>{0x1234, -1, -32768}));
}

// ---- bytes and files -----------------------------------------------------

TEST(CompareBytes, FirstDifferenceIsTheOffsetOrTheShorterLength) {
  const std::vector<uint8_t> base = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    std::vector<uint8_t> other;
    std::optional<std::size_t> expected;
  };
  const Case cases[] = {
      {base, std::nullopt},
      {{9, 2, 3, 4, 5, 6, 7, 8}, 0},
      {{1, 2, 3, 9, 5, 6, 7, 8}, 3},
      {{1, 2, 3, 4, 5, 6, 7, 9}, 7},
      {{1, 2, 3, 4, 5}, 5},
      {{1, 2, 3, 4, 5, 6, 7, 8, 0}, 8},
      {{}, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(first_difference(base, c.other), c.expected);
    EXPECT_EQ(first_difference(c.other, base), c.expected);
  }
  EXPECT_EQ(first_difference({}, {}), std::nullopt);
  const ByteComparison r = compare_bytes(base, cases[2].other);
  EXPECT_EQ(r.first_difference, 3u);
  EXPECT_EQ(r.context_a, "04 05 06 07 08");
  EXPECT_EQ(r.context_b, "09 05 06 07 08");
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(CompareFiles, FilesAndSideFilesAreRead) {
  const std::string dir = scratch_dir();
  write_file(dir + "/a.bin", std::string("\x00\x01\x02\x03", 4));
  write_file(dir + "/b.bin", std::string("\x00\x01\x07\x03", 4));
  const ByteComparison r = compare_files(dir + "/a.bin", dir + "/b.bin");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.first_difference, 2u);
  EXPECT_TRUE(compare_files(dir + "/a.bin", dir + "/a.bin").identical());
  const ByteComparison missing = compare_files(dir + "/a.bin", dir + "/none.bin");
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.describe().find("none.bin"), std::string::npos);
  EXPECT_FALSE(compare_yuv_files(dir + "/none.yuv", dir + "/a.bin", 2, 2).ok());
  EXPECT_FALSE(compare_pcm_files(dir + "/a.bin", dir + "/none.pcm", 2).ok());
  // The 4 bytes as s16le: {256, 770} against {256, 775}.
  const PcmComparison pcm = compare_pcm_files(dir + "/a.bin", dir + "/b.bin", 1);
  EXPECT_EQ(pcm.max_abs_diff, 5);

  struct Side {
    std::string text;
    bool valid;
  };
  const Side yuv_sides[] = {
      {"720 576 50\n", true},    {"  352 288 75  \n\n", true}, {"720 576\n", false}, {"720 576 x\n", false},
      {"720 576 50 1\n", false}, {"0 576 50\n", false},        {"", false}};
  for (const Side &s : yuv_sides) {
    write_file(dir + "/x.yuv.txt", s.text);
    EXPECT_EQ(read_yuv_info(dir + "/x.yuv.txt").has_value(), s.valid) << '"' << s.text << '"';
  }
  write_file(dir + "/x.yuv.txt", "720 576 50\n");
  const auto yuv = read_yuv_info(dir + "/x.yuv.txt");
  ASSERT_TRUE(yuv);
  EXPECT_EQ(yuv->width, 720);
  EXPECT_EQ(yuv->height, 576);
  EXPECT_EQ(yuv->frames, 50);

  write_file(dir + "/x.pcm.txt", "44100 2 132480\n");
  const auto pcm_info = read_pcm_info(dir + "/x.pcm.txt");
  ASSERT_TRUE(pcm_info);
  EXPECT_EQ(pcm_info->rate, 44100);
  EXPECT_EQ(pcm_info->channels, 2);
  EXPECT_EQ(pcm_info->samples_per_channel, 132480);
  write_file(dir + "/x.pcm.txt", "44100 -2 5\n");
  EXPECT_FALSE(read_pcm_info(dir + "/x.pcm.txt"));
  EXPECT_FALSE(read_pcm_info(dir + "/none.txt"));
}

}  // namespace
}  // namespace testing_support
