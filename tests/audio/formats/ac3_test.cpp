// The AC-3 frame reader and Morrel against ffmpeg's own decodes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/decode/ac3_frame_reader.h"
#include "components/morrel/morrel.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

using lunaret::Ac3FrameReader;

struct Bytes {
  std::vector<uint8_t> data;
  size_t pos = 0;
  static int32_t read(void *ctx, void *dst, int32_t len) {
    auto *b = static_cast<Bytes *>(ctx);
    size_t n = std::min(static_cast<size_t>(len), b->data.size() - b->pos);
    std::memcpy(dst, b->data.data() + b->pos, n);
    b->pos += n;
    return static_cast<int32_t>(n);
  }
};

std::vector<uint8_t> file(const std::string &name) {
  auto b = testing_support::read_file_bytes(testing_support::media_path(name));
  EXPECT_TRUE(b.has_value()) << name;
  return b ? *b : std::vector<uint8_t>{};
}

Ac3Params params(bool multi) {
  Ac3Params p{};
  p.multichannel = multi ? 1 : 0;
  p.output_mode = multi ? MORREL_MODE_MULTI : 0;
  p.dynamic_range = 1.0;
  p.second_scale = 1.0;
  return p;
}

// Every frame of a file through the reader and Morrel, doubled as the
// engine does; the acmod and LFE flag of the last frame.
struct Decoded {
  std::vector<int16_t> pcm;
  int frames = 0;
  int acmod = -1, lfe = -1, rejected = 0;
};

Decoded decode(std::vector<uint8_t> data, bool multi) {
  Bytes src{std::move(data)};
  Ac3FrameReader reader;
  reader.set_source(Bytes::read, &src);
  reader.reset();
  void *h = MorrelOpen(nullptr, 0, nullptr);
  Decoded d;
  uint8_t frame[ac3::kMaxFrameBytes];
  ac3::FrameHeader head;
  const int ch = multi ? MORREL_MULTI_CHANNELS : 2;
  std::vector<int16_t> out(MORREL_FRAME_SAMPLES * ch);
  while (reader.next_frame(frame, &head)) {
    Ac3Params p = params(multi);
    p.input = frame;
    p.input_length = head.bytes;
    p.output = reinterpret_cast<uint8_t *>(out.data());
    p.output_capacity = static_cast<int32_t>(out.size() * 2);
    Ac3Info info{};
    EXPECT_EQ(MorrelDecode(h, &p, &info), p.output_capacity);
    for (int16_t v : out) d.pcm.push_back(v >= 0x4000 ? 0x7FFF : v < -0x4000 ? -0x8000 : v * 2);
    d.acmod = info.acmod;
    d.lfe = info.lfe;
    d.rejected += info.decoded ? 0 : 1;
    ++d.frames;
  }
  MorrelClose(h, 0);
  return d;
}

std::vector<int16_t> reference(const std::string &name) {
  auto r = testing_support::read_pcm_file(testing_support::media_path(name));
  EXPECT_TRUE(r.has_value()) << name;
  return r ? *r : std::vector<int16_t>{};
}

TEST(Morrel, StereoSettingIsTheDecodersDownmix) {
  Decoded d = decode(file("af_tones51.ac3"), false);
  auto ref = reference("af_tones51.stereo.s16");
  ASSERT_EQ(d.pcm.size(), ref.size());
  auto c = testing_support::compare_pcm(ref, d.pcm, 2);
  EXPECT_LE(c.max_abs_diff, 2) << c.describe();
  EXPECT_GE(c.snr_db, 65.0) << c.describe();
  EXPECT_EQ(d.rejected, 0);
}

TEST(Morrel, MultichannelSettingIsLeftCentreRightSurroundsLfe) {
  Decoded d = decode(file("af_tones51.ac3"), true);
  auto ffmpeg = reference("af_tones51.6ch.s16");  // FL FR FC LFE SL SR
  ASSERT_EQ(d.pcm.size(), ffmpeg.size());
  std::vector<int16_t> ref(ffmpeg.size());
  constexpr int kFrom[6] = {0, 2, 1, 4, 5, 3};  // ours L C R Ls Rs LFE
  for (size_t f = 0; f < ffmpeg.size() / 6; ++f)
    for (int c = 0; c < 6; ++c) ref[f * 6 + c] = ffmpeg[f * 6 + kFrom[c]];
  auto cmp = testing_support::compare_pcm(ref, d.pcm, 6);
  EXPECT_LE(cmp.max_abs_diff, 2) << cmp.describe();
  EXPECT_GE(cmp.snr_db, 65.0) << cmp.describe();
  EXPECT_EQ(d.acmod, 7);
  EXPECT_EQ(d.lfe, 1);
}

