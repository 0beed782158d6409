// DVD LPCM: formats and block sizes, the packings, the downmix table and
// the record reader's handling of damaged records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/decode/lpcm_reader.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

using lunaret::lpcm_convert;
using lunaret::lpcm_format;
using lunaret::LpcmFormat;
using lunaret::LpcmReader;

uint8_t format_byte(int bits_code, int rate_code, int channels) {
  return static_cast<uint8_t>(bits_code << 6 | rate_code << 4 | (channels - 1));
}

TEST(LpcmFormat, RatesBitsAndBlockSizes) {
  struct Case {
    int bits_code, rate_code, channels;
    int bits, rate, block;
  };
  const Case cases[] = {
      {0, 0, 2, 16, 48000, 4608},                               // one frame per fill
      {2, 1, 2, 24, 96000, 55296}, {0, 2, 2, 16, 44100, 4608},  // ffmpeg's 44.1 kHz code
      {0, 3, 2, 16, 32000, 4608},                               // and its 32 kHz code
      {0, 1, 6, 16, 96000, 65520},                              // capped, rounded to whole groups
      {1, 1, 8, 20, 96000, 65520}, {1, 0, 1, 20, 48000, 2880},
  };
  for (const Case &c : cases) {
    LpcmFormat f = lpcm_format(format_byte(c.bits_code, c.rate_code, c.channels));
    SCOPED_TRACE(testing::Message() << c.bits_code << "/" << c.rate_code << "/" << c.channels);
    EXPECT_EQ(f.bits, c.bits);
    EXPECT_EQ(f.rate, c.rate);
    EXPECT_EQ(f.channels, c.channels);
    EXPECT_EQ(f.block_bytes, c.block);
    EXPECT_EQ(f.block_bytes % f.group_bytes(), 0);
    EXPECT_LE(f.block_bytes, LpcmReader::kMaxBlock);
  }
}

// Packs stereo 32-bit samples (two frames per group) as 20- or 24-bit DVD
// LPCM: the high 16 bits of the four samples, then the low bits.
std::vector<uint8_t> pack(const std::vector<int32_t> &s, int bits) {
  std::vector<uint8_t> out;
  for (size_t g = 0; g + 4 <= s.size(); g += 4) {
    for (int i = 0; i < 4; ++i) {
      out.push_back(static_cast<uint8_t>(s[g + i] >> 24));
      out.push_back(static_cast<uint8_t>(s[g + i] >> 16));
    }
    if (bits == 24) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(s[g + i] >> 8));
    } else {
      for (int i = 0; i < 4; i += 2)
        out.push_back(static_cast<uint8_t>(((s[g + i] >> 12) & 0xF) << 4 | ((s[g + i + 1] >> 12) & 0xF)));
    }
  }
  return out;
}

TEST(LpcmConvert, TwentyAndTwentyFourBitPackingsKeepTheHighSixteenBits) {
  auto bytes = testing_support::read_file_bytes(testing_support::media_path("af_pcm20.s32"));
  ASSERT_TRUE(bytes.has_value());
  std::vector<int32_t> s(bytes->size() / 4);
  std::memcpy(s.data(), bytes->data(), s.size() * 4);
  s.resize(s.size() / 4 * 4);
  for (int bits : {20, 24}) {
    LpcmFormat f = lpcm_format(format_byte(bits == 20 ? 1 : 2, 0, 2));
    std::vector<uint8_t> packed = pack(s, bits);
    ASSERT_EQ(packed.size(), s.size() / 4 * f.group_bytes());
    std::vector<int16_t> out(s.size());
    int32_t n = lpcm_convert(f, packed.data(), static_cast<int32_t>(s.size() / 4), out.data());
    ASSERT_EQ(n, static_cast<int32_t>(s.size()));
    for (size_t i = 0; i < s.size(); ++i)
      ASSERT_EQ(out[i], static_cast<int16_t>(s[i] >> 16)) << bits << " " << i;
  }
}

