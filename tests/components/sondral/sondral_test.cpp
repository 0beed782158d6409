// Sondral against ffmpeg: its streams read back at 44.1 kHz with the layer
// and rate asked for, sound like ffmpeg's own resampling of the input (SNR
// with the lag searched), last as long as the input within one frame, and
// our decoder agrees with ffmpeg's on our Layer I; bad settings, a second
// open and a full disk give 0.
#include "components/sondral/sondral.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tests/audio/decode/audio_streams.h"
#include "tests/components/encoder_support/encoder_support.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

using encoder_test::shell_quoted;

struct Input {
  std::string pcm;  // s16le
  int rate;
  int channels;
};

Input input(const std::string &stream) {
  const std::string pcm = testing_support::media_path(stream + ".pcm");
  const auto info = testing_support::read_pcm_info(pcm + ".txt");
  return {pcm, info ? info->rate : 0, info ? info->channels : 0};
}

void set_up(const Input &in, int layer, int kbps) {
  SondralSetInputRate(in.rate);
  SondralSetInputBits(16);
  SondralSetChannels(in.channels);
  SondralSetLayer(layer);
  SondralSetOutputRate(44100);
  SondralSetBitRate(kbps);
}

/// Encodes the input written in odd pieces (a sample split across writes).
bool encode(const Input &in, int layer, int kbps, const std::string &out) {
  const auto pcm = encoder_test::file_bytes(in.pcm);
  set_up(in, layer, kbps);
  if (SondralOpen(out.c_str()) != 1) return false;
  static const size_t kPieces[] = {1, 7, 333, 4097, 2, 1000, 65535, 3};
  size_t at = 0;
  for (int i = 0; at < pcm.size(); ++i) {
    const size_t n = std::min(kPieces[i % 8], pcm.size() - at);
    if (SondralWrite(pcm.data() + at, int32_t(n)) != 1) return false;
    at += n;
  }
  return SondralClose() == 1;
}

/// ffmpeg's resampling of the input to 44.1 kHz, s16.
std::vector<int16_t> resampled_reference(const Input &in, const std::string &dir) {
  const std::string out =
      dir + "/" + std::to_string(in.rate) + "_" + std::to_string(in.channels) + ".ref.pcm";
  encoder_test::run_tool("ffmpeg -v error -y -f s16le -ar " + std::to_string(in.rate) + " -ac " +
                         std::to_string(in.channels) + " -i " + shell_quoted(in.pcm) +
                         " -af aresample=44100 -f s16le " + shell_quoted(out));
  return testing_support::read_pcm_file(out).value_or(std::vector<int16_t>{});
}

std::vector<int16_t> ffmpeg_decode(const std::string &path) {
  const std::string out = path + ".dec.pcm";
  encoder_test::run_tool("ffmpeg -v error -y -i " + shell_quoted(path) + " -f s16le " + shell_quoted(out));
  return testing_support::read_pcm_file(out).value_or(std::vector<int16_t>{});
}

class SondralTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(encoder_test::have_tool("ffmpeg")) << "ffmpeg is needed as the oracle";
    ASSERT_TRUE(encoder_test::have_tool("ffprobe")) << "ffprobe is needed as the oracle";
    dir_ = testing_support::scratch_dir();
  }
  std::string dir_;
};

TEST_F(SondralTest, StreamsSoundLikeFfmpegsResamplingOfTheInput) {
  struct Case {
    const char *stream;
    int layer;
    int kbps;
    double min_snr;
  };
  const Case cases[] = {
      {"audio_l2_48k_stereo", 2, 224, 30.0}, {"audio_l2_32k_stereo", 2, 224, 30.0},
      {"audio_l2_22k_lsf", 2, 224, 30.0},    {"audio_l2_48k_mono", 2, 192, 30.0},
      {"audio_l2_48k_stereo", 1, 384, 40.0}, {"audio_l2_32k_stereo", 1, 384, 40.0},
      {"audio_l2_22k_lsf", 1, 384, 40.0},    {"audio_l2_48k_mono", 1, 384, 40.0},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.stream) + " layer " + std::to_string(c.layer));
    const Input in = input(c.stream);
    ASSERT_GT(in.rate, 0) << "test media missing";
    const std::string out = dir_ + "/snr" + std::to_string(n++) + (c.layer == 1 ? ".mp1" : ".mp2");
    ASSERT_TRUE(encode(in, c.layer, c.kbps, out));
    const auto streams = encoder_test::probe_streams(out);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), c.layer == 1 ? "mp1" : "mp2");
    EXPECT_EQ(streams[0].at("sample_rate"), "44100");
    EXPECT_EQ(streams[0].at("channels"), std::to_string(in.channels));
    EXPECT_EQ(streams[0].at("bit_rate"), std::to_string(c.kbps * 1000));

    const auto reference = resampled_reference(in, dir_);
    const auto decoded = ffmpeg_decode(out);
    const auto cmp = testing_support::compare_pcm(reference, decoded, in.channels, 2000);
    ASSERT_TRUE(cmp.ok()) << cmp.error;
    EXPECT_GE(cmp.snr_db, c.min_snr) << cmp.describe();
    RecordProperty(std::string("snr_") + std::to_string(n), std::to_string(cmp.snr_db));
    // The length: the input's, within one frame (plus the resampler's delay).
    const int frame = c.layer == 1 ? 384 : 1152;
    EXPECT_LE(std::llabs(cmp.frames_test - cmp.frames_reference), frame + 64) << cmp.describe();
  }
}

