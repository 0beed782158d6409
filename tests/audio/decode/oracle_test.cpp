// Our decode against ffmpeg's float decoders: every generated stream
// (Layer II at 32, 44.1 and 48 kHz, mono, stereo and joint stereo, MPEG-2
// low sampling frequencies; Layer III MPEG-1 and MPEG-2), and random Layer I
// and Layer II frames from the frame generator. The float path with every
// sample computed must reach 80 dB SNR, the 16-bit path 60 dB.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/audio/decode/audio_streams.h"
#include "tests/audio/decode/mpeg_audio_frame_gen.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace audio_test {
namespace {

using lunaret::SynthesisKind;

constexpr double kFloatFloorDb = 80.0;
constexpr double kFixedFloorDb = 60.0;

// max_lag: Layers I and II start together with ffmpeg (lag 0 is part of
// the check); Layer III streams carry an information frame and encoder
// delay that ffmpeg trims and we play.
void expect_matches(const std::string &label, const Decoded &ours, const std::vector<int16_t> &reference,
                    int32_t channels, double floor_db, int max_lag) {
  ASSERT_TRUE(ours.probed) << label;
  ASSERT_EQ(ours.channels, channels) << label;
  ASSERT_FALSE(reference.empty()) << label;
  const testing_support::PcmComparison c =
      testing_support::compare_pcm(reference, ours.pcm, channels, max_lag);
  ASSERT_TRUE(c.ok()) << label << ": " << c.describe();
  std::printf("%-40s SNR %6.2f dB (lag %lld, %lld frames, max diff %d)\n", label.c_str(), c.snr_db,
              static_cast<long long>(c.lag), static_cast<long long>(c.frames_compared), c.max_abs_diff);
  EXPECT_GE(c.snr_db, floor_db) << label << ": " << c.describe();
  // Nearly everything must be compared: a decoder that drops frames fails.
  EXPECT_GE(c.frames_compared, c.frames_reference * 9 / 10) << label << ": " << c.describe();
}

class GeneratedStreams : public testing::TestWithParam<const char *> {};

TEST_P(GeneratedStreams, MatchFfmpegFloatDecoders) {
  const Stream s = test_stream(GetParam());
  if (s.path.empty()) GTEST_SKIP() << "no stream and no ffmpeg to make " << GetParam();
  const std::vector<uint8_t> bytes = read_file(s.path);
  const std::vector<int16_t> reference = read_pcm(s.reference);
  DecodeSettings full;
  const Decoded ours = decode_bytes(bytes, full);
  // The stream is what its name says.
  const std::string name = GetParam();
  EXPECT_EQ(ours.info.layer, name.find("_l3_") != std::string::npos ? 3 : 2);
  EXPECT_EQ(ours.info.id, name.find("lsf") != std::string::npos ? 0 : 1);
  EXPECT_EQ(ours.info.sample_rate, s.rate);
  if (name.find("joint") != std::string::npos) {
    EXPECT_EQ(ours.info.mode, 1);
  }
  const int max_lag = name.find("_l3_") != std::string::npos ? 2400 : 0;
  expect_matches(name + " float", ours, reference, s.channels, kFloatFloorDb, max_lag);
  DecodeSettings fixed;
  fixed.synthesis = SynthesisKind::Fixed;
  expect_matches(name + " fixed", decode_bytes(bytes, fixed), reference, s.channels, kFixedFloorDb, max_lag);
}

INSTANTIATE_TEST_SUITE_P(Media, GeneratedStreams,
                         testing::Values("audio_l2_32k_stereo.mp2", "audio_l2_44k_joint.mp2",
                                         "audio_l2_48k_mono.mp2", "audio_l2_48k_stereo.mp2",
                                         "audio_l2_48k_crc.mp2", "audio_l2_22k_lsf.mp2", "audio_l3_44k.mp3",
                                         "audio_l3_22k_lsf.mp3"));

struct GeneratedCase {
  const char *label;
  FrameGenOptions options;
};

FrameGenOptions gen(int32_t layer, int32_t id, int32_t rate_index, int32_t bitrate_index, int32_t mode,
                    int32_t ext, uint32_t seed, bool crc = false) {
  FrameGenOptions o;
  o.layer = layer;
  o.id = id;
  o.sampling_index = rate_index;
  o.bitrate_index = bitrate_index;
  o.mode = mode;
  o.mode_extension = ext;
  o.seed = seed;
  o.crc = crc;
  return o;
}

class RandomFrames : public testing::TestWithParam<GeneratedCase> {};

TEST_P(RandomFrames, MatchFfmpegFloatDecoders) {
  const GeneratedCase &c = GetParam();
  const std::vector<uint8_t> bytes = make_mpeg_audio_stream(c.options);
  const std::string path =
      testing_support::scratch_dir() + "/" + c.label + (c.options.layer == 1 ? ".mp1" : ".mp2");
  ASSERT_TRUE(write_file(path, bytes));
  const std::vector<int16_t> reference = ffmpeg_decode(path, c.options.layer == 1 ? "mp1float" : "mp2float");
  if (reference.empty()) GTEST_SKIP() << "ffmpeg could not decode " << path;
  const int32_t channels = c.options.mode == 3 ? 1 : 2;
  DecodeSettings full;
  expect_matches(std::string(c.label) + " float", decode_bytes(bytes, full), reference, channels,
                 kFloatFloorDb, 0);
  DecodeSettings fixed;
  fixed.synthesis = SynthesisKind::Fixed;
  expect_matches(std::string(c.label) + " fixed", decode_bytes(bytes, fixed), reference, channels,
                 kFixedFloorDb, 0);
}

// Layer II bit rates per channel pick the allocation table: 44.1 kHz at
// 64 kbit/s per channel -> B.2a, 96 -> B.2b, 32 -> B.2c; 32 kHz at 32 ->
// B.2d.
const GeneratedCase kRandomCases[] = {
    {"l1_48k_stereo", gen(1, 1, 1, 14, 0, 0, 11)},
    {"l1_44k_mono", gen(1, 1, 0, 10, 3, 0, 12)},
    {"l1_32k_dual", gen(1, 1, 2, 12, 2, 0, 13)},
    {"l1_44k_joint4", gen(1, 1, 0, 13, 1, 0, 14)},
    {"l1_48k_joint16_crc", gen(1, 1, 1, 14, 1, 3, 15, true)},
    {"l1_lsf_22k", gen(1, 0, 0, 14, 0, 0, 16)},
    {"l2_table_a_44k", gen(2, 1, 0, 8, 0, 0, 21)},
    {"l2_table_b_44k", gen(2, 1, 0, 11, 0, 0, 22)},
    {"l2_table_c_44k", gen(2, 1, 0, 4, 0, 0, 23)},
    {"l2_table_d_32k", gen(2, 1, 2, 4, 0, 0, 24)},
    {"l2_table_a_48k_joint8", gen(2, 1, 1, 14, 1, 1, 25)},
    {"l2_table_b_mono_crc", gen(2, 1, 0, 11, 3, 0, 26, true)},
    {"l2_lsf_24k_joint12", gen(2, 0, 1, 14, 1, 2, 27)},
};

INSTANTIATE_TEST_SUITE_P(Generator, RandomFrames, testing::ValuesIn(kRandomCases),
                         [](const testing::TestParamInfo<GeneratedCase> &info) {
                           return std::string(info.param.label);
                         });

}  // namespace
}  // namespace audio_test
