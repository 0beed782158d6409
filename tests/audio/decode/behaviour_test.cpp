// What the decoder does beyond matching ffmpeg: channel and rate modes,
// sync rules, the open-time probe, the reservoir of a cut Layer III stream,
// undefined scalefactors, block fills, and damaged or dribbling input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "audio/decode/frame_header.h"
#include "audio/decode/layer2_tables.h"
#include "tests/audio/decode/audio_streams.h"
#include "tests/audio/decode/mpeg_audio_frame_gen.h"

namespace audio_test {
namespace {

using lunaret::ChannelMode;
using lunaret::MpegAudioDecoder;
using lunaret::RateMode;
using lunaret::SynthesisKind;

std::vector<int16_t> channel_of(const std::vector<int16_t> &stereo, int32_t ch) {
  std::vector<int16_t> out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i + size_t(ch)];
  return out;
}

FrameGenOptions layer2_stereo(uint32_t seed, int32_t frames = 12) {
  FrameGenOptions o;
  o.layer = 2;
  o.sampling_index = 1;  // 48 kHz
  o.bitrate_index = 12;  // 256 kbit/s
  o.frames = frames;
  o.seed = seed;
  return o;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- channel modes ----

struct ChannelCase {
  SynthesisKind synthesis;
  const char *label;
};

class ChannelModes : public testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelModes, SelectAndMixChannels) {
  const std::vector<uint8_t> bytes = make_mpeg_audio_stream(layer2_stereo(7));
  DecodeSettings s;
  s.synthesis = GetParam().synthesis;
  const Decoded stereo = decode_bytes(bytes, s);
  ASSERT_EQ(stereo.channels, 2);
  ASSERT_EQ(stereo.pcm.size(), size_t(12 * 1152 * 2));
  const std::vector<int16_t> left = channel_of(stereo.pcm, 0), right = channel_of(stereo.pcm, 1);

  s.channel_mode = ChannelMode::LeftOnly;
  const Decoded l = decode_bytes(bytes, s);
  EXPECT_EQ(l.channels, 1);
  EXPECT_EQ(l.pcm, left);
  s.channel_mode = ChannelMode::RightOnly;
  const Decoded r = decode_bytes(bytes, s);
  EXPECT_EQ(r.channels, 1);
  EXPECT_EQ(r.pcm, right);

