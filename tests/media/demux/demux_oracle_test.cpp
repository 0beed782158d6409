// What the read exports deliver, compared byte for byte with ffmpeg's stream
// copies of the same files: video alone, audio alone, and both pulled at
// once from two threads with random read sizes, as the engines do.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "media/media_api.h"
#include "tests/media/demux/reference_streams.h"
#include "tests/media/demux/stream_builder.h"

namespace demux_test {
namespace {

struct OracleCase {
  const char *stream;
  bool ac3;   // X.ac3
  bool lpcm;  // X.lpcm.pcm
};

std::ostream &operator<<(std::ostream &o, const OracleCase &c) { return o << c.stream; }

const OracleCase kCases[] = {
    {"mpeg1_system.mpg", false, false},
    {"mpeg2_ps.mpg", false, false},
    {"vob_ac3_lpcm.vob", true, true},
    {"ts_mpeg2.ts", false, false},
};

// The delivered bytes equal the reference; the last read may add up to 3
// zero bytes (its remainder is rounded up to whole words).
void expect_same(const Bytes &got, const Bytes &want, const char *what) {
  ASSERT_FALSE(want.empty()) << what;
  ASSERT_GE(got.size(), want.size()) << what;
  ASSERT_LT(got.size() - want.size(), 4u) << what;
  size_t first_diff = want.size();
  for (size_t i = 0; i < want.size(); ++i) {
    if (got[i] != want[i]) {
      first_diff = i;
      break;
    }
  }
  EXPECT_EQ(first_diff, want.size()) << what << ": first difference at byte " << first_diff;
  for (size_t i = want.size(); i < got.size(); ++i) EXPECT_EQ(got[i], 0) << what << ": padding byte " << i;
}

using Reader = int32_t (*)(void *, int32_t, int32_t);

int32_t read_video(void *b, int32_t n, int32_t) { return SysReadVideo(b, n); }
int32_t read_audio(void *b, int32_t n, int32_t) { return SysReadAudio(b, n); }
int32_t read_stream(void *b, int32_t n, int32_t id) { return SysReadStream(id, b, n); }

// Pulls until a read returns less than asked for (the remainder) or 0.
Bytes pull(Reader read, int32_t id, uint32_t seed, int32_t max_chunk) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> size(1, max_chunk);
  Bytes out;
  std::vector<uint8_t> buf(static_cast<size_t>(max_chunk));
  for (;;) {
    const int32_t want = seed ? size(rng) : max_chunk;
    const int32_t n = read(buf.data(), want, id);
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    if (n < want) break;
  }
  return out;
}

// The samples of the "LPCM" records (16-bit big-endian on disc) as 16-bit
// little-endian PCM.
Bytes lpcm_samples(const Bytes &records) {
  Bytes pcm;
  size_t i = 0;
  while (i + 8 <= records.size()) {
    EXPECT_EQ(std::memcmp(records.data() + i, "LPCM", 4), 0) << "record at " << i;
    if (std::memcmp(records.data() + i, "LPCM", 4) != 0) break;
    const uint32_t n =
        records[i + 4] | records[i + 5] << 8 | records[i + 6] << 16 | uint32_t(records[i + 7]) << 24;
    const size_t end = i + 8 + n;
    if (end > records.size() || n < 6) break;
    const uint8_t quantisation = records[i + 8 + 4] >> 6;
    EXPECT_EQ(quantisation, 0) << "16-bit samples expected";
    for (size_t k = i + 8 + 6; k + 1 < end; k += 2) {
      pcm.push_back(records[k + 1]);
      pcm.push_back(records[k]);
    }
    i = end;
  }
  return pcm;
}

class DemuxOracle : public ::testing::TestWithParam<OracleCase> {
 protected:
  void SetUp() override {
    path_ = reference(GetParam().stream);
    if (path_.empty()) GTEST_SKIP() << "no ffmpeg to make " << GetParam().stream;
  }
  void TearDown() override {
    SysFlush(0);
    SysClose();
  }
  // Opens the stream. The opening analysis stops once it has seen video and
  // audio, so a DVD's further audio streams appear only as packs are
  // parsed: a first stretch of video is pulled and the source rewound, as a
  // player that lists the streams before playing does.
  void open() {
    int32_t length = 0;
    SysProbe(path_.c_str(), &length);
    ASSERT_NE(SysOpen(path_.c_str(), 0), -1);
    Bytes buf(16384);
    for (int i = 0; i < 32; ++i) SysReadVideo(buf.data(), 16384);
    ASSERT_EQ(SysSeek(0, 0), 0);
  }
  Bytes ref(const char *suffix) { return read_file(reference(std::string(GetParam().stream) + suffix)); }
  // The VOB may or may not carry MPEG audio beside AC-3 and LPCM.
  bool mpeg_audio() { return !reference(std::string(GetParam().stream) + ".audio.es").empty(); }
  int32_t first_seen(int lo, int hi) {
    const auto count = static_cast<int32_t>(SysControl(CTL_AUDIO_COUNT, 0));
    const auto *ids = reinterpret_cast<const int32_t *>(SysControl(CTL_AUDIO_LIST, 0));
    for (int32_t i = 0; i < count; ++i)
      if (ids[i] >= lo && ids[i] <= hi) return ids[i];
    return -1;
  }
  // Streams with AC-3 or LPCM as well: MPEG audio is chosen explicitly.
  void select_mpeg_audio() {
    const int32_t id = first_seen(0xC0, 0xDF);
    ASSERT_NE(id, -1);
    SysControl(CTL_AUDIO_SELECT, id);
    const auto current = SysControl(CTL_AUDIO_CURRENT, 0);
    ASSERT_TRUE(current == id || (current == -1 && SysControl(CTL_AUDIO_COUNT, 0) == 1));
  }
  std::string path_;
};

TEST_P(DemuxOracle, VideoAloneMatchesFfmpegCopy) {
  open();
  SysFlush(1);  // nobody pulls audio here
  expect_same(pull(read_video, 0, 0, 16384), ref(".video.es"), "video");
}

TEST_P(DemuxOracle, AudioAloneMatchesFfmpegCopy) {
  open();
  SysFlush(2);
  if (mpeg_audio()) {
    select_mpeg_audio();
    expect_same(pull(read_audio, 0, 0, 4096), ref(".audio.es"), "MPEG audio");
  }
  if (GetParam().ac3) {
    SysClose();
    open();
    SysFlush(2);
    const int32_t id = first_seen(0x80, 0x87);
    ASSERT_NE(id, -1);
    SysControl(CTL_AUDIO_SELECT, id);
    ASSERT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), id);
    EXPECT_EQ(SysReadAudio(Bytes(64).data(), 64), 0) << "AC-3 is not served as MPEG audio";
    expect_same(pull(read_stream, id, 0, 4096), ref(".ac3"), "AC-3");
  }
}

