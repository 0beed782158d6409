// The AC-3 and LPCM kinds and the WAV capture through the whole engine and
// the media layer, pulled as the converters pull (AudioCommand 4), against
// ffmpeg's decodes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "media/media_api.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

using testing_support::media_path;

std::vector<int16_t> reference(const std::string &name) {
  auto r = testing_support::read_pcm_file(media_path(name));
  EXPECT_TRUE(r.has_value()) << name;
  return r ? *r : std::vector<int16_t>{};
}

std::vector<uint8_t> bytes_of(const std::string &path) {
  auto b = testing_support::read_file_bytes(path);
  return b ? *b : std::vector<uint8_t>{};
}

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

class Formats : public ::testing::Test {
 protected:
  void SetUp() override { lunaret::set_output_driver(&lunaret::kNullUntimedOutputDriver); }
  void TearDown() override {
    AudioClose();
    AudioCommand(AUDIO_CMD_SET_PASSTHROUGH, 0);
    AudioCommand(AUDIO_CMD_SET_CAPTURE_WRITER, 0);
    lunaret::set_output_driver(nullptr);
  }

  // Opens a file and pulls every block; the blocks' sizes in *sizes.
  static std::vector<int16_t> decode(const std::string &path, int capture_fd = -1,
                                     std::vector<int32_t> *sizes = nullptr) {
    std::vector<int16_t> out;
    AudioSetRateMode(AUDIO_RATE_FULL);
    AudioCommand(AUDIO_CMD_SET_ECHO, 0);
    const int32_t h = AudioOpenFile(path.c_str());
    EXPECT_TRUE(h != 0 && h != -1) << path;
    if (h == 0 || h == -1) return out;
    EXPECT_EQ(AudioOpenOutput(nullptr), 1) << path;
    if (capture_fd >= 0) AudioCommand(AUDIO_CMD_CAPTURE_START, capture_fd);
    for (int i = 0; i < 100000 && !AudioCommand(AUDIO_CMD_END_OF_STREAM, 0); ++i) {
      int32_t bytes = 0;
      auto *pcm = reinterpret_cast<const int16_t *>(
          AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
      if (pcm && bytes > 0) out.insert(out.end(), pcm, pcm + bytes / 2);
      if (sizes && bytes > 0) sizes->push_back(bytes);
    }
    return out;
  }

  static void expect_close(const std::string &ref_name, const std::vector<int16_t> &ours, int channels) {
    auto ref = reference(ref_name);
    ASSERT_EQ(ours.size(), ref.size()) << ref_name;
    auto c = testing_support::compare_pcm(ref, ours, channels);
    EXPECT_LE(c.max_abs_diff, 2) << ref_name << ": " << c.describe();
    EXPECT_GE(c.snr_db, 65.0) << ref_name << ": " << c.describe();
  }
};

TEST_F(Formats, Ac3FilesDecodeToTheDecodersStereoMix) {
  expect_close("af_tones51.stereo.s16", decode(media_path("af_tones51.ac3")), 2);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_AC3);
  EXPECT_EQ(AudioGetBitRate() >> 10, 448);
  int32_t rate = 0, channels = 0;
  AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate));
  EXPECT_EQ(rate, 48000);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, reinterpret_cast<intptr_t>(&channels)), 4);
  EXPECT_EQ(channels, 5);
  // 32 kHz at 640 kbit/s: 3,840-byte frames, fewer than 20 to a 64 KiB window.
  EXPECT_EQ(SysProbe(media_path("af_ac3_32k_640.ac3").c_str(), nullptr), SOURCE_KIND_AUDIO);
  expect_close("af_ac3_32k_640.s16", decode(media_path("af_ac3_32k_640.ac3")), 2);
  expect_close("af_vob80.s16", decode(media_path("vob_ac3_lpcm.vob")), 2);
}

TEST_F(Formats, PassThroughNeeds48kHzAndGivesTheBurstsExactly) {
  AudioCommand(AUDIO_CMD_SET_PASSTHROUGH, 1);
  ASSERT_EQ(AudioCommand(AUDIO_CMD_SPDIF_USABLE, 0), 1);
  // 44.1 kHz frames cannot pass: decoded.
  expect_close("af_ac3_44k.s16", decode(media_path("af_ac3_44k.ac3")), 2);

  const std::string wav = testing_support::scratch_dir() + "/af_bursts.wav";
  const int fd = ::open(wav.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  std::vector<int32_t> sizes;
  std::vector<int16_t> bursts = decode(media_path("af_tones51.ac3"), fd, &sizes);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_CAPTURE_FINISH, 0), 1);
  ::close(fd);
  for (int32_t s : sizes) ASSERT_EQ(s, 6144);
  const std::vector<uint8_t> spdif = bytes_of(media_path("af_tones51.spdif"));
  ASSERT_EQ(bursts.size() * 2, spdif.size());
  EXPECT_EQ(0, std::memcmp(bursts.data(), spdif.data(), spdif.size()));

  // The capture: a PCM 2 ch 48 kHz header over the bursts, which ffmpeg
  // reads back as the very AC-3 stream.
  const std::vector<uint8_t> w = bytes_of(wav);
  ASSERT_EQ(w.size(), spdif.size() + 44);
  EXPECT_EQ(le32(w.data() + 40), spdif.size());
  EXPECT_EQ(le32(w.data() + 24), 48000u);
  EXPECT_EQ(w[22], 2);
  EXPECT_EQ(0, std::memcmp(w.data() + 44, spdif.data(), spdif.size()));
  const std::string back = testing_support::scratch_dir() + "/af_bursts_back.ac3";
  const std::string cmd =
      "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + wav + "' -c copy -f ac3 '" + back + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "ffmpeg is needed as the oracle";
  EXPECT_EQ(bytes_of(back), bytes_of(media_path("af_tones51.ac3")));
}

