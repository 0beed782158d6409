// AviAudio through the engine's exports on real AVI files: the converters
// against ffmpeg's s16le decode of the same stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "audio/output/audio_device.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

std::vector<int16_t> ffmpeg_pcm(const std::string &path, int channels, const std::string &input_options) {
  std::string cmd = "ffmpeg -v error " + input_options + " -i '" + path + "' -map 0:a:0 -ac " +
                    std::to_string(channels) + " -f s16le -";
  std::vector<int16_t> out;
  FILE *p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  int16_t buf[4096];
  size_t n;
  while ((n = fread(buf, 2, 4096, p)) > 0) out.insert(out.end(), buf, buf + n);
  if (::pclose(p) != 0) out.clear();
  return out;
}

struct Case {
  const char *name;
  double min_snr;                  // kSnrIdentical: exact
  const char *input_options = "";  // of ffmpeg's reference decode
};

class AviAudio : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { lunaret::set_output_driver(&lunaret::kNullUntimedOutputDriver); }
  void TearDown() override {
    AudioClose();
    lunaret::set_output_driver(nullptr);
  }
};

TEST_P(AviAudio, DecodesLikeFfmpegAndEnds) {
  const std::string path = testing_support::media_path(GetParam().name);
  AudioSetRateMode(AUDIO_RATE_FULL);
  AudioSetChannelMode(AUDIO_CHANNEL_STEREO);
  ASSERT_EQ(AudioOpenFile(path.c_str()), AUDIO_TAG_AVI);
  ASSERT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_AVI_AUDIO);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  std::vector<int16_t> ours;
  bool ended = false;
  for (int i = 0; i < 100000 && !ended; ++i) {
    int32_t bytes = 0;
    auto *pcm = reinterpret_cast<const int16_t *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    if (pcm && bytes > 0) ours.insert(ours.end(), pcm, pcm + bytes / 2);
    ended = AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) != 0;
  }
  EXPECT_TRUE(ended);
  // A mono stream stays mono; more than two channels are folded to two.
  int32_t channels = 0;
  AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, reinterpret_cast<intptr_t>(&channels));
  ASSERT_TRUE(channels == 1 || channels == 2) << channels;
  auto ref = ffmpeg_pcm(path, channels, GetParam().input_options);
  ASSERT_FALSE(ref.empty()) << "ffmpeg failed";
  auto cmp = testing_support::compare_pcm(ref, ours, channels);
  ASSERT_TRUE(cmp.ok()) << cmp.describe();
  EXPECT_GE(cmp.snr_db, GetParam().min_snr) << cmp.describe();
  EXPECT_LE(cmp.max_abs_diff, 1) << cmp.describe();
  if (GetParam().min_snr >= testing_support::kSnrIdentical) {
    EXPECT_EQ(cmp.max_abs_diff, 0) << cmp.describe();
    EXPECT_EQ(ours.size(), ref.size());
  }
}

constexpr double kExact = testing_support::kSnrIdentical;

INSTANTIATE_TEST_SUITE_P(
    Files, AviAudio,
    ::testing::Values(Case{"avi_mjpeg_pcm.avi", kExact}, Case{"avi_bgr24_flip_u8.avi", kExact},
                      Case{"avi_cvid_ima.avi", kExact}, Case{"avi_msvc_adpcm_ms.avi", kExact},
                      Case{"avi_dv_pcm48.avi", kExact}, Case{"avi_h264_ac3.avi", 80},
                      // MPEG audio, the engine's own decoder: within one step of ffmpeg's
                      // decode (a quiet tone, hence the SNR).
                      Case{"avi_divx_mp2.avi", 70}, Case{"avi_xvid_mp3.avi", 70},
                      // Folded to stereo: AC-3 by its decoder's downmix, PCM by the mix
                      // ffmpeg applies too.
                      Case{"avi_ac3_51.avi", 80, "-downmix stereo"}, Case{"avi_pcm_51.avi", 80}),
    [](const auto &info) {
      std::string n = info.param.name;
      return n.substr(4, n.size() - 8);
    });

}  // namespace
