// The content tests of the probe, on byte images in memory.
#include "media/source/content_probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/media/fixtures.h"

namespace {

using media_test::append;
using media_test::Bytes;
using media_test::fill;

class MemoryInput : public dravik::ProbeInput {
 public:
  explicit MemoryInput(const Bytes &b) : b_(b) {}
  int32_t read(void *buf, int32_t len) override {
    size_t n = std::min<size_t>(static_cast<size_t>(len), b_.size() - pos_);
    if (n) std::memcpy(buf, b_.data() + pos_, n);
    pos_ += n;
    return static_cast<int32_t>(n);
  }
  bool seek(int64_t pos) override {
    if (pos < 0 || static_cast<size_t>(pos) > b_.size()) return false;
    pos_ = static_cast<size_t>(pos);
    return true;
  }

 private:
  const Bytes &b_;
  size_t pos_ = 0;
};

dravik::ContentVerdict classify(const Bytes &b) {
  MemoryInput in(b);
  return dravik::classify_content(in);
}

// n copies of a frame header spaced 417 bytes apart, with a filler that
// holds no sync word.
Bytes audio_frames(const Bytes &header, int n, size_t total) {
  Bytes b;
  for (int i = 0; i < n; ++i) {
    append(b, header);
    fill(b, 413, 0x11);
  }
  if (b.size() < total) fill(b, total - b.size(), 0x11);
  return b;
}

Bytes pack_header() { return {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91}; }

Bytes riff(const char *form, uint16_t format_tag) {
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(form[i]));
  append(b, {'f', 'm', 't', ' ', 16, 0, 0, 0, uint8_t(format_tag), uint8_t(format_tag >> 8)});
  fill(b, 44 - b.size(), 0);
  return b;
}

Bytes ts_packets(size_t offset, int packets) {
  Bytes b(offset, 0x33);
  for (int i = 0; i < packets; ++i) {
    append(b, {0x47, 0x01, 0x00, 0x10});
    fill(b, 184, 0x55);
  }
  return b;
}

struct Case {
  const char *name;
  std::function<Bytes()> make;
  SourceKind kind;
  int32_t header_word;
};

const Case kCases[] = {
    {"raw-sector CDXA file", [] { return media_test::cdxa_file(150, 2); }, SOURCE_KIND_SYSTEM, 0},
    {"WAVE tag 0x55 holding MP3 frames",
     [] {
       Bytes b = riff("WAVE", 0x55);
       append(b, audio_frames(media_test::mp3_header(), 10, 4000));
       return b;
     },
     SOURCE_KIND_AUDIO, 0xFFFB},
    {"WAVE tag 0x50 without MPEG audio",
     [] {
       Bytes b = riff("WAVE", 0x50);
       fill(b, 4000, 0x11);
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"empty file", [] { return Bytes{}; }, SOURCE_KIND_CANNOT_OPEN, 0},
    {"zeros only", [] { return Bytes(150000, 0); }, SOURCE_KIND_CANNOT_OPEN, 0},
    {"64 KiB of zeros, then a system stream",
     [] {
       Bytes b(0x10000, 0);
       fill(b, 8, 0);
       append(b, pack_header());
       append(b, {0x00, 0x00, 0x01, 0xBB, 0x00, 0x0C});
       fill(b, 3000, 0x22);
       return b;
     },
     SOURCE_KIND_SYSTEM, 0},
    {"pack then video packet",
     [] {
       Bytes b = pack_header();
       append(b, {0x00, 0x00, 0x01, 0xE0, 0x00, 0x10});
       fill(b, 100, 0x22);
       return b;
     },
     SOURCE_KIND_SYSTEM, 0},
    {"five more packs without other codes",
     [] {
       Bytes b;
       for (int i = 0; i < 6; ++i) append(b, pack_header()), fill(b, 20, 0x22);
       return b;
     },
     SOURCE_KIND_SYSTEM, 0},
    {"four more packs only",
     [] {
       Bytes b;
       for (int i = 0; i < 5; ++i) append(b, pack_header()), fill(b, 20, 0x22);
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"transport stream", [] { return ts_packets(5, 40); }, SOURCE_KIND_SYSTEM, 0},
    {"a lone 0x47 in a short file is no transport stream",
     [] {
       Bytes b(300, 0x33);
       b[10] = 0x47;
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"video elementary stream: three codes",
     [] {
       Bytes b = {0x00, 0x00, 0x01, 0xB3};
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0xB8});
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0x03});
       return b;
     },
     SOURCE_KIND_VIDEO, 0},
    {"two video codes are not enough",
     [] {
       Bytes b = {0x00, 0x00, 0x01, 0xB3};
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0xB8});
       fill(b, 50, 0x22);
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"sequence header, GOP and one picture (one slice per picture)",
     [] {
       Bytes b = {0x00, 0x00, 0x01, 0xB3};
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0xB8});
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0x00});
       return b;
     },
     SOURCE_KIND_VIDEO, 0},
    {"picture codes before any sequence header do not count",
     [] {
       Bytes b = {0x00, 0x00, 0x01, 0x00};
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0x00});
       fill(b, 50, 0x22);
       append(b, {0x00, 0x00, 0x01, 0xB3});
       fill(b, 50, 0x22);
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"short MPEG audio file: one header is enough",
     [] { return audio_frames(media_test::mp3_header(), 1, 2000); }, SOURCE_KIND_AUDIO, 0xFFFB},
    {"long MPEG audio file with 20 headers is refused",
     [] { return audio_frames(media_test::mp3_header(), 20, 0x20000); }, SOURCE_KIND_NOTHING, 0},
    {"long MPEG audio file with 21 headers is accepted",
     [] { return audio_frames(media_test::mp3_header(), 21, 0x20000); }, SOURCE_KIND_AUDIO, 0xFFFB},
    {"Layer II mono header word",
     [] {
       return audio_frames({0xFF, 0xFD, 0x84, 0xC4}, 3, 1000);
     },
     SOURCE_KIND_AUDIO, 0xFFFD},
    {"free-format and bad-rate headers are no candidates",
     [] {
       Bytes b = audio_frames({0xFF, 0xFB, 0x00, 0x64}, 3, 600);
       append(b, audio_frames({0xFF, 0xFB, 0xF0, 0x64}, 3, 600));
       append(b, audio_frames({0xFF, 0xFB, 0x9C, 0x64}, 3, 600));  // sampling index 3
       append(b, audio_frames({0xFF, 0xFB, 0x90, 0x66}, 3, 600));  // emphasis 2
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"FF FF with a flat low nibble is skipped",
     [] {
       Bytes b;
       for (int i = 0; i < 50; ++i) append(b, {0xFF, 0xFF, 0x90, 0x11});
       return b;
     },
     SOURCE_KIND_NOTHING, 0},
    {"short AC-3 file",
     [] {
       return audio_frames({0x0B, 0x77, 0x12, 0x34}, 2, 3000);
     },
     SOURCE_KIND_AUDIO, 0x0B77},
    {"short AC-3 file holding a stray MPEG audio header keeps its AC-3 word",
     [] {
       Bytes b = audio_frames({0x0B, 0x77, 0x12, 0x34}, 2, 3000);
       append(b, media_test::mp3_header());
       fill(b, 100, 0x11);
       return b;
     },
     SOURCE_KIND_AUDIO, 0x0B77},
    {"short MPEG audio file with a later stray AC-3 sync word",
     [] {
       Bytes b = audio_frames(media_test::mp3_header(), 2, 3000);
       append(b, {0x0B, 0x77});
       fill(b, 100, 0x11);
       return b;
     },
     SOURCE_KIND_AUDIO, 0xFFFB},
    {"long AC-3 file with 20 sync words is refused",
     [] {
       return audio_frames({0x0B, 0x77, 0x12, 0x34}, 20, 0x20000);
     },
     SOURCE_KIND_NOTHING, 0},
    {"long AC-3 file with 21 sync words is accepted",
     [] {
       return audio_frames({0x0B, 0x77, 0x12, 0x34}, 21, 0x20000);
     },
     SOURCE_KIND_AUDIO, 0x0B77},
    {"text",
     [] {
       const char *t = "just some words, no stream here\n";
       return Bytes(t, t + std::strlen(t));
     },
     SOURCE_KIND_NOTHING, 0},
};