// LPCM against ffmpeg's decode put through the downmix table.
std::vector<int16_t> folded(const std::vector<int16_t> &ref, int channels) {
  auto h = [](int v) { return v / 2; };
  auto sat = [](int v) { return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v); };
  std::vector<int16_t> out;
  for (size_t i = 0; i + channels <= ref.size(); i += channels) {
    const int16_t *s = &ref[i];
    int l = s[0], r = s[1];
    if (channels == 6) l = s[0] + h(s[1]) + h(s[4]), r = s[2] + h(s[3]) + h(s[5]);
    if (channels == 8)
      l = s[0] + h(s[1]) + h(s[2]) + h(s[5]) + h(s[7]), r = s[3] + h(s[2]) + h(s[4]) + h(s[6]) + h(s[7]);
    out.push_back(sat(l));
    out.push_back(sat(r));
  }
  return out;
}

TEST_F(Formats, LpcmEqualsFfmpegsDecodeThroughTheTable) {
  struct Case {
    const char *file, *ref;
    int channels, bits, rate;
  };
  const Case cases[] = {{"af_lpcm_51.m2p", "af_lpcm_51.s16", 6, 16, 48000},
                        {"af_lpcm_71.m2p", "af_lpcm_71.s16", 8, 16, 48000},
                        {"af_lpcm_44k.m2p", "af_lpcm_44k.s16", 2, 16, 44100}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<int16_t> ours = decode(media_path(c.file));
    EXPECT_EQ(AudioCommand(AUDIO_CMD_SOURCE_KIND, 0), AUDIO_SOURCE_LPCM);
    EXPECT_EQ(AudioCommand(AUDIO_CMD_BITS_PER_SAMPLE, 0), c.bits);
    int32_t rate = 0;
    AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate));
    EXPECT_EQ(rate, c.rate);
    EXPECT_EQ(ours, folded(reference(c.ref), c.channels));
  }
  // 24-bit at 96 kHz: the high 16 bits of ffmpeg's 32-bit decode.
  std::vector<int16_t> ours = decode(media_path("af_lpcm_96k24.m2p"));
  EXPECT_EQ(AudioCommand(AUDIO_CMD_BITS_PER_SAMPLE, 0), 24);
  auto wide = bytes_of(media_path("af_lpcm_96k24.s32"));
  std::vector<int16_t> ref(wide.size() / 4);
  for (size_t i = 0; i < ref.size(); ++i) ref[i] = static_cast<int16_t>(le32(&wide[i * 4]) >> 16);
  EXPECT_EQ(ours, ref);
  // The common VOB's LPCM track, chosen as the player chooses a stream.
  AudioClose();
  const std::string vob = media_path("vob_ac3_lpcm.vob");
  ASSERT_EQ(SysProbe(vob.c_str(), nullptr), SOURCE_KIND_SYSTEM);
  ASSERT_NE(SysOpen(vob.c_str(), 0), -1);
  SysFlush(DRAVIK_FLUSH_BOTH_ON);  // an audio-only open before turned the video path off
  // The opening analysis may not have met the track yet: parse a stretch.
  std::vector<char> scratch(16384);
  auto seen = [] {
    const auto n = static_cast<int32_t>(SysControl(CTL_AUDIO_COUNT, 0));
    const auto *ids = reinterpret_cast<const int32_t *>(SysControl(CTL_AUDIO_LIST, 0));
    for (int32_t i = 0; i < n; ++i)
      if (ids[i] == 0xA0) return true;
    return false;
  };
  for (int i = 0; i < 256 && !seen(); ++i) SysReadVideo(scratch.data(), 16384);
  SysSeek(0, 0);
  ASSERT_TRUE(seen());
  SysControl(CTL_AUDIO_SELECT, 0xA0);
  ASSERT_EQ(AudioOpenStream(0), AUDIO_SOURCE_LPCM);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  std::vector<int16_t> track;
  for (int i = 0; i < 100000 && !AudioCommand(AUDIO_CMD_END_OF_STREAM, 0); ++i) {
    int32_t bytes = 0;
    auto *pcm = reinterpret_cast<const int16_t *>(
        AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
    if (pcm && bytes > 0) track.insert(track.end(), pcm, pcm + bytes / 2);
  }
  AudioClose();
  SysClose();
  EXPECT_EQ(track, reference("af_vob_lpcm.s16"));
}

