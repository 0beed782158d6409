// Decoded sound through the whole engine (AudioOpenFile, AudioOpenOutput,
// AudioCommand 4) against ffmpeg's floating-point decoders, and against
// the MPEG audio decoder driven directly.
//
// With the media layer built the files go through it; otherwise the
// stand-in media layer serves them as bare audio files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "audio/decode/mpeg_audio_decoder.h"
#include "audio/engine.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

#if LUNARET_TEST_REAL_MEDIA
#include "media/media_api.h"
#else
#include "tests/audio/engine/fake_media.h"
#endif

namespace {

std::vector<uint8_t> read_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<int16_t> read_pcm(const std::string &path) {
  std::vector<uint8_t> b = read_bytes(path);
  std::vector<int16_t> v(b.size() / 2);
  std::memcpy(v.data(), b.data(), v.size() * 2);
  return v;
}

class EngineOracle : public ::testing::Test {
 protected:
  void SetUp() override {
#if !LUNARET_TEST_REAL_MEDIA
    lunaret_test::fake_media().install();
#endif
    lunaret::set_output_driver(&lunaret::kNullUntimedOutputDriver);
  }
  void TearDown() override {
    AudioClose();
    AudioSetChannelMode(AUDIO_CHANNEL_STEREO);
    AudioSetRateMode(AUDIO_RATE_NORMAL);
    lunaret::set_output_driver(nullptr);
#if !LUNARET_TEST_REAL_MEDIA
    lunaret_test::FakeMedia::uninstall();
#endif
  }

  // Opens path as the converters do and pulls every block.
  // A capture_fd >= 0 also writes a WAV capture there.
  static bool decode_file(const std::string &path, int32_t rate_mode, int32_t channel_mode,
                          std::vector<int16_t> *out, int capture_fd = -1) {
#if !LUNARET_TEST_REAL_MEDIA
    lunaret_test::fake_media().bytes = read_bytes(path);
    lunaret_test::fake_media().pos = 0;
#endif
    AudioSetRateMode(rate_mode);
    AudioSetChannelMode(channel_mode);
    AudioCommand(AUDIO_CMD_SET_ECHO, 0);
    int32_t h = AudioOpenFile(path.c_str());
    if (h == 0 || h == -1) return false;
    if (!AudioOpenOutput(nullptr)) return false;
    if (capture_fd >= 0) AudioCommand(AUDIO_CMD_CAPTURE_START, capture_fd);
    for (int i = 0; i < 100000; ++i) {
      int32_t bytes = 0;
      auto *pcm = reinterpret_cast<const int16_t *>(
          AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
      if (pcm && bytes > 0) out->insert(out->end(), pcm, pcm + bytes / 2);
      if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) {
        if (capture_fd >= 0) AudioCommand(AUDIO_CMD_CAPTURE_FINISH, 0);
        return true;
      }
    }
    return false;
  }
};

// A device stand-in that counts the engine's questions and opens, and
// otherwise behaves as the untimed null device.
std::atomic<int> g_device_opens{0};
std::atomic<int> g_device_queries{0};

bool counting_query(const lunaret::PcmFormat &f) {
  ++g_device_queries;
  return lunaret::kNullUntimedOutputDriver.query(f);
}
int counting_open(void *state, const lunaret::PcmFormat &f, lunaret::DeviceDoneFn done, void *context) {
  ++g_device_opens;
  return lunaret::kNullUntimedOutputDriver.open(state, f, done, context);
}

lunaret::AudioOutputDriver counting_driver() {
  lunaret::AudioOutputDriver d = lunaret::kNullUntimedOutputDriver;
  d.name = "counting";
  d.query = counting_query;
  d.open = counting_open;
  return d;
}

// SNR of ours against ffmpeg's output after aligning the start.
double aligned_snr(const std::vector<int16_t> &ref, const std::vector<int16_t> &ours, int channels,
                   int max_shift, int *shift_out) {
  testing_support::PcmComparison c = testing_support::compare_pcm(ref, ours, channels, max_shift);
  EXPECT_TRUE(c.ok()) << c.error;
  *shift_out = static_cast<int>(c.lag);
  return c.snr_db;
}

TEST_F(EngineOracle, FullPathMatchesFfmpegFloatDecoders) {
  const struct {
    const char *name;
    int channels;
    int rate;
    int layer;
  } streams[] = {
      {"audio_l2_32k_stereo.mp2", 2, 32000, 2}, {"audio_l2_44k_joint.mp2", 2, 44100, 2},
      {"audio_l2_48k_mono.mp2", 1, 48000, 2},   {"audio_l2_48k_stereo.mp2", 2, 48000, 2},
      {"audio_l2_22k_lsf.mp2", 2, 22050, 2},    {"audio_l3_44k.mp3", 2, 44100, 3},
      {"audio_l3_22k_lsf.mp3", 2, 22050, 3},
  };
  for (const auto &s : streams) {
    SCOPED_TRACE(s.name);
    std::string path = testing_support::media_path(s.name);
    std::vector<int16_t> ref = read_pcm(path + ".pcm");
    ASSERT_FALSE(ref.empty()) << "missing reference " << path << ".pcm";
    std::vector<int16_t> ours;
    ASSERT_TRUE(decode_file(path, AUDIO_RATE_FULL, AUDIO_CHANNEL_STEREO, &ours));
    int32_t rate = 0;
    AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate));
    EXPECT_EQ(rate, s.rate);
    EXPECT_EQ(AudioCommand(AUDIO_CMD_LAYER, 0), s.layer);
    int channels = AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, 0) == 3 ? 1 : 2;
    EXPECT_EQ(channels, s.channels);
    AudioClose();
    int shift = 0;
    double snr = aligned_snr(ref, ours, s.channels, 3000, &shift);
    std::printf("%-28s %8zu values (ffmpeg %8zu), shift %5d, SNR %.1f dB\n", s.name, ours.size(), ref.size(),
                shift, snr);
    EXPECT_GE(snr, 80.0);
    // Nothing lost or added beyond the start alignment and the last frame.
    EXPECT_NEAR(double(ours.size()) / s.channels, double(ref.size()) / s.channels, 2 * 1152 + 3000);
  }
}