TEST_P(DemuxOracle, LpcmRecordsCarryFfmpegSamples) {
  if (!GetParam().lpcm) GTEST_SKIP() << "no LPCM in this stream";
  open();
  SysFlush(2);
  const int32_t id = first_seen(0xA0, 0xA7);
  ASSERT_NE(id, -1);
  SysControl(CTL_AUDIO_SELECT, id);
  ASSERT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), id);
  const Bytes records = pull(read_stream, id, 0, 4096);
  ASSERT_GE(records.size(), 8u);
  EXPECT_EQ(std::memcmp(records.data(), "LPCM", 4), 0);
  const Bytes want = ref(".lpcm.pcm");
  const Bytes got = lpcm_samples(records);
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
}

// Video and audio pulled at once, from two threads, with random sizes.
TEST_P(DemuxOracle, TwoReadersAtOnceMatchFfmpegCopies) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    open();
    int32_t audio_id = 0;
    Reader audio = read_audio;
    const char *suffix = ".audio.es";
    if (mpeg_audio()) {
      select_mpeg_audio();
    } else {
      audio_id = first_seen(0x80, 0x87);
      ASSERT_NE(audio_id, -1);
      SysControl(CTL_AUDIO_SELECT, audio_id);
      audio = read_stream;
      suffix = ".ac3";
    }
    Bytes video_out, audio_out;
    std::thread video_thread([&] { video_out = pull(read_video, 0, seed, 40000); });
    audio_out = pull(audio, audio_id, seed * 7, 6000);
    video_thread.join();
    SysClose();
    SCOPED_TRACE("seed " + std::to_string(seed));
    expect_same(video_out, ref(".video.es"), "video");
    expect_same(audio_out, ref(suffix), "audio");
  }
}

// The opening analysis: what the seen lists, the stream mix and the rate
// say about each stream.
TEST_P(DemuxOracle, OpeningAnalysisDescribesTheStream) {
  open();  // (and the first stretch of video parsed)
  EXPECT_EQ(SysControl(CTL_STREAM_MIX, 0), 0) << "video 0xE0 and audio";
  EXPECT_GT(SysControl(CTL_BYTE_RATE, 0), 1);
  const auto count = SysControl(CTL_AUDIO_COUNT, 0);
  EXPECT_EQ(count, (mpeg_audio() ? 1 : 0) + (GetParam().ac3 ? 1 : 0) + (GetParam().lpcm ? 1 : 0));
  if (GetParam().ac3) {
    EXPECT_EQ(SysControl(CTL_RATE_VALID, 0), 1) << "MPEG-2 packs carry a mux rate";
  }
  // The source is back at its start: the first bytes are a sequence header.
  uint8_t head[4] = {};
  ASSERT_EQ(SysReadVideo(head, 4), 4);
  EXPECT_EQ(head[0] << 24 | head[1] << 16 | head[2] << 8 | head[3], 0x000001B3);
}

INSTANTIATE_TEST_SUITE_P(Streams, DemuxOracle, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace demux_test
