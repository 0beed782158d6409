#include "components/tonvale/tonvale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_media.h"

extern "C" int tonvale_header_is_c(void);

namespace {

constexpr int kRate = 48000;
// The audio engine's band table at 48 kHz.
constexpr int32_t kBands[TONVALE_BANDS] = {120, 220, 280, 580, 800, 4000, 6000, 12000, 4000, 4000};

// An equaliser on its own 64-byte block, destroyed with the test.
class Eq {
 public:
  Eq(int channels = 2, int rate = kRate) {
    obj_ = TonvaleConstruct(block_);
    EXPECT_EQ(obj_, static_cast<void *>(block_));
    int32_t bands[TONVALE_BANDS];
    for (int i = 0; i < TONVALE_BANDS; ++i) bands[i] = int32_t(int64_t(kBands[i]) * rate / 48000);
    EXPECT_EQ(TonvaleSetFormat(obj_, channels, rate, TONVALE_BANDS, bands), 1);
  }
  ~Eq() { TonvaleDestroy(obj_); }
  void gains(std::initializer_list<std::pair<int, int32_t>> set) {
    int32_t g[TONVALE_BANDS] = {};
    for (auto [band, db] : set) g[band] = db;
    EXPECT_EQ(TonvaleSetGains(obj_, g), 1);
  }
  void enable(bool on) { EXPECT_EQ(TonvaleSetEnable(obj_, on ? 1 : 0), 1); }
  void process(std::vector<int16_t> &pcm, int channels) {
    ASSERT_EQ(TonvaleProcess(obj_, pcm.data(), pcm.data(), int32_t(pcm.size() / size_t(channels))), 1);
  }
  void *obj() { return obj_; }

 private:
  alignas(8) unsigned char block_[TONVALE_OBJECT_SIZE] = {};
  void *obj_ = nullptr;
};

// Interleaved PCM with tone freqs[c] (0: silence) of amplitude amp on
// channel c.
std::vector<int16_t> tones(const std::vector<double> &freqs, double amp, int frames, int rate = kRate) {
  const size_t ch = freqs.size();
  std::vector<int16_t> pcm(size_t(frames) * ch);
  for (int i = 0; i < frames; ++i)
    for (size_t c = 0; c < ch; ++c)
      pcm[size_t(i) * ch + c] =
          freqs[c] > 0 ? int16_t(std::lround(amp * std::sin(2 * M_PI * freqs[c] * i / rate))) : int16_t(0);
  return pcm;
}

// Amplitude of the component at freq in channel c, measured over the last
// second (a whole number of cycles for whole-hertz tones), after the
// filters have settled.
double amplitude_at(const std::vector<int16_t> &pcm, int channels, int c, double freq, int rate = kRate) {
  const size_t frames = pcm.size() / size_t(channels);
  const size_t start = frames - size_t(rate);
  double s = 0, k = 0;
  for (size_t i = start; i < frames; ++i) {
    const double x = pcm[i * size_t(channels) + size_t(c)];
    const double ph = 2 * M_PI * freq * double(i) / rate;
    s += x * std::sin(ph);
    k += x * std::cos(ph);
  }
  return 2.0 * std::hypot(s, k) / double(rate);
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

// Gain in dB that the equaliser gives a tone of freq with the given band
// gains, on a mono signal at rate.
double measured_gain(std::initializer_list<std::pair<int, int32_t>> set, double freq, int rate = kRate) {
  Eq eq(1, rate);
  eq.gains(set);
  eq.enable(true);
  auto pcm = tones({freq}, 1000.0, rate * 3 / 2, rate);
  const double before = amplitude_at(pcm, 1, 0, freq, rate);
  eq.process(pcm, 1);
  return db(amplitude_at(pcm, 1, 0, freq, rate) / before);
}

TEST(Tonvale, FlatGainsAreTransparent) {
  // A rich stereo signal: several tones per channel near full scale.
  const int frames = kRate;
  std::vector<int16_t> pcm(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) {
      double v = 0;
      for (double f : {110.0, 583.0, 3971.0, 11999.0})
        v += 7000.0 * std::sin(2 * M_PI * (f + 17 * c) * i / kRate);
      pcm[size_t(i) * 2 + size_t(c)] = int16_t(std::lround(v));
    }
  const auto input = pcm;
  Eq eq;
  eq.gains({{3, 9}});  // a gain set and taken back leaves no trace
  eq.gains({});
  eq.enable(true);
  eq.process(pcm, 2);
  double signal = 0, noise = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    signal += double(input[i]) * input[i];
    noise += double(pcm[i] - input[i]) * (pcm[i] - input[i]);
  }
  const double snr = noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
  EXPECT_GE(snr, 90.0);
}

TEST(Tonvale, ACutUndoesTheSameBoost) {
  // A cut is the exact inverse of the boost of the same size at the same
  // band, so boosting then cutting must give the input back at every
  // frequency, phase included, up to the rounding to 16 bits in between.
  const int frames = kRate;
  std::vector<int16_t> input(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    double v = 0;
    for (double f : {90.0, 571.0, 1234.0, 5003.0, 15000.0})
      v += 1200.0 * std::sin(2 * M_PI * f * i / kRate + f);
    input[size_t(i)] = int16_t(std::lround(v));
  }
  auto pcm = input;
  Eq boost(1), cut(1);
  boost.gains({{1, 9}, {3, 12}, {7, 6}});
  cut.gains({{1, -9}, {3, -12}, {7, -6}});
  boost.enable(true);
  cut.enable(true);
  boost.process(pcm, 1);
  EXPECT_NE(pcm, input);
  cut.process(pcm, 1);
  double signal = 0, noise = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    signal += double(input[i]) * input[i];
    noise += double(pcm[i] - input[i]) * (pcm[i] - input[i]);
  }
  EXPECT_GE(10 * std::log10(signal / std::max(noise, 1e-9)), 70.0);
}