// A capture writer over memory that fails once it holds `limit` bytes.
struct MemoryWriter {
  std::vector<uint8_t> data;
  size_t pos = 0;
  size_t limit = SIZE_MAX;
  static int32_t write(void *ctx, const void *src, int32_t len) {
    auto *w = static_cast<MemoryWriter *>(ctx);
    if (w->pos + static_cast<size_t>(len) > w->limit) return -1;
    if (w->data.size() < w->pos + len) w->data.resize(w->pos + len);
    std::memcpy(w->data.data() + w->pos, src, static_cast<size_t>(len));
    w->pos += static_cast<size_t>(len);
    return len;
  }
  static int32_t seek(void *ctx, int32_t offset) {
    auto *w = static_cast<MemoryWriter *>(ctx);
    w->pos = static_cast<size_t>(offset);
    return offset;
  }
};

// Sizes that describe the file: RIFF = data + 36, data a whole number of
// frames and no more than the bytes there.
void expect_valid_wav(const std::vector<uint8_t> &w, bool exact) {
  ASSERT_GE(w.size(), 44u);
  const uint32_t data = le32(&w[40]);
  EXPECT_EQ(le32(&w[4]), data + 36);
  EXPECT_EQ(data % (w[32] | w[33] << 8), 0u);
  EXPECT_LE(data + 44, w.size());
  if (exact) {
    EXPECT_EQ(data + 44, w.size());
  }
}

TEST_F(Formats, CaptureSizesMatchTheFileAfterEveryBlock) {
  const std::string wav = testing_support::scratch_dir() + "/af_capture.wav";
  int fd = ::open(wav.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  // Closed before the capture is finished: the sizes were kept up to date.
  AudioSetRateMode(AUDIO_RATE_FULL);
  ASSERT_NE(AudioOpenFile(media_path("af_tones51.ac3").c_str()), 0);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  AudioCommand(AUDIO_CMD_CAPTURE_START, fd);
  for (int i = 0; i < 5; ++i) {
    AudioCommand(AUDIO_CMD_DECODE_BLOCK, 0);
    expect_valid_wav(bytes_of(wav), true);
  }
  AudioClose();
  ::close(fd);
  auto w = bytes_of(wav);
  expect_valid_wav(w, true);
  EXPECT_EQ(le32(&w[40]), 5u * 4608);

  // A writer that fails midway: the capture stops, finishing answers 0 and
  // the sizes say what was written whole.
  MemoryWriter mem;
  mem.limit = 44 + 3 * 4608 + 100;
  AudioCaptureWriter writer{&mem, MemoryWriter::write, MemoryWriter::seek};
  AudioCommand(AUDIO_CMD_SET_CAPTURE_WRITER, reinterpret_cast<intptr_t>(&writer));
  ASSERT_NE(AudioOpenFile(media_path("af_tones51.ac3").c_str()), 0);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  AudioCommand(AUDIO_CMD_CAPTURE_START, 1);
  for (int i = 0; i < 6; ++i) AudioCommand(AUDIO_CMD_DECODE_BLOCK, 0);
  EXPECT_EQ(AudioCommand(AUDIO_CMD_CAPTURE_FINISH, 0), 0);
  AudioCommand(AUDIO_CMD_SET_CAPTURE_WRITER, 0);
  mem.data.resize(44 + le32(&mem.data[40]));
  expect_valid_wav(mem.data, true);
  EXPECT_EQ(le32(&mem.data[40]), 3u * 4608);
}

TEST_F(Formats, CaptureOfAKilledProcessIsAValidWav) {
  const std::string wav = testing_support::scratch_dir() + "/af_killed.wav";
  int pipefd[2];
  ASSERT_EQ(::pipe(pipefd), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipefd[0]);
    const int fd = ::open(wav.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    AudioSetRateMode(AUDIO_RATE_FULL);
    if (fd < 0 || AudioOpenFile(media_path("af_tones51.ac3").c_str()) <= 0 || AudioOpenOutput(nullptr) != 1)
      _exit(1);
    AudioCommand(AUDIO_CMD_CAPTURE_START, fd);
    for (int i = 0;; ++i) {
      AudioCommand(AUDIO_CMD_DECODE_BLOCK, 0);
      if (i == 4 && ::write(pipefd[1], "x", 1) != 1) _exit(1);
      if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) AudioResetStream();
    }
  }
  ::close(pipefd[1]);
  char c;
  ASSERT_EQ(::read(pipefd[0], &c, 1), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(pipefd[0]);
  auto w = bytes_of(wav);
  expect_valid_wav(w, false);
  EXPECT_GE(le32(&w[40]), 5u * 4608);
  EXPECT_LT(w.size() - 44 - le32(&w[40]), 4608u * 2);  // at most the block being written
}

}  // namespace
