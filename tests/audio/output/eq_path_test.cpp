// The equaliser on the engine's way to the device: transparent with every
// gain at 0, and a +12 dB band lifts a tone at its centre by 12 dB.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "tests/audio/engine/fake_media.h"
#include "tests/audio/engine/test_source.h"

namespace {

using lunaret::Engine;
using lunaret::engine;
using lunaret_test::fake_media;
using lunaret_test::recorder;

constexpr int32_t kRate = 48000;
constexpr double kTone = 800;  // the fifth band's centre at 48 kHz
constexpr int32_t kFrames = 40;
int32_t g_done = 0;

int16_t tone(int64_t frame) {
  return static_cast<int16_t>(
      std::lround(3000.0 * std::sin(2 * M_PI * kTone * static_cast<double>(frame) / kRate)));
}

bool t_open(Engine &) { return true; }
bool t_prepare(Engine &, lunaret::SourceFormat &f) {
  f.layer = 2;
  f.rate = kRate;
  f.rate_index = 1;
  f.channels = 2;
  f.mode = 0;
  f.bit_rate = 192;
  return true;
}
lunaret::FillResult t_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t frames) {
  int32_t values = 0;
  for (int32_t f = 0; f < frames && g_done < kFrames && values + 2304 <= capacity; ++f, ++g_done)
    for (int32_t i = 0; i < 1152; ++i) {
      int16_t v = tone(int64_t{g_done} * 1152 + i);
      dst[values++] = v;
      dst[values++] = v;
    }
  if (values == 0) e.input_ended = true;
  return {values, values > 0};
}
void t_reset(Engine &, bool) {}
void t_close(Engine &) {}
const lunaret::SourceOps kToneOps = {t_open, t_prepare, t_fill, t_reset, t_close};

class EqualiserPath : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_media().install();
    lunaret::set_source_ops(lunaret::SourceKind::mpeg_audio, &kToneOps);
    recorder().clear();
    lunaret::set_output_driver(&lunaret_test::kRecordingDriver);
    g_done = 0;
  }
  void TearDown() override {
    AudioClose();
    int32_t flat[10] = {};
    AudioCommand(AUDIO_CMD_SET_EQUALISER, reinterpret_cast<intptr_t>(flat));
    AudioCommand(AUDIO_CMD_SET_EQ_ENABLE, 0);
    lunaret::set_output_driver(nullptr);
    lunaret::set_source_ops(lunaret::SourceKind::mpeg_audio, nullptr);
    lunaret_test::FakeMedia::uninstall();
  }

  static std::vector<int16_t> play(const int32_t gains[10]) {
    AudioCommand(AUDIO_CMD_SET_EQUALISER, reinterpret_cast<intptr_t>(gains));
    AudioCommand(AUDIO_CMD_SET_EQ_ENABLE, 1);
    EXPECT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
    EXPECT_EQ(AudioOpenOutput(nullptr), 1);
    EXPECT_EQ(AudioPlay(), 1);
    EXPECT_TRUE(fake_media().serve_to_end()) << "playback did not reach its end";
    AudioClose();
    return recorder().take();
  }

  static double rms_left(const std::vector<int16_t> &v, size_t from) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i + 1 < v.size(); i += 2, ++n) sum += double(v[i]) * v[i];
    return std::sqrt(sum / static_cast<double>(n ? n : 1));
  }
};

TEST_F(EqualiserPath, AllGainsZeroIsTransparent) {
  const int32_t flat[10] = {};
  std::vector<int16_t> out = play(flat);
  ASSERT_EQ(out.size(), size_t{kFrames} * 2304);
  double signal = 0, noise = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    double ref = tone(static_cast<int64_t>(i / 2));
    signal += ref * ref;
    noise += (out[i] - ref) * (out[i] - ref);
  }
  double snr = noise == 0 ? 200 : 10 * std::log10(signal / noise);
  EXPECT_GE(snr, 90.0);
}

TEST_F(EqualiserPath, PlusTwelveDecibelBandLiftsItsCentreByTwelve) {
  const int32_t lift[10] = {0, 0, 0, 0, 12, 0, 0, 0, 0, 0};
  std::vector<int16_t> out = play(lift);
  ASSERT_EQ(out.size(), size_t{kFrames} * 2304);
  // After the filter has settled (a quarter of a second).
  size_t from = static_cast<size_t>(kRate / 4) * 2;
  std::vector<int16_t> in(out.size());
  for (size_t i = 0; i < in.size(); ++i) in[i] = tone(static_cast<int64_t>(i / 2));
  double gain_db = 20 * std::log10(rms_left(out, from) / rms_left(in, from));
  EXPECT_NEAR(gain_db, 12.0, 1.0);
}

}  // namespace