// Runs ffmpeg's peaking equaliser (the same cookbook filter, in double
// precision) over mono 48 kHz PCM; false when ffmpeg is missing or fails.
bool ffmpeg_equalise(const std::vector<int16_t> &in, const std::string &chain, std::vector<int16_t> &out) {
  const std::string dir = testing_support::scratch_dir();
  const std::string in_path = dir + "/tonvale_in.raw", out_path = dir + "/tonvale_out.raw";
  std::ofstream(in_path, std::ios::binary)
      .write(reinterpret_cast<const char *>(in.data()), std::streamsize(in.size() * 2));
  const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -f s16le -ar 48000 -ac 1 -i '" +
                          in_path + "' -af 'aformat=sample_fmts=dbl," + chain +
                          "' -f s16le -c:a pcm_s16le '" + out_path + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  std::ifstream f(out_path, std::ios::binary);
  out.assign(in.size(), 0);
  f.read(reinterpret_cast<char *>(out.data()), std::streamsize(out.size() * 2));
  return f.gcount() == std::streamsize(out.size() * 2);
}

TEST(Tonvale, MatchesFfmpegsPeakingEqualiser) {
  if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  const int frames = kRate;
  std::vector<int16_t> input(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    double v = 0;
    for (double f : {90.0, 230.0, 571.0, 1234.0, 5003.0, 11800.0})
      v += 1500.0 * std::sin(2 * M_PI * f * i / kRate + f);
    input[size_t(i)] = int16_t(std::lround(v));
  }
  std::vector<int16_t> reference;
  ASSERT_TRUE(ffmpeg_equalise(input,
                              "equalizer=f=220:t=q:w=2.5:g=9,equalizer=f=580:t=q:w=2.5:g=12,"
                              "equalizer=f=12000:t=q:w=2.5:g=-6",
                              reference));
  auto pcm = input;
  Eq eq(1);
  eq.gains({{1, 9}, {3, 12}, {7, -6}});
  eq.enable(true);
  eq.process(pcm, 1);
  double signal = 0, noise = 0;
  int largest = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    signal += double(reference[i]) * reference[i];
    noise += double(pcm[i] - reference[i]) * (pcm[i] - reference[i]);
    largest = std::max(largest, std::abs(pcm[i] - reference[i]));
  }
  EXPECT_GE(10 * std::log10(signal / std::max(noise, 1e-9)), 90.0);
  EXPECT_LE(largest, 1);
}

TEST(Tonvale, EachBandLiftsAndCutsATwelveDecibelsAtItsCentre) {
  for (int band = 0; band < TONVALE_BANDS; ++band) {
    EXPECT_NEAR(measured_gain({{band, 12}}, kBands[band]), 12.0, 1.0) << "band " << band;
    EXPECT_NEAR(measured_gain({{band, -12}}, kBands[band]), -12.0, 1.0) << "band " << band;
  }
  // The engine scales the table to the device rate; the bands follow.
  for (int rate : {44100, 32000, 22050}) {
    const double centre = double(kBands[3]) * rate / 48000;
    EXPECT_NEAR(measured_gain({{3, 12}}, std::round(centre), rate), 12.0, 1.0) << rate;
  }
  // Repeated centres add up (bands 5, 8 and 9 all sit at 4 kHz).
  EXPECT_NEAR(measured_gain({{5, 6}, {8, 6}}, 4000), 12.0, 1.0);
}