TEST_F(SondralTest, OurDecoderAgreesWithFfmpegsOnOurLayerOne) {
  const Input in = input("audio_l2_48k_stereo");
  ASSERT_GT(in.rate, 0) << "test media missing";
  for (int kbps : {192, 384}) {
    const std::string out = dir_ + "/agree" + std::to_string(kbps) + ".mp1";
    ASSERT_TRUE(encode(in, 1, kbps, out));
    const auto ours = audio_test::decode_bytes(encoder_test::file_bytes(out));
    const auto theirs = audio_test::ffmpeg_decode(out, "mp1float");
    ASSERT_FALSE(theirs.empty());
    const auto cmp = testing_support::compare_pcm(theirs, ours.pcm, 2);
    EXPECT_GE(cmp.snr_db, 80.0) << cmp.describe();
    EXPECT_EQ(cmp.frames_test, cmp.frames_reference);
  }
}

TEST_F(SondralTest, RatesTheLayerLacksTakeTheNextLegalOneUp) {
  const Input in = input("audio_l2_48k_stereo");
  struct Case {
    int layer, asked, coded;
  };
  const Case cases[] = {{1, 48, 64},   {1, 56, 64}, {1, 80, 96},   {1, 112, 128},
                        {1, 500, 448}, {2, 40, 48}, {2, 224, 224}, {2, 1000, 384}};
  int n = 0;
  for (const Case &c : cases) {
    const std::string out = dir_ + "/rate" + std::to_string(n++) + ".mpa";
    ASSERT_TRUE(encode(in, c.layer, c.asked, out));
    const auto streams = encoder_test::probe_streams(out);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("bit_rate"), std::to_string(c.coded * 1000)) << c.layer << " at " << c.asked;
  }
  // 44.1 kHz frames are padded so that the rate comes out exact.
  const auto bytes = encoder_test::file_bytes(dir_ + "/rate3.mpa");  // Layer I at 128
  const auto decoded = ffmpeg_decode(dir_ + "/rate3.mpa");
  const double seconds = double(decoded.size()) / 2 / 44100;
  EXPECT_NEAR(double(bytes.size()) * 8 / seconds, 128000.0, 128000.0 * 0.001);
}

TEST_F(SondralTest, BadSettingsAndASecondOpenAreRefusedWithoutAFile) {
  const Input in = input("audio_l2_48k_stereo");
  const std::string out = dir_ + "/refused.mp2";
  struct Case {
    const char *name;
    int rate, bits, channels, layer, out_rate, kbps;
  };
  const Case cases[] = {
      {"layer 3", 48000, 16, 2, 3, 44100, 224},      {"layer 0", 48000, 16, 2, 0, 44100, 224},
      {"no channels", 48000, 16, 0, 2, 44100, 224},  {"three channels", 48000, 16, 3, 2, 44100, 224},
      {"8-bit input", 48000, 8, 2, 2, 44100, 224},   {"input rate 0", 0, 16, 2, 2, 44100, 224},
      {"output 22050", 48000, 16, 2, 2, 22050, 224}, {"bit rate 0", 48000, 16, 2, 2, 44100, 0},
  };
  for (const Case &c : cases) {
    SondralSetInputRate(c.rate);
    SondralSetInputBits(c.bits);
    SondralSetChannels(c.channels);
    SondralSetLayer(c.layer);
    SondralSetOutputRate(c.out_rate);
    SondralSetBitRate(c.kbps);
    EXPECT_EQ(SondralOpen(out.c_str()), 0) << c.name;
    EXPECT_FALSE(encoder_test::file_exists(out)) << c.name;
  }
  set_up(in, 2, 224);
  EXPECT_EQ(SondralOpen(nullptr), 0);
  EXPECT_EQ(SondralOpen(""), 0);
  EXPECT_EQ(SondralWrite("\0\0\0\0", 4), 0) << "no job runs";
  EXPECT_EQ(SondralClose(), 0) << "no job runs";
  const std::string first = dir_ + "/first.mp2", second = dir_ + "/second.mp2";
  ASSERT_EQ(SondralOpen(first.c_str()), 1);
  EXPECT_EQ(SondralOpen(second.c_str()), 0);
  EXPECT_FALSE(encoder_test::file_exists(second));
  EXPECT_EQ(SondralWrite(nullptr, 4), 0);
  EXPECT_EQ(SondralWrite("\0\0\0\0", -1), 0);
  const std::vector<uint8_t> short_sound(4000, 1);  // 1000 sample frames at 48 kHz
  EXPECT_EQ(SondralWrite(short_sound.data(), int32_t(short_sound.size())), 1);
  EXPECT_EQ(SondralWrite(nullptr, 0), 1);
  EXPECT_EQ(SondralClose(), 1);
  // Less than a frame in, one silent-padded frame out: 224 kbit/s at
  // 44.1 kHz without a padding slot.
  EXPECT_EQ(encoder_test::file_bytes(first).size(), 731u);
}