TEST(Morrel, InfoNamesEveryChannelMode) {
  struct Case {
    const char *name;
    int acmod, lfe;
    int loud[6];  // which of L C R Ls Rs LFE carry sound in six channels
  };
  const Case cases[] = {
      {"mono", 1, 0, {0, 1, 0, 0, 0, 0}}, {"stereo", 2, 0, {1, 0, 1, 0, 0, 0}},
      {"3.0", 3, 0, {1, 1, 1, 0, 0, 0}},  {"3.0back", 4, 0, {1, 0, 1, 1, 0, 0}},
      {"4.0", 5, 0, {1, 1, 1, 1, 0, 0}},  {"quad", 6, 0, {1, 0, 1, 1, 1, 0}},
      {"5.0", 7, 0, {1, 1, 1, 1, 1, 0}},  {"2.1", 2, 1, {1, 0, 1, 0, 0, 1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = decode(file(std::string("af_acmod_") + c.name + ".ac3"), true);
    ASSERT_GT(d.frames, 2);
    EXPECT_EQ(d.acmod, c.acmod);
    EXPECT_EQ(d.lfe, c.lfe);
    for (int ch = 0; ch < 6; ++ch) {
      int peak = 0;
      for (size_t i = ch; i < d.pcm.size(); i += 6)
        peak = std::max(peak, std::abs(static_cast<int>(d.pcm[i])));
      if (c.loud[ch])
        EXPECT_GT(peak, 1000) << "channel " << ch;
      else
        EXPECT_EQ(peak, 0) << "channel " << ch;
    }
  }
}

TEST(Morrel, RejectedFrameGivesSilenceAndNoWriteBeyondCapacity) {
  auto data = file("af_tones51.ac3");
  ac3::FrameHeader h = ac3::parse_header(data.data());
  ASSERT_GT(h.bytes, 0);
  std::vector<uint8_t> frame(data.begin(), data.begin() + h.bytes);
  frame[5] = 0xF8;  // a bitstream id no AC-3 decoder takes
  void *dec = MorrelOpen(nullptr, 0, nullptr);
  std::vector<int16_t> out(MORREL_FRAME_SAMPLES * 2 + 8, 0x5555);
  Ac3Params p = params(false);
  p.input = frame.data();
  p.input_length = h.bytes;
  p.output = reinterpret_cast<uint8_t *>(out.data());
  p.output_capacity = MORREL_FRAME_SAMPLES * 4;
  Ac3Info info{};
  EXPECT_EQ(MorrelDecode(dec, &p, &info), p.output_capacity);
  EXPECT_EQ(info.decoded, 0);
  for (int i = 0; i < MORREL_FRAME_SAMPLES * 2; ++i) ASSERT_EQ(out[i], 0) << i;
  for (int i = MORREL_FRAME_SAMPLES * 2; i < static_cast<int>(out.size()); ++i) ASSERT_EQ(out[i], 0x5555);
  // Six channels do not fit two channels' room: nothing is written.
  p.multichannel = 1;
  EXPECT_EQ(MorrelDecode(dec, &p, &info), 0);
  MorrelClose(dec, 0);
}

TEST(Ac3Reader, StartsOnTheFirstConfirmedFrameAndEndsAtACut) {
  auto data = file("af_tones51.ac3");
  const int frame_bytes = ac3::frame_bytes(data[4]);
  ASSERT_EQ(frame_bytes, 1792);  // 448 kbit/s at 48 kHz
  const int whole = static_cast<int>(data.size()) / frame_bytes;
  // Start mid-frame behind a planted false sync word, end mid-frame.
  std::vector<uint8_t> cut(data.begin() + 100, data.end() - 700);
  cut[3] = 0x0B, cut[4] = 0x77, cut[7] = 0x10;
  Bytes src{cut};
  Ac3FrameReader r;
  r.set_source(Bytes::read, &src);
  r.reset();
  ac3::FrameHeader h;
  ASSERT_TRUE(r.probe(&h));
  EXPECT_EQ(h.rate, 48000);
  EXPECT_EQ(h.acmod, 7);
  uint8_t frame[ac3::kMaxFrameBytes];
  int n = 0;
  while (r.next_frame(frame, &h)) {
    ASSERT_EQ(0, std::memcmp(frame, data.data() + (n + 1) * frame_bytes, h.bytes)) << n;
    ++n;
  }
  EXPECT_EQ(n, whole - 2);
  EXPECT_TRUE(r.input_ended());
}

TEST(Ac3Reader, ReservedRateAndCodesPastTheTableHaveNoLength) {
  EXPECT_EQ(ac3::frame_bytes(0x00), 128);
  EXPECT_EQ(ac3::frame_bytes(0x80 | 37), 3840);
  EXPECT_EQ(ac3::frame_bytes(0x40 | 1), 140);
  EXPECT_EQ(ac3::frame_bytes(0xC0), 0);
  EXPECT_EQ(ac3::frame_bytes(38), 0);
  EXPECT_EQ(ac3::frame_bytes(63), 0);
  // A stream of such headers gives no frame and ends.
  std::vector<uint8_t> junk;
  for (int i = 0; i < 3000; ++i) {
    const uint8_t f[8] = {0x0B, 0x77, 0, 0, static_cast<uint8_t>(i & 1 ? 0xC0 : 40), 0, 0xE0, 0};
    junk.insert(junk.end(), f, f + 8);
  }
  Bytes src{junk};
  Ac3FrameReader r;
  r.set_source(Bytes::read, &src);
  r.reset();
  ac3::FrameHeader h;
  EXPECT_FALSE(r.probe(&h));
  EXPECT_TRUE(r.input_ended());
}

}  // namespace