TEST(LpcmConvert, DownmixTableHalvesTowardZeroAndSaturates) {
  // One group (two frames) of 16-bit big-endian samples per channel count.
  auto group = [](int channels, std::initializer_list<int> frame) {
    std::vector<uint8_t> g;
    for (int k = 0; k < 2; ++k)
      for (int v : frame) g.push_back(static_cast<uint8_t>(v >> 8)), g.push_back(static_cast<uint8_t>(v));
    (void)channels;
    return g;
  };
  struct Case {
    int channels;
    std::initializer_list<int> frame;
    int left, right;
  };
  const Case cases[] = {
      {1, {-7}, -7, -7},
      {2, {100, -200}, 100, -200},
      {3, {10, -5, 20}, 8, 18},  // -5/2 is -2
      {4, {1, 2, 3, 4}, 2, 4},
      {5, {30000, 20000, 0, 20000, 0}, 32767, 10000},
      {6, {1, 2, 3, 4, 5, 6}, 4, 8},
      {7, {1, 2, 3, 4, 5, 6, 7}, 6, 10},
      {8, {-30000, -20000, -20000, 0, 0, -20000, 0, -20000}, -32768, -20000},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.channels);
    LpcmFormat f = lpcm_format(format_byte(0, 0, c.channels));
    std::vector<uint8_t> g = group(c.channels, c.frame);
    int16_t out[4] = {};
    int32_t n = lpcm_convert(f, g.data(), 1, out);
    if (c.channels == 1) {
      ASSERT_EQ(n, 2);
      EXPECT_EQ(out[0], c.left);
    } else {
      ASSERT_EQ(n, 4);
      EXPECT_EQ(out[0], c.left);
      EXPECT_EQ(out[1], c.right);
      EXPECT_EQ(out[2], c.left);
    }
  }
}

struct Stream {
  std::vector<uint8_t> data;
  size_t pos = 0;
  static int32_t read(void *ctx, void *dst, int32_t len) {
    auto *s = static_cast<Stream *>(ctx);
    size_t n = std::min<size_t>(static_cast<size_t>(len), s->data.size() - s->pos);
    std::memcpy(dst, s->data.data() + s->pos, n);
    s->pos += n;
    return static_cast<int32_t>(n);
  }
  // One record: marker, length, the 6-byte header (pointer 0), samples.
  void record(uint8_t format, const std::vector<int16_t> &samples, uint32_t claimed = 0) {
    const uint32_t len = claimed ? claimed : static_cast<uint32_t>(6 + samples.size() * 2);
    const uint8_t head[14] = {'L',
                              'P',
                              'C',
                              'M',
                              static_cast<uint8_t>(len),
                              static_cast<uint8_t>(len >> 8),
                              static_cast<uint8_t>(len >> 16),
                              static_cast<uint8_t>(len >> 24),
                              1,
                              0,
                              0,
                              0,
                              format,
                              0x80};
    data.insert(data.end(), head, head + 14);
    for (int16_t v : samples)
      data.push_back(static_cast<uint8_t>(v >> 8)), data.push_back(static_cast<uint8_t>(v));
  }
};

TEST(LpcmReader, SkipsAnImpossibleRecordAndPlaysTheNext) {
  const uint8_t fmt = format_byte(0, 0, 2);
  Stream s;
  std::vector<int16_t> a(400), b(400);
  for (int i = 0; i < 400; ++i) a[i] = static_cast<int16_t>(i), b[i] = static_cast<int16_t>(-i - 1);
  s.record(fmt, a);
  s.record(fmt, std::vector<int16_t>(200, 0x7777), 70000);  // claims far more than is there
  s.record(fmt, b);
  LpcmReader r;
  r.set_source(Stream::read, &s);
  r.reset();
  LpcmFormat f;
  ASSERT_TRUE(r.probe(&f));
  std::vector<int16_t> out(8192);
  std::vector<int16_t> got;
  for (int32_t n; (n = r.fill(out.data(), 4096)) > 0;) got.insert(got.end(), out.begin(), out.begin() + n);
  std::vector<int16_t> want = a;
  want.insert(want.end(), b.begin(), b.end());
  // The damaged record's bytes are searched for the next marker, never played.
  EXPECT_EQ(got, want);
}

TEST(LpcmReader, FillsStopAtTheFrameCapAndKeepTheRest) {
  const uint8_t fmt = format_byte(0, 1, 6);  // 96 kHz 6 channels: 65,520-byte blocks
  Stream s;
  std::vector<int16_t> v(996);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int16_t>(i % 6 == 0 ? i : 0);
  for (int k = 0; k < 80; ++k) s.record(fmt, v);
  LpcmReader r;
  r.set_source(Stream::read, &s);
  r.reset();
  LpcmFormat f;
  ASSERT_TRUE(r.probe(&f));
  std::vector<int16_t> out(32768);
  int64_t frames = 0;
  for (int32_t n; (n = r.fill(out.data(), 1000)) > 0;) {
    ASSERT_LE(n / 2, 1000);
    ASSERT_EQ(n % 2, 0);
    frames += n / 2;
  }
  EXPECT_EQ(frames, 80 * 996 / 6);
}

}  // namespace