TEST_F(SondralTest, AFullDiskOrAnUnwritableFolderGivesZero) {
  const Input in = input("audio_l2_48k_stereo");
  const auto pcm = encoder_test::file_bytes(in.pcm);
  for (int layer : {1, 2}) {
    const std::string out = dir_ + "/full" + std::to_string(layer) + ".mpa";
    const int status = encoder_test::run_with_file_limit(10000, [&] {
      set_up(in, layer, 224);
      if (SondralOpen(out.c_str()) != 1) return 10;
      SondralWrite(pcm.data(), int32_t(pcm.size()));
      return SondralClose() == 0 ? 0 : 11;
    });
    EXPECT_EQ(status, 0) << "layer " << layer << ": 10 open failed, 11 close reported success";
  }
  const std::string plain = dir_ + "/plain_file";
  encoder_test::write_bytes(plain, {1});
  set_up(in, 2, 224);
  EXPECT_EQ(SondralOpen((plain + "/below.mp2").c_str()), 0);
}

TEST_F(SondralTest, RazavoriEncodeAudioCodesAWavFile) {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  const std::string razavori = shell_quoted(std::string(bin ? bin : ".") + "/bin/razavori");
  const Input in = input("audio_l2_32k_stereo");
  const std::string wav = dir_ + "/in.wav";
  ASSERT_EQ(encoder_test::run_tool("ffmpeg -v error -y -f s16le -ar 32000 -ac 2 -i " + shell_quoted(in.pcm) +
                                   " " + shell_quoted(wav))
                .status,
            0);
  struct Case {
    const char *args;
    const char *codec;
    const char *bit_rate;
    double min_snr;
  };
  const Case cases[] = {{"", "mp2", "224000", 30.0}, {" --layer 1 --bitrate 112", "mp1", "128000", 25.0}};
  for (const Case &c : cases) {
    const std::string out = dir_ + "/cli_" + c.codec;
    const auto r = encoder_test::run_tool(
        razavori + " encode-audio " + shell_quoted(wav) + " " + shell_quoted(out) + c.args, true);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto streams = encoder_test::probe_streams(out);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_name"), c.codec);
    EXPECT_EQ(streams[0].at("sample_rate"), "44100");
    EXPECT_EQ(streams[0].at("bit_rate"), c.bit_rate);
    const auto cmp = testing_support::compare_pcm(resampled_reference(in, dir_), ffmpeg_decode(out), 2, 2000);
    EXPECT_GE(cmp.snr_db, c.min_snr) << cmp.describe();
  }
  // Not a WAV file, a missing one, a bad layer: exit 2 and no output.
  const std::string bad = dir_ + "/bad.mp2";
  EXPECT_EQ(encoder_test::run_tool(
                razavori + " encode-audio " + shell_quoted(in.pcm) + " " + shell_quoted(bad), true)
                .status,
            2);
  EXPECT_EQ(
      encoder_test::run_tool(razavori + " encode-audio /nonexistent.wav " + shell_quoted(bad), true).status,
      2);
  EXPECT_EQ(
      encoder_test::run_tool(
          razavori + " encode-audio " + shell_quoted(wav) + " " + shell_quoted(bad) + " --layer 3", true)
          .status,
      2);
  EXPECT_FALSE(encoder_test::file_exists(bad));
}

TEST(SondralLibrary, LoadsByNameAndServesItsOrdinals) {
  platform::DynamicLibrary lib("libsondral.so");
  ASSERT_TRUE(lib.is_open());
  const void *expected[] = {nullptr,
                            reinterpret_cast<void *>(&SondralSetInputRate),
                            reinterpret_cast<void *>(&SondralSetInputBits),
                            reinterpret_cast<void *>(&SondralSetChannels),
                            reinterpret_cast<void *>(&SondralSetOutputRate),
                            reinterpret_cast<void *>(&SondralSetBitRate),
                            reinterpret_cast<void *>(&SondralSetLayer),
                            reinterpret_cast<void *>(&SondralOpen),
                            reinterpret_cast<void *>(&SondralWrite),
                            reinterpret_cast<void *>(&SondralClose)};
  for (int i = 1; i <= 9; ++i) EXPECT_EQ(lib.ordinal("SondralProc", i), expected[i]) << i;
  EXPECT_EQ(lib.ordinal("SondralProc", 10), nullptr);
}

}  // namespace