TEST(Tonvale, ABandLeavesATwoBandsAwayToneAlone) {
  // Index pairs two apart whose centres differ; bands 6 and 8 (6 kHz and
  // 4 kHz) sit too close for any equaliser to keep apart.
  const std::pair<int, int> pairs[] = {{0, 2}, {1, 3}, {2, 4}, {3, 5}, {5, 7}};
  for (auto [a, b] : pairs) {
    for (int32_t gain : {12, -12}) {
      EXPECT_LE(std::fabs(measured_gain({{a, gain}}, kBands[b])), 1.0) << a << " -> " << b << " at " << gain;
      EXPECT_LE(std::fabs(measured_gain({{b, gain}}, kBands[a])), 1.0) << b << " -> " << a << " at " << gain;
    }
  }
}

TEST(Tonvale, DisabledOrUnformattedPassesBytesThrough) {
  auto input = tones({580, 4000, 120}, 20000.0, 4800);
  {
    Eq eq(3);
    eq.gains({{3, 12}, {5, -12}, {0, 24}});
    auto pcm = input;
    eq.process(pcm, 3);  // never enabled
    EXPECT_EQ(pcm, input);
    eq.enable(true);
    eq.enable(false);
    eq.process(pcm, 3);
    EXPECT_EQ(pcm, input);
    // Apart from its source, the copy is exact too.
    std::vector<int16_t> out(input.size(), 0x5555);
    ASSERT_EQ(TonvaleProcess(eq.obj(), input.data(), out.data(), 4800), 1);
    EXPECT_EQ(out, input);
  }
  alignas(8) unsigned char block[TONVALE_OBJECT_SIZE];
  void *obj = TonvaleConstruct(block);
  ASSERT_NE(obj, nullptr);
  int32_t gains[TONVALE_BANDS] = {12, 12, 12, 12, 12, 12, 12, 12, 12, 12};
  EXPECT_EQ(TonvaleSetGains(obj, gains), 1);
  EXPECT_EQ(TonvaleSetEnable(obj, 1), 1);
  auto pcm = input;
  EXPECT_EQ(TonvaleProcess(obj, pcm.data(), pcm.data(), 1600), 1);
  EXPECT_EQ(pcm, input) << "without a format nothing is touched";
  TonvaleDestroy(obj);
}

TEST(Tonvale, LoudInputSaturatesInsteadOfWrapping) {
  Eq eq(1);
  eq.gains({{3, 12}});
  eq.enable(true);
  auto pcm = tones({580}, 30000.0, kRate / 2);
  eq.process(pcm, 1);
  int16_t hi = *std::max_element(pcm.begin(), pcm.end());
  int16_t lo = *std::min_element(pcm.begin(), pcm.end());
  EXPECT_EQ(hi, 32767);
  EXPECT_EQ(lo, -32768);
  // A wrapped sample would jump by about 65536 in one step; the steepest
  // the clipped tone gets is its unclipped slope, about 2 pi 580 / 48000 *
  // 120000 = 9100 per sample.
  int max_step = 0;
  for (size_t i = 1; i < pcm.size(); ++i) max_step = std::max(max_step, std::abs(pcm[i] - pcm[i - 1]));
  EXPECT_LT(max_step, 12000);
}

TEST(Tonvale, ChannelsKeepTheirOwnMemory) {
  // Eight channels, only one carries sound: the rest stay exact silence,
  // and the sounding one is equalised as it would be alone.
  std::vector<double> freqs(8, 0.0);
  freqs[5] = 800;
  auto pcm = tones(freqs, 1000.0, kRate * 3 / 2);
  const double before = amplitude_at(pcm, 8, 5, 800);
  Eq eq(8);
  eq.gains({{4, 12}});
  eq.enable(true);
  eq.process(pcm, 8);
  for (size_t i = 0; i < pcm.size(); ++i)
    if (i % 8 != 5) {
      ASSERT_EQ(pcm[i], 0) << "sample " << i;
    }
  EXPECT_NEAR(db(amplitude_at(pcm, 8, 5, 800) / before), 12.0, 1.0);
}

TEST(Tonvale, BlockSizeDoesNotChangeTheResult) {
  auto input = tones({220, 6000}, 9000.0, 9600);
  auto whole = input, pieces = input;
  Eq a, b;
  for (Eq *eq : {&a, &b}) {
    eq->gains({{1, 7}, {6, -5}, {9, 3}});
    eq->enable(true);
  }
  a.process(whole, 2);
  // Odd block lengths, as the engine's fills come.
  size_t frame = 0;
  for (int32_t len : {1, 7, 1152, 333, 4096, 4011}) {
    ASSERT_EQ(TonvaleProcess(b.obj(), pieces.data() + frame * 2, pieces.data() + frame * 2, len), 1);
    frame += size_t(len);
  }
  ASSERT_EQ(frame, 9600u);
  EXPECT_EQ(whole, pieces);
  EXPECT_NE(whole, input);
}