class ContentProbe : public testing::TestWithParam<Case> {};

TEST_P(ContentProbe, Classifies) {
  const Case &c = GetParam();
  dravik::ContentVerdict v = classify(c.make());
  EXPECT_EQ(v.kind, c.kind) << c.name;
  EXPECT_EQ(v.header_word, c.header_word) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ContentProbe, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case> &i) {
                           return "case" + std::to_string(i.index);
                         });

TEST(ContentProbe, ZeroSkipRereadsFromTheFirstNonZeroWord) {
  // Video codes that would be split by a 64 KiB window boundary without the
  // reposition to the first non-zero word.
  Bytes b(70000, 0);
  for (int i = 0; i < 3; ++i) {
    append(b, {0x00, 0x00, 0x01, 0xB3});
    fill(b, 31000, 0x22);
  }
  EXPECT_EQ(classify(b).kind, SOURCE_KIND_VIDEO);
}

// A source of zeros without an end (a device, or a huge sparse file): the
// search for the first data stops at the prefix bound.
class EndlessZeros : public dravik::ProbeInput {
 public:
  int32_t read(void *buf, int32_t len) override {
    std::memset(buf, 0, static_cast<size_t>(len));
    bytes_read += len;
    return len;
  }
  bool seek(int64_t) override { return true; }
  int64_t bytes_read = 0;
};

TEST(ContentProbe, ZerosEndAtThePrefixBound) {
  EndlessZeros in;
  const dravik::ContentVerdict v = dravik::classify_content(in);
  EXPECT_EQ(v.kind, SOURCE_KIND_NOTHING);
  EXPECT_GE(in.bytes_read, int64_t{16} << 20);
  EXPECT_LE(in.bytes_read, (int64_t{16} << 20) + 0x10000);
}

TEST(ContentProbe, WindowTestsStayInsideShortWindows) {
  const uint8_t one[3] = {0x00, 0x00, 0x01};
  for (size_t n = 0; n <= 3; ++n) {
    EXPECT_FALSE(dravik::is_system_stream(one, n));
    EXPECT_FALSE(dravik::is_transport_stream(one, n));
    EXPECT_FALSE(dravik::is_video_elementary(one, n));
    EXPECT_EQ(dravik::find_mpeg_audio(one, n, false), 0);
    EXPECT_FALSE(dravik::find_ac3(one, n, false));
  }
}

}  // namespace