  s.channel_mode = ChannelMode::Mix;
  const Decoded mix = decode_bytes(bytes, s);
  ASSERT_EQ(mix.channels, 1);
  ASSERT_EQ(mix.pcm.size(), left.size());
  for (size_t i = 0; i < left.size(); ++i) {
    if (GetParam().synthesis == SynthesisKind::Fixed) {
      // The 16-bit mix halves each channel's output.
      ASSERT_EQ(mix.pcm[i], (left[i] >> 1) + (right[i] >> 1)) << i;
    } else {
      // The float mix synthesises the mean of the subband samples: the
      // mean of the outputs before rounding.
      ASSERT_NEAR(mix.pcm[i], (left[i] + right[i]) / 2.0, 1.01) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Synthesis, ChannelModes,
                         testing::Values(ChannelCase{SynthesisKind::Float, "Float"},
                                         ChannelCase{SynthesisKind::Fixed, "Fixed"}),
                         [](const testing::TestParamInfo<ChannelCase> &i) {
                           return std::string(i.param.label);
                         });

TEST(ChannelModes, MonoStreamFeedsEveryMode) {
  FrameGenOptions o = layer2_stereo(8, 4);
  o.mode = 3;
  const std::vector<uint8_t> bytes = make_mpeg_audio_stream(o);
  const Decoded plain = decode_bytes(bytes);
  ASSERT_EQ(plain.channels, 1);
  for (ChannelMode m : {ChannelMode::LeftOnly, ChannelMode::RightOnly, ChannelMode::Mix}) {
    DecodeSettings s;
    s.channel_mode = m;
    EXPECT_EQ(decode_bytes(bytes, s).pcm, plain.pcm) << int(m);
  }
}

// ---- rate modes ----

class RateModes : public testing::TestWithParam<ChannelCase> {};

TEST_P(RateModes, HalfRateKeepsEverySecondSample) {
  // 48 kHz Layer II, and Layer III from the shared media.
  const std::vector<uint8_t> bytes = make_mpeg_audio_stream(layer2_stereo(9));
  DecodeSettings s;
  s.synthesis = GetParam().synthesis;
  const Decoded full = decode_bytes(bytes, s);
  s.rate_mode = RateMode::Half;
  const Decoded half = decode_bytes(bytes, s);
  EXPECT_EQ(full.rate, 48000);
  EXPECT_EQ(half.rate, 24000);
  ASSERT_EQ(half.pcm.size() * 2, full.pcm.size());
  for (size_t f = 0; f < half.pcm.size() / 2; ++f)
    for (size_t c = 0; c < 2; ++c) ASSERT_EQ(half.pcm[2 * f + c], full.pcm[4 * f + c]) << f;
}

TEST_P(RateModes, NormalRate) {
  const std::vector<uint8_t> bytes = make_mpeg_audio_stream(layer2_stereo(10));
  DecodeSettings s;
  s.synthesis = GetParam().synthesis;
  const Decoded full = decode_bytes(bytes, s);
  s.rate_mode = RateMode::Normal;
  const Decoded normal = decode_bytes(bytes, s);
  ASSERT_EQ(normal.pcm.size(), full.pcm.size());
  EXPECT_EQ(normal.rate, 48000);
  if (GetParam().synthesis == SynthesisKind::Fixed) {
    EXPECT_EQ(normal.pcm, full.pcm);  // the 16-bit form computes every sample
    return;
  }
  // Odd samples computed, even ones the mean of their neighbours.
  for (size_t f = 1; f + 1 < full.pcm.size() / 2; ++f)
    for (size_t c = 0; c < 2; ++c) {
      const size_t i = 2 * f + c;
      if (f & 1) {
        ASSERT_EQ(normal.pcm[i], full.pcm[i]) << f;
      } else {
        ASSERT_NEAR(normal.pcm[i], (full.pcm[i - 2] + full.pcm[i + 2]) / 2.0, 1.01) << f;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Synthesis, RateModes,
                         testing::Values(ChannelCase{SynthesisKind::Float, "Float"},
                                         ChannelCase{SynthesisKind::Fixed, "Fixed"}),
                         [](const testing::TestParamInfo<ChannelCase> &i) {
                           return std::string(i.param.label);
                         });

TEST(RateModes, HalfRateLayer3Gives576SamplesPerGranulePair) {
  const Stream st = test_stream("audio_l3_44k.mp3");
  if (st.path.empty()) GTEST_SKIP() << "no Layer III stream";
  const std::vector<uint8_t> bytes = read_file(st.path);
  const Decoded full = decode_bytes(bytes);
  DecodeSettings s;
  s.rate_mode = RateMode::Half;
  const Decoded half = decode_bytes(bytes, s);
  EXPECT_EQ(half.rate, 22050);
  ASSERT_EQ(half.pcm.size() * 2, full.pcm.size());
  for (size_t f = 0; f < half.pcm.size() / 2; ++f) ASSERT_EQ(half.pcm[2 * f], full.pcm[4 * f]) << f;
}

// ---- sync and probe ----

TEST(Sync, ChangedLayerAfterFirstFrameIsSkipped) {
  const std::vector<uint8_t> l2a = make_mpeg_audio_stream(layer2_stereo(11, 4));
  const std::vector<uint8_t> l2b = make_mpeg_audio_stream(layer2_stereo(12, 4));
  FrameGenOptions l1 = layer2_stereo(13, 1);
  l1.layer = 1;
  const std::vector<uint8_t> one_l1 = make_mpeg_audio_stream(l1);
  const Decoded clean = decode_bytes(concat(l2a, l2b));
  const Decoded mixed = decode_bytes(concat(concat(l2a, one_l1), l2b));
  EXPECT_EQ(mixed.pcm.size(), size_t(8 * 1152 * 2));
  EXPECT_EQ(mixed.pcm, clean.pcm);
}

TEST(Sync, ProtectionBitChangeIsSkippedToo) {
  FrameGenOptions crc = layer2_stereo(14, 1);
  crc.crc = true;
  const std::vector<uint8_t> a = make_mpeg_audio_stream(layer2_stereo(15, 3));
  const Decoded d = decode_bytes(concat(concat(a, make_mpeg_audio_stream(crc)), a));
  EXPECT_EQ(d.pcm.size(), size_t(6 * 1152 * 2));
}

TEST(Probe, SystemStreamWaitsForLayer2AndFileModeTakesAnyLayer) {
  // A lone Layer I frame (no second header one frame on) is taken for a
  // cut frame: a system stream waits for Layer II.
  FrameGenOptions l1 = layer2_stereo(16, 1);
  l1.layer = 1;
  const std::vector<uint8_t> l2 = make_mpeg_audio_stream(layer2_stereo(17, 5));
  const std::vector<uint8_t> bytes = concat(make_mpeg_audio_stream(l1), l2);

  DecodeSettings stream_mode;
  stream_mode.file_mode = 0;
  const Decoded from_stream = decode_bytes(bytes, stream_mode);
  ASSERT_TRUE(from_stream.probed);
  EXPECT_EQ(from_stream.info.layer, 2);
  EXPECT_EQ(from_stream.info.bitrate_kbps, 256);
  EXPECT_EQ(from_stream.info.sample_rate, 48000);
  // The first fill starts at the probed frame: exactly the Layer II frames.
  EXPECT_EQ(from_stream.pcm, decode_bytes(l2).pcm);

  const Decoded from_file = decode_bytes(bytes);
  ASSERT_TRUE(from_file.probed);
  EXPECT_EQ(from_file.info.layer, 1);
}

TEST(Probe, SystemStreamTakesLayer1ConfirmedByTheNextHeader) {
  FrameGenOptions l1 = layer2_stereo(19, 4);
  l1.layer = 1;
  DecodeSettings stream_mode;
  stream_mode.file_mode = 0;
  const std::vector<uint8_t> bytes = make_mpeg_audio_stream(l1);
  const Decoded from_stream = decode_bytes(bytes, stream_mode);
  ASSERT_TRUE(from_stream.probed);
  EXPECT_EQ(from_stream.info.layer, 1);
  // Every frame decodes, the first one included.
  EXPECT_EQ(from_stream.pcm, decode_bytes(bytes).pcm);
  EXPECT_FALSE(from_stream.pcm.empty());
}

TEST(Probe, FixesTheSixteenBitSyncWordAndRewinds) {
  std::vector<uint8_t> bytes(777, 0x55);  // leading junk, no sync in it
  const std::vector<uint8_t> l2 = make_mpeg_audio_stream(layer2_stereo(18, 3));
  bytes.insert(bytes.end(), l2.begin(), l2.end());
  struct Src {
    const std::vector<uint8_t> *b;
    size_t pos;
  } src{&bytes, 0};
  MpegAudioDecoder dec;
  dec.set_source(
      [](void *ctx, void *dst, int32_t len) {
        auto *s = static_cast<Src *>(ctx);
        const size_t n = std::min(size_t(len), s->b->size() - s->pos);
        std::memcpy(dst, s->b->data() + s->pos, n);
        s->pos += n;
        return int32_t(n);
      },
      &src);
  dec.reset_stream();
  EXPECT_EQ(dec.sync_word(), 0x0FFFu);
  EXPECT_EQ(dec.sync_bits(), 12);
  lunaret::StreamInfo info;
  ASSERT_EQ(dec.probe(1, &info), 1);
  EXPECT_EQ(dec.sync_word(), 0xFFFDu);  // MPEG-1, Layer II, no CRC
  EXPECT_EQ(dec.sync_bits(), 16);
  EXPECT_EQ(dec.output_channels(), 2);
  std::vector<int16_t> block(24576);
  int32_t n = 0;
  ASSERT_EQ(dec.fill_block(block.data(), 24576, 8, &n), 1);
  EXPECT_EQ(n, 3 * 1152 * 2);  // the probed frame is decoded again
  EXPECT_EQ(dec.fill_block(block.data(), 24576, 8, &n), 0);
  EXPECT_TRUE(dec.input_ended());
  dec.reset_stream();
  EXPECT_FALSE(dec.input_ended());
  EXPECT_EQ(dec.sync_word(), 0x0FFFu);
}

TEST(Probe, NothingToFind) {
  const std::vector<uint8_t> junk(5000, 0x12);
  EXPECT_FALSE(decode_bytes(junk).probed);
  EXPECT_FALSE(decode_bytes({}).probed);
}

// ---- scalefactors ----

TEST(Scalefactors, UndefinedScalefactorSilencesItsSubband) {
  FrameGenOptions o = layer2_stereo(19, 6);
  o.busy_subbands = 0;   // nothing allocated ...
  o.silent_subband = 5;  // ... but subband 5, with scalefactor 63
  const Decoded silent = decode_bytes(make_mpeg_audio_stream(o));
  ASSERT_EQ(silent.pcm.size(), size_t(6 * 1152 * 2));
  for (int16_t v : silent.pcm) ASSERT_EQ(v, 0);
  // Layer I the same way.
  o.layer = 1;
  const Decoded silent1 = decode_bytes(make_mpeg_audio_stream(o));
  ASSERT_EQ(silent1.pcm.size(), size_t(6 * 384 * 2));
  for (int16_t v : silent1.pcm) ASSERT_EQ(v, 0);
  // Control: the same subband with a defined scalefactor sounds.
  o.layer = 2;
  o.silent_subband = -1;
  o.busy_subbands = 6;
  const Decoded loud = decode_bytes(make_mpeg_audio_stream(o));
  int32_t peak = 0;
  for (int16_t v : loud.pcm) peak = std::max(peak, std::abs(int32_t(v)));
  EXPECT_GT(peak, 100);
}

TEST(Scalefactors, Layer2TableFor224kAt44kHz) {
  lunaret::HeaderRecord h;
  h.id = 1;
  h.layer = 2;
  h.sampling_index = 0;  // 44.1 kHz
  h.bitrate_index = 12;  // 224 kbit/s: 112 per channel
  h.mode = 0;
  lunaret::derive_header(h);
  EXPECT_EQ(lunaret::layer2_table_index(h), 1);  // B.2b
  EXPECT_EQ(h.subband_limit, 30);
  // The same rate per channel at 48 kHz takes B.2a; low rates B.2c / B.2d.
  h.sampling_index = 1;
  EXPECT_EQ(lunaret::layer2_table_index(h), 0);
  h.bitrate_index = 2;  // 48 kbit/s: 24 per channel
  EXPECT_EQ(lunaret::layer2_table_index(h), 2);
  h.sampling_index = 2;
  EXPECT_EQ(lunaret::layer2_table_index(h), 3);
  h.id = 0;
  EXPECT_EQ(lunaret::layer2_table_index(h), 4);
}

// ---- Layer III reservoir ----

// Offset of the first MPEG-1 Layer III frame at or after `from` whose
// main data starts in an earlier frame.
size_t frame_with_back_reference(const std::vector<uint8_t> &b, size_t from) {
  for (size_t i = from; i + 6 < b.size(); ++i) {
    if (b[i] != 0xFF || (b[i + 1] & 0xFE) != 0xFA) continue;
    if ((b[i + 2] >> 4) == 15 || ((b[i + 2] >> 2) & 3) == 3) continue;
    const int32_t main_data_begin = (b[i + 4] << 1) | (b[i + 5] >> 7);
    if (main_data_begin > 0) return i;
  }
  return b.size();
}

TEST(Layer3, StreamCutInTheMiddleWaitsForItsReservoir) {
  const Stream st = test_stream("audio_l3_44k.mp3");
  if (st.path.empty()) GTEST_SKIP() << "no Layer III stream";
  const std::vector<uint8_t> bytes = read_file(st.path);
  const size_t cut = frame_with_back_reference(bytes, bytes.size() / 2);
  ASSERT_LT(cut, bytes.size());
  const std::vector<uint8_t> tail(bytes.begin() + std::ptrdiff_t(cut), bytes.end());
  const Decoded whole = decode_bytes(bytes);
  const Decoded part = decode_bytes(tail);
  ASSERT_TRUE(part.probed);
  // Frames in the tail, walked header by header (padding varies their length).
  size_t frames_in_tail = 0;
  for (size_t at = 0; at + 4 <= tail.size(); ++frames_in_tail) {
    lunaret::HeaderRecord h;
    h.id = 1;
    h.layer = 3;
    h.bitrate_index = tail[at + 2] >> 4;
    h.sampling_index = (tail[at + 2] >> 2) & 3;
    h.padding = (tail[at + 2] >> 1) & 1;
    const int32_t len = lunaret::frame_bytes(h);
    ASSERT_GT(len, 0) << "at " << at;
    at += size_t(len);
  }
  // The first frame points back into data we never saw: no samples for it.
  EXPECT_LT(part.pcm.size(), frames_in_tail * 1152 * 2);
  // ... and at most the first two (main_data_begin reaches 511 bytes back).
  EXPECT_GE(part.pcm.size(), (frames_in_tail - 2) * 1152 * 2);
  // Once the reservoir holds the frames' data, the sound is the same as in
  // the whole stream (after one frame for the overlap and the synthesis
  // history to fill).
  const size_t settle = 2 * 1152 * 2;
  ASSERT_GT(part.pcm.size(), settle);
  const size_t n = part.pcm.size() - settle;
  ASSERT_TRUE(
      std::equal(part.pcm.end() - std::ptrdiff_t(n), part.pcm.end(), whole.pcm.end() - std::ptrdiff_t(n)));
}

// ---- block fill ----

TEST(BlockFill, FramesPerFillAndLayer1Pairs) {
  const std::vector<uint8_t> l2 = make_mpeg_audio_stream(layer2_stereo(20, 30));
  FrameGenOptions o1 = layer2_stereo(21, 30);
  o1.layer = 1;
  const std::vector<uint8_t> l1 = make_mpeg_audio_stream(o1);
  struct Case {
    const std::vector<uint8_t> *bytes;
    int32_t frames;
    int32_t expect;
  } cases[] = {
      {&l2, 1, 1152 * 2},     {&l2, 0, 1152 * 2},       {&l2, -5, 1152 * 2},   {&l2, 3, 3 * 1152 * 2},
      {&l2, 8, 8 * 1152 * 2}, {&l2, 100, 8 * 1152 * 2}, {&l1, 1, 2 * 384 * 2}, {&l1, 4, 8 * 384 * 2},
  };
  for (const Case &c : cases) {
    struct Src {
      const std::vector<uint8_t> *b;
      size_t pos;
    } src{c.bytes, 0};
    MpegAudioDecoder dec;
    dec.set_source(
        [](void *ctx, void *dst, int32_t len) {
          auto *s = static_cast<Src *>(ctx);
          const size_t n = std::min(size_t(len), s->b->size() - s->pos);
          std::memcpy(dst, s->b->data() + s->pos, n);
          s->pos += n;
          return int32_t(n);
        },
        &src);
    dec.reset_stream();
    ASSERT_EQ(dec.probe(1, nullptr), 1);
    std::vector<int16_t> block(24576);
    int32_t n = -1;
    // A block that cannot take a whole frame is refused, not filled with nothing.
    EXPECT_EQ(dec.fill_block(block.data(), lunaret::kMaxFrameSamples - 1, c.frames, &n), 0);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(dec.fill_block(block.data(), 24576, c.frames, &n), 1);
    EXPECT_EQ(n, c.expect) << "frames " << c.frames;
  }
}

// ---- damaged and dribbling input ----

TEST(Input, ShortReadsDecodeTheSame) {
  const std::vector<uint8_t> l2 = make_mpeg_audio_stream(layer2_stereo(22, 10));
  const Decoded whole = decode_bytes(l2);
  for (int32_t max_read : {1, 7, 333, 2047}) {
    DecodeSettings s;
    s.max_read = max_read;
    EXPECT_EQ(decode_bytes(l2, s).pcm, whole.pcm) << max_read;
  }
  const Stream st = test_stream("audio_l3_22k_lsf.mp3");
  if (st.path.empty()) return;
  const std::vector<uint8_t> l3 = read_file(st.path);
  DecodeSettings s;
  s.max_read = 5;
  EXPECT_EQ(decode_bytes(l3, s).pcm, decode_bytes(l3).pcm);
}

TEST(Input, TruncatedStreamDropsTheCutFrame) {
  const std::vector<uint8_t> l2 = make_mpeg_audio_stream(layer2_stereo(23, 5));
  const size_t frame = l2.size() / 5;
  std::vector<uint8_t> cut(l2.begin(), l2.begin() + std::ptrdiff_t(4 * frame + frame / 3));
  const Decoded d = decode_bytes(cut);
  EXPECT_EQ(d.pcm.size(), size_t(4 * 1152 * 2));
  const Decoded whole = decode_bytes(l2);
  EXPECT_TRUE(std::equal(d.pcm.begin(), d.pcm.end(), whole.pcm.begin()));
}

TEST(Input, RandomBytesNeverFault) {
  std::mt19937 rng(99);
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> junk(3000 + rng() % 5000);
    for (auto &b : junk) b = uint8_t(rng());
    // Sprinkle sync words so that headers get parsed.
    for (int k = 0; k < 40; ++k) {
      const size_t at = rng() % (junk.size() - 2);
      junk[at] = 0xFF;
      junk[at + 1] = uint8_t(0xF0 | (rng() & 15));
    }
    for (SynthesisKind kind : {SynthesisKind::Float, SynthesisKind::Fixed}) {
      DecodeSettings s;
      s.synthesis = kind;
      s.rate_mode = round & 1 ? RateMode::Half : RateMode::Full;
      const Decoded d = decode_bytes(junk, s);
      EXPECT_LE(d.pcm.size(), junk.size() * 200);
    }
  }
}

}  // namespace
}  // namespace audio_test