TEST(Tonvale, RefusesBadCallsAndLeavesDataAlone) {
  EXPECT_EQ(TonvaleConstruct(nullptr), nullptr);
  alignas(8) unsigned char junk[TONVALE_OBJECT_SIZE] = {};
  int32_t gains[TONVALE_BANDS] = {};
  int16_t data[4] = {1, 2, 3, 4};
  // An object that was never constructed (or was destroyed) is refused.
  EXPECT_EQ(TonvaleSetFormat(junk, 2, kRate, 10, kBands), 0);
  EXPECT_EQ(TonvaleSetGains(junk, gains), 0);
  EXPECT_EQ(TonvaleProcess(junk, data, data, 2), 0);
  EXPECT_EQ(TonvaleSetEnable(junk, 1), 0);
  EXPECT_EQ(TonvaleProcess(nullptr, data, data, 2), 0);
  TonvaleDestroy(nullptr);
  TonvaleDestroy(junk);

  Eq eq(2);
  for (auto [ch, rate, count] :
       {std::tuple{0, kRate, 10}, {9, kRate, 10}, {2, 0, 10}, {2, -1, 10}, {2, kRate, 0}, {2, kRate, 11}})
    EXPECT_EQ(TonvaleSetFormat(eq.obj(), ch, rate, count, kBands), 0) << ch << " " << rate << " " << count;
  EXPECT_EQ(TonvaleSetFormat(eq.obj(), 2, kRate, 10, nullptr), 0);
  EXPECT_EQ(TonvaleSetGains(eq.obj(), nullptr), 0);
  EXPECT_EQ(TonvaleProcess(eq.obj(), nullptr, data, 2), 0);
  EXPECT_EQ(TonvaleProcess(eq.obj(), data, nullptr, 2), 0);
  EXPECT_EQ(TonvaleProcess(eq.obj(), data, data, -1), 0);
  EXPECT_EQ(TonvaleProcess(eq.obj(), data, data, 0), 1);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[3], 4);
  // The refused formats left the stereo one in place.
  eq.gains({{3, 12}});
  eq.enable(true);
  auto pcm = tones({580, 580}, 1000.0, kRate * 3 / 2);
  const double before = amplitude_at(pcm, 2, 1, 580);
  eq.process(pcm, 2);
  EXPECT_NEAR(db(amplitude_at(pcm, 2, 1, 580) / before), 12.0, 1.0);
}

TEST(Tonvale, CentresTheRateCannotCarryAreLeftOut) {
  // The unscaled 48 kHz table at 16 kHz: the 12 kHz band is beyond the
  // Nyquist limit and must neither blow up nor disturb the signal.
  alignas(8) unsigned char block[TONVALE_OBJECT_SIZE];
  void *obj = TonvaleConstruct(block);
  ASSERT_EQ(TonvaleSetFormat(obj, 1, 16000, TONVALE_BANDS, kBands), 1);
  int32_t gains[TONVALE_BANDS] = {0, 0, 0, 0, 0, 0, 0, 24, 0, 0};
  ASSERT_EQ(TonvaleSetGains(obj, gains), 1);
  ASSERT_EQ(TonvaleSetEnable(obj, 1), 1);
  auto input = tones({1000}, 10000.0, 16000);
  auto pcm = input;
  ASSERT_EQ(TonvaleProcess(obj, pcm.data(), pcm.data(), 16000), 1);
  EXPECT_EQ(pcm, input);
  TonvaleDestroy(obj);
}

TEST(Tonvale, OrdinalsAndHeader) {
  EXPECT_EQ(TonvaleProc(TONVALE_ORD_CONSTRUCT), reinterpret_cast<void *>(&TonvaleConstruct));
  EXPECT_EQ(TonvaleProc(TONVALE_ORD_DESTROY), reinterpret_cast<void *>(&TonvaleDestroy));
  EXPECT_EQ(TonvaleProc(TONVALE_ORD_SET_FORMAT), reinterpret_cast<void *>(&TonvaleSetFormat));
  EXPECT_EQ(TonvaleProc(TONVALE_ORD_SET_GAINS), reinterpret_cast<void *>(&TonvaleSetGains));
  EXPECT_EQ(TonvaleProc(TONVALE_ORD_PROCESS), reinterpret_cast<void *>(&TonvaleProcess));
  EXPECT_EQ(TonvaleProc(TONVALE_ORD_SET_ENABLE), reinterpret_cast<void *>(&TonvaleSetEnable));
  EXPECT_EQ(TonvaleProc(0), nullptr);
  EXPECT_EQ(TonvaleProc(7), nullptr);
  EXPECT_EQ(tonvale_header_is_c(), 16);
}

}  // namespace