// Decoding to a file or to a capture needs no sound device: the engine
// neither opens one nor asks what it takes, whatever the stream.
TEST_F(EngineOracle, DecodingToFileOrCaptureOpensNoDevice) {
  static const lunaret::AudioOutputDriver counting = counting_driver();
  lunaret::set_output_driver(&counting);
  for (const char *name : {"audio_l2_48k_mono.mp2", "audio_l3_44k.mp3"}) {
    SCOPED_TRACE(name);
    g_device_opens = 0;
    g_device_queries = 0;
    std::vector<int16_t> ours;
    ASSERT_TRUE(decode_file(testing_support::media_path(name), AUDIO_RATE_FULL, AUDIO_CHANNEL_STEREO, &ours));
    EXPECT_FALSE(ours.empty());
    AudioClose();

    char capture[] = "/tmp/no_device_captureXXXXXX";
    const int fd = mkstemp(capture);
    ASSERT_GE(fd, 0);
    std::vector<int16_t> again;
    ASSERT_TRUE(
        decode_file(testing_support::media_path(name), AUDIO_RATE_FULL, AUDIO_CHANNEL_STEREO, &again, fd));
    AudioClose();
    ::close(fd);
    struct stat st {};
    EXPECT_EQ(::stat(capture, &st), 0);
    EXPECT_GT(st.st_size, 44);  // a WAV header and the sound behind it
    ::unlink(capture);
    EXPECT_EQ(again, ours);
    EXPECT_EQ(g_device_opens.load(), 0);
    EXPECT_EQ(g_device_queries.load(), 0);
  }
}

// The engine adds nothing of its own to the decoder's output: blocks from
// AudioCommand 4 are what the decoder gives when driven directly.
TEST_F(EngineOracle, EngineBlocksEqualTheDecoderDrivenDirectly) {
  for (const char *name : {"audio_l2_44k_joint.mp2", "audio_l3_44k.mp3"}) {
    SCOPED_TRACE(name);
    std::string path = testing_support::media_path(name);
    std::vector<uint8_t> bytes = read_bytes(path);
    ASSERT_GE(bytes.size(), 4u);
    std::vector<int16_t> ours;
    ASSERT_TRUE(decode_file(path, AUDIO_RATE_FULL, AUDIO_CHANNEL_STEREO, &ours));
    AudioClose();

    struct Memory {
      const std::vector<uint8_t> *b;
      size_t pos = 0;
    } mem{&bytes};
    lunaret::MpegAudioDecoder dec;
    dec.set_source(
        [](void *ctx, void *dst, int32_t len) -> int32_t {
          auto *m = static_cast<Memory *>(ctx);
          size_t n = std::min<size_t>(size_t(len), m->b->size() - m->pos);
          std::memcpy(dst, m->b->data() + m->pos, n);
          m->pos += n;
          return int32_t(n);
        },
        &mem);
    dec.reset_stream();
    dec.set_sync((uint32_t(bytes[0]) << 8) | bytes[1], 16);
    dec.set_channel_mode(lunaret::ChannelMode::Stereo);
    dec.set_rate_mode(lunaret::RateMode::Full);
    lunaret::StreamInfo info;
    ASSERT_EQ(dec.probe(1, &info), 1);
    std::vector<int16_t> direct, block(lunaret::kSlotValues);
    for (;;) {
      int32_t n = 0;
      int32_t ok = dec.fill_block(block.data(), int32_t(block.size()), 1, &n);
      direct.insert(direct.end(), block.begin(), block.begin() + n);
      if (!ok) break;
    }
    EXPECT_EQ(ours.size(), direct.size());
    EXPECT_TRUE(ours == direct);
  }
}

TEST_F(EngineOracle, HalfRateAndMixShapeTheOutput) {
  std::string path = testing_support::media_path("audio_l2_48k_stereo.mp2");
  std::vector<int16_t> full, half, mix;
  ASSERT_TRUE(decode_file(path, AUDIO_RATE_FULL, AUDIO_CHANNEL_STEREO, &full));
  AudioClose();
  ASSERT_TRUE(decode_file(path, AUDIO_RATE_HALF, AUDIO_CHANNEL_STEREO, &half));
  EXPECT_EQ(lunaret::engine().out.pcm.rate, 24000u);
  EXPECT_EQ(lunaret::engine().out.pcm.channels, 2);
  AudioClose();
  ASSERT_TRUE(decode_file(path, AUDIO_RATE_FULL, AUDIO_CHANNEL_MIX, &mix));
  EXPECT_EQ(lunaret::engine().out.pcm.channels, 1);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_OUTPUT_CHANNELS, 0), 1);
  AudioClose();
  EXPECT_EQ(half.size() * 2, full.size());
  EXPECT_EQ(mix.size() * 2, full.size());
}

#if LUNARET_TEST_REAL_MEDIA
// The command-line tool decodes as the converters do: its PCM is ffmpeg's
// to within the decoder's accuracy, its WAV file holds the same samples,
// and it names the stream's format.
TEST_F(EngineOracle, RazavoriAudioCommand) {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  ASSERT_NE(bin, nullptr);
  std::string tool = std::string(bin) + "/bin/razavori";
  std::string in = testing_support::media_path("audio_l2_44k_joint.mp2");
  std::string pcm = testing_support::scratch_dir() + "/cli.pcm",
              wav = testing_support::scratch_dir() + "/cli.wav";
  std::string cmd = "'" + tool + "' audio '" + in + "' --pcm '" + pcm + "' --wav '" + wav + "'";
  FILE *p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char line[256];
  while (std::fgets(line, sizeof line, p)) out += line;
  ASSERT_EQ(pclose(p), 0) << out;
  EXPECT_NE(out.find("rate 44100 Hz"), std::string::npos) << out;
  EXPECT_NE(out.find("channels 2 (joint stereo)"), std::string::npos) << out;
  EXPECT_NE(out.find("layer 2"), std::string::npos) << out;
  EXPECT_NE(out.find("bit rate "), std::string::npos) << out;

  testing_support::PcmComparison c = testing_support::compare_pcm_files(in + ".pcm", pcm, 2, 3000);
  ASSERT_TRUE(c.ok()) << c.error;
  std::printf("razavori audio %s: SNR %.1f dB\n", in.c_str(), c.snr_db);
  EXPECT_GE(c.snr_db, 80.0);
  std::vector<uint8_t> raw = read_bytes(pcm), w = read_bytes(wav);
  ASSERT_EQ(w.size(), raw.size() + 44);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), w.begin() + 44));
}

// A system stream opened by the media layer: the audio engine opens its
// audio stream, waits for a Layer II frame and pulls the demultiplexed
// bytes through SysReadAudio.
TEST_F(EngineOracle, SystemStreamAudioThroughTheMediaLayer) {
  for (const char *name : {"mpeg1_system.mpg", "mpeg2_ps.mpg"}) {
    SCOPED_TRACE(name);
    std::string path = testing_support::media_path(name);
    std::vector<int16_t> ref = read_pcm(path + ".pcm");
    ASSERT_FALSE(ref.empty());
    // A fresh media state: an audio-only open earlier in this process
    // switched the video path off.
    SysReset();
    ASSERT_EQ(SysProbe(path.c_str(), nullptr), SOURCE_KIND_SYSTEM);
    ASSERT_NE(SysOpen(path.c_str(), 0), -1);
    // The player reads video up to its first sequence header before it
    // opens the audio; the packs parsed on the way make the audio stream
    // known.
    std::vector<uint8_t> video(16384 + 8);
    if (SysReadVideo(video.data(), 16384) <= 0 || SysControl(CTL_AUDIO_COUNT, 0) == 0) {
      SysClose();
      GTEST_SKIP() << "the media layer does not demultiplex " << name << " yet";
    }
    AudioSetRateMode(AUDIO_RATE_FULL);
    AudioSetChannelMode(AUDIO_CHANNEL_STEREO);
    ASSERT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
    ASSERT_EQ(AudioOpenOutput(nullptr), 1);
    EXPECT_EQ(AudioCommand(AUDIO_CMD_LAYER, 0), 2);
    std::vector<int16_t> ours;
    for (int i = 0; i < 100000 && !AudioCommand(AUDIO_CMD_END_OF_STREAM, 0); ++i) {
      int32_t bytes = 0;
      auto *pcm = reinterpret_cast<const int16_t *>(
          AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
      if (pcm && bytes > 0) ours.insert(ours.end(), pcm, pcm + bytes / 2);
    }
    AudioClose();
    SysClose();
    int shift = 0;
    double snr = aligned_snr(ref, ours, 2, 3000, &shift);
    std::printf("%-28s %8zu values (ffmpeg %8zu), shift %5d, SNR %.1f dB\n", name, ours.size(), ref.size(),
                shift, snr);
    EXPECT_GE(snr, 80.0);
    EXPECT_NEAR(double(ours.size()) / 2, double(ref.size()) / 2, 2 * 1152 + 3000);
  }
}
#endif

}  // namespace
