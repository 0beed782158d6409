// Segment saving through the exports, checked with ffmpeg, ffprobe and
// vcdimager: the video of a segment is the reference from a sequence header
// or GOP to another, closed by a sequence end code; the template packs
// carry the fields of ffmpeg's Video CD packs; raw-sector cuts are Video CD
// track payloads; failed writes, empty ranges and cuts to the end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "media/media_api.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/media/extract/extract_files.h"
#include "tests/support/tool_run.h"

namespace extract_test {
namespace {

constexpr int32_t kUnit = 2324;

using ToolResult = testing_support::ToolRun;

// A shell command with its output; a missing tool makes the status 127.
ToolResult run(const std::string &cmd) { return testing_support::run_tool(cmd + " 2>&1"); }

struct Segment {
  int32_t begin = -1, head = -1, finish = -1;
};

// Opens source and saves [start, end) to out through commands 0, 1, 4, 6,
// 2 and 5, as a host does.
Segment save_segment(const std::string &source, int32_t start, int32_t end, const std::string &out) {
  Segment r;
  int32_t length = 0;
  SysProbe(source.c_str(), &length);
  if (SysOpen(source.c_str(), 0) == DRAVIK_HANDLE_NONE) return r;
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  SysControl(CTL_SET_SEGMENT_START, start);
  SysControl(CTL_SET_SEGMENT_END, end);
  r.begin = static_cast<int32_t>(SysControl(CTL_SEGMENT_BEGIN, 0));
  if (r.begin) {
    r.head = static_cast<int32_t>(SysControl(CTL_SEGMENT_HEAD, fd));
    for (int i = 0; i < 100000; ++i) {
      const intptr_t done = SysControl(CTL_SEGMENT_COPY, fd);
      if (done < 0 || done >= end - start) break;
    }
    r.finish = static_cast<int32_t>(SysControl(CTL_SEGMENT_FINISH, fd));
  }
  ::close(fd);
  SysClose();
  return r;
}

bool ends_with_program_end(const Bytes &b) {
  return b.size() >= 4 && b[b.size() - 4] == 0 && b[b.size() - 3] == 0 && b[b.size() - 2] == 1 &&
         b[b.size() - 1] == 0xB9;
}

size_t find_code(const Bytes &b, size_t from, int code) {
  for (size_t i = from; i + 4 <= b.size(); ++i)
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (code < 0 || b[i + 3] == code)) return i;
  return std::string::npos;
}

// The segment's video, its leading zeros (and an inserted sequence header)
// aside, is the reference from a sequence header or GOP up to another one
// (or the reference's end), then 00 00 01 B7 and nothing but zeros.
void expect_video_is_a_piece_of(const Bytes &es, const Bytes &ref) {
  size_t first = find_code(es, 0, -1);
  ASSERT_NE(first, std::string::npos);
  for (size_t i = 0; i < first; ++i) ASSERT_EQ(es[i], 0) << "leading byte " << i;
  ASSERT_TRUE(es[first + 3] == 0xB3 || es[first + 3] == 0xB8);
  const size_t end = [&] {
    size_t last = std::string::npos;
    for (size_t at = find_code(es, 0, 0xB7); at != std::string::npos; at = find_code(es, at + 4, 0xB7))
      last = at;
    return last;
  }();
  ASSERT_NE(end, std::string::npos) << "no sequence end code";
  for (size_t i = end + 4; i < es.size(); ++i) ASSERT_EQ(es[i], 0) << "byte after the end code " << i;

  // Where the piece lies in the reference, found from the bytes after the
  // first GOP header (whose broken_link the head may have set); a sequence
  // header the head put in front of that GOP is not in the reference.
  const size_t gop = find_code(es, first, 0xB8);
  const size_t anchor = gop == std::string::npos ? first : gop + 8;
  ASSERT_LT(anchor + 64, end);
  // Long enough to tell the GOPs of a repetitive picture apart.
  const size_t probe = std::min<size_t>(16384, end - anchor);
  const auto it = std::search(ref.begin(), ref.end(), es.begin() + static_cast<long>(anchor),
                              es.begin() + static_cast<long>(anchor + probe));
  ASSERT_NE(it, ref.end()) << "the segment's video is not in the reference";
  const size_t ref_anchor = static_cast<size_t>(it - ref.begin());
  auto differences = [&](size_t from) {
    const size_t at = ref_anchor - (anchor - from);
    size_t d = 0;
    for (size_t i = from; i < end; ++i) d += at + (i - from) >= ref.size() || es[i] != ref[at + (i - from)];
    return d;
  };
  if (ref_anchor < anchor - first || differences(first) > 1) {
    ASSERT_NE(gop, std::string::npos);
    ASSERT_EQ(es[first + 3], 0xB3) << "only a sequence header may be put in front";
    first = gop;
  }
  EXPECT_LE(differences(first), 1u) << "only the first GOP's broken_link may differ";
  const size_t at = ref_anchor - (anchor - first);
  const size_t n = end - first;
  const size_t next = at + n;
  if (next < ref.size()) {
    ASSERT_LE(next + 4, ref.size());
    EXPECT_TRUE(ref[next] == 0 && ref[next + 1] == 0 && ref[next + 2] == 1 &&
                (ref[next + 3] == 0xB3 || ref[next + 3] == 0xB8))
        << "the piece does not end where a sequence header or GOP begins";
  }
}

struct SegmentCase {
  const char *stream;
  const char *format;  // of ffmpeg's video copy
  int32_t start, end;
};

std::ostream &operator<<(std::ostream &o, const SegmentCase &c) { return o << c.stream << " " << c.start; }

class SegmentOracle : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(SegmentOracle, VideoTemplatesAndEndCodes) {
  const SegmentCase &c = GetParam();
  const std::string src = media(c.stream);
  const std::string dir = fresh_dir("segment");
  ASSERT_FALSE(src.empty());
  const std::string out = dir + "/seg.mpg";
  const Segment r = save_segment(src, c.start, c.end, out);
  ASSERT_EQ(r.begin, 1);
  EXPECT_GT(r.head, 0);
  EXPECT_EQ(r.finish, 1);
  const Bytes seg = read_all(out);
  EXPECT_TRUE(ends_with_program_end(seg));

  const ToolResult probe = run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + out + "'");
  ASSERT_EQ(probe.status, 0) << probe.out;
  EXPECT_NE(probe.out.find("video"), std::string::npos) << probe.out;
  const ToolResult copy = run("ffmpeg -nostdin -v error -y -i '" + out + "' -map 0:v:0 -c copy -f " +
                              c.format + " '" + dir + "/seg.es'");
  ASSERT_EQ(copy.status, 0) << copy.out;
  expect_video_is_a_piece_of(read_all(dir + "/seg.es"), read_all(media(std::string(c.stream) + ".video.es")));

  // In a stream of Video CD packs the third pack is the one holding the
  // sequence header (zeros before it), and the GOP follows in it.
  if (std::string(c.stream) == "mpeg1_system.mpg") {
    ASSERT_GT(seg.size(), 3u * kUnit);
    ASSERT_EQ(std::memcmp(seg.data() + 2 * kUnit, "\0\0\1\xBA", 4), 0);
    ASSERT_EQ(std::memcmp(seg.data() + 2 * kUnit + 12, "\0\0\1\xE0", 4), 0);
    const size_t seq = find_code(seg, 2 * kUnit + 16, -1);
    ASSERT_LT(seq, 3u * kUnit);
    EXPECT_EQ(seg[seq + 3], 0xB3);
    const size_t gop = find_code(seg, seq + 4, 0xB8);
    EXPECT_LT(gop, 3u * kUnit);
  }
  // The two system-header packs are ffmpeg's Video CD packs, SCR aside.
  const Bytes vcd = read_all(media("mpeg1_system.mpg"));
  ASSERT_GE(seg.size(), 2u * kUnit);
  ASSERT_GE(vcd.size(), 3u * kUnit);
  for (int k = 0; k < 2; ++k) {
    const size_t theirs = k == 0 ? 0 : 2 * kUnit;  // ffmpeg's audio one is its third pack
    // Up to the padding packet's length; its bytes are ffmpeg's own.
    for (int i = 0; i < 12 + 15 + 6; ++i) {
      if (i >= 4 && i < 9) continue;
      ASSERT_EQ(seg[k * kUnit + i], vcd[theirs + i]) << "template " << k << " byte " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, SegmentOracle,
                         ::testing::Values(SegmentCase{"mpeg1_system.mpg", "mpeg1video", 100000, 400000},
                                           SegmentCase{"mpeg1_system.mpg", "mpeg1video", 2324 * 7 + 100,
                                                       200000},
                                           SegmentCase{"mpeg2_ps.mpg", "mpeg2video", 150000, 600000},
                                           SegmentCase{"ext.vob", "mpeg2video", 1000000, 3000000},
                                           SegmentCase{"ext.vob", "mpeg2video", 4000000, 0x7FFFFFFF}));

uint64_t mpeg1_scr(const uint8_t *p) {
  return uint64_t(p[4] >> 1 & 7) << 30 | uint64_t(p[5]) << 22 | uint64_t(p[6] >> 1) << 15 |
         uint64_t(p[7]) << 7 | p[8] >> 1;
}

TEST(SegmentRawSectors, CutIsAVideoCdTrack) {
  const std::string dat = media("avseq01.dat");
  ASSERT_FALSE(dat.empty());
  const std::string dir = fresh_dir("raw");
  for (const auto &[start, end] : {std::pair{100000, 400000}, std::pair{300000, 0x7FFFFFFF}}) {
    SCOPED_TRACE(start);
    const std::string out = dir + "/seg.mpg";
    const Segment r = save_segment(dat, start, end, out);
    ASSERT_EQ(r.begin, 1);
    EXPECT_GT(r.head, 0);
    EXPECT_EQ(r.finish, 1);
    const Bytes seg = read_all(out);
    ASSERT_FALSE(seg.empty());
    EXPECT_EQ(seg.size() % kUnit, 0u);
    EXPECT_TRUE(ends_with_program_end(seg));
    for (size_t i = 0; i * kUnit < seg.size(); ++i) {
      ASSERT_EQ(std::memcmp(seg.data() + i * kUnit, "\0\0\1\xBA", 4), 0) << "pack " << i;
      ASSERT_EQ(mpeg1_scr(seg.data() + i * kUnit), 1200u * i) << "pack " << i;
    }
    const ToolResult probe = run("ffprobe -v warning '" + out + "'");
    EXPECT_EQ(probe.status, 0) << probe.out;
    EXPECT_EQ(probe.out.find("Header missing"), std::string::npos) << probe.out;
    const ToolResult vcd = run("cd '" + dir + "' && vcdimager -t vcd2 -c vcd.cue -b vcd.bin '" + out + "'");
    EXPECT_EQ(vcd.status, 0) << vcd.out;
    EXPECT_NE(vcd.out.find("finished ok"), std::string::npos) << vcd.out;
    const ToolResult copy = run("ffmpeg -nostdin -v error -y -i '" + out +
                                "' -map 0:v:0 -c copy -f mpeg1video '" + dir + "/seg.es'");
    ASSERT_EQ(copy.status, 0) << copy.out;
    expect_video_is_a_piece_of(read_all(dir + "/seg.es"), read_all(media("mpeg1_system.mpg.video.es")));
  }
}

// A hand-made MPEG-1 stream whose later GOPs carry no sequence header;
// with bare_start the first sequence header is followed by a picture
// directly (no GOP header, as MPEG-2 allows).
Bytes gop_stream(bool closed, bool bare_start) {
  using demux_test::pattern;
  demux_test::StreamBuilder b;
  const Bytes seq = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x13, 0xFF, 0xFF, 0xE0, 0xA0};
  const Bytes ext = {0, 0, 1, 0xB2, 'u', 's', 'e', 'r'};
  for (int g = 0; g < 40; ++g) {
    Bytes es;
    if (g == 0) es.insert(es.end(), seq.begin(), seq.end()), es.insert(es.end(), ext.begin(), ext.end());
    const Bytes gop = {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, static_cast<uint8_t>(closed ? 0x40 : 0x00)};
    if (g > 0 || !bare_start) es.insert(es.end(), gop.begin(), gop.end());
    for (int p = 0; p < 3; ++p) {
      const Bytes pic = {0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8};
      es.insert(es.end(), pic.begin(), pic.end());
      const Bytes data = pattern(1500, static_cast<uint32_t>(g * 3 + p + 1));
      es.insert(es.end(), data.begin(), data.end());
    }
    for (size_t at = 0; at < es.size(); at += 2000) {
      b.pack(false, 3600u * static_cast<uint64_t>(g) + at, 3528);
      b.mpeg1_packet(0xE0, Bytes(es.begin() + static_cast<long>(at),
                                 es.begin() + static_cast<long>(std::min(es.size(), at + 2000))));
    }
  }
  b.program_end();
  return b.data();
}

TEST(SegmentHead, AGopWithoutSequenceHeaderGetsTheTemplateAndItsLink) {
  for (const auto &[closed, bare_start] : {std::pair{false, false}, {true, false}, {false, true}}) {
    SCOPED_TRACE(testing::Message() << "closed " << closed << ", bare start " << bare_start);
    const std::string dir = fresh_dir("gops");
    const std::string src = dir + "/gops.mpg";
    write_all(src, gop_stream(closed, bare_start));
    const Segment r = save_segment(src, 60000, 120000, dir + "/seg.mpg");
    ASSERT_EQ(r.begin, 1);
    ASSERT_GT(r.head, 0);
    EXPECT_EQ(r.finish, 1);
    const Bytes seg = read_all(dir + "/seg.mpg");
    ASSERT_GT(seg.size(), 3u * kUnit);
    // The third pack carries the source's sequence header, user data
    // included, up to the GOP or picture after it: nothing of the picture.
    const uint8_t *t = seg.data() + 2 * kUnit;
    EXPECT_EQ(std::memcmp(t + 12, "\0\0\1\xE0", 4), 0);
    const int len = t[16] << 8 | t[17];
    EXPECT_EQ(len, 14 + 12 + 8);
    EXPECT_EQ(std::memcmp(t + 12 + 20, "\0\0\1\xB3", 4), 0);
    EXPECT_EQ(std::memcmp(t + 12 + 20 + 12, "\0\0\1\xB2user", 8), 0);
    EXPECT_EQ(std::memcmp(t + 12 + 20 + 20, "\0\0\1\xBE", 4), 0) << "padding after the header";
    // The next GOP follows, its broken_link set only when it is open.
    const size_t gop = find_code(seg, 3 * kUnit, 0xB8);
    ASSERT_NE(gop, std::string::npos);
    EXPECT_EQ(seg[gop + 7], closed ? 0x40 : 0x20);
    // Later GOPs are as they were.
    const size_t later = find_code(seg, gop + 4, 0xB8);
    ASSERT_NE(later, std::string::npos);
    EXPECT_EQ(seg[later + 7], closed ? 0x40 : 0x00);
  }
}

TEST(SegmentFailure, FullDiskEmptyRangeAndNoSource) {
  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const Segment full = save_segment(ps, 100000, 500000, "/dev/full");
  EXPECT_EQ(full.begin, 1);
  EXPECT_EQ(full.finish, 0);
  EXPECT_EQ(full.head, 0);

  const std::string dir = fresh_dir("empty");
  EXPECT_EQ(save_segment(ps, 500000, 500000, dir + "/a.mpg").begin, 0);
  EXPECT_EQ(save_segment(ps, 500000, 100000, dir + "/b.mpg").begin, 0);
  SysControl(CTL_SET_SEGMENT_START, 0);
  SysControl(CTL_SET_SEGMENT_END, 1000);
  EXPECT_EQ(SysControl(CTL_SEGMENT_BEGIN, 0), 0);  // no source open
}

TEST(SegmentFailure, CopyReportsAWriteThatFails) {
  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const std::string dir = fresh_dir("copyfail");
  int32_t length = 0;
  SysProbe(ps.c_str(), &length);
  ASSERT_NE(SysOpen(ps.c_str(), 0), DRAVIK_HANDLE_NONE);
  const int good = ::open((dir + "/seg.mpg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  SysControl(CTL_SET_SEGMENT_START, 100000);
  SysControl(CTL_SET_SEGMENT_END, 600000);
  ASSERT_EQ(SysControl(CTL_SEGMENT_BEGIN, 0), 1);
  EXPECT_GT(SysControl(CTL_SEGMENT_HEAD, good), 0);
  EXPECT_EQ(SysControl(CTL_SEGMENT_COPY, full), -1);
  EXPECT_EQ(SysControl(CTL_SEGMENT_COPY, good), -1) << "a segment with a lost block stays failed";
  EXPECT_EQ(SysControl(CTL_SEGMENT_FINISH, good), 0);
  ::close(full);
  ::close(good);
  SysClose();
}

TEST(SegmentRestore, ReadingGoesOnWhereItWas) {
  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const Bytes ref = read_all(media("mpeg2_ps.mpg.video.es"));
  const std::string dir = fresh_dir("restore");
  int32_t length = 0;
  {
    // A segment of another source left unfinished brings nothing back.
    const std::string other = media("mpeg1_system.mpg");
    SysProbe(other.c_str(), &length);
    ASSERT_NE(SysOpen(other.c_str(), 0), DRAVIK_HANDLE_NONE);
    const int null = ::open("/dev/null", O_WRONLY);
    SysControl(CTL_SET_SEGMENT_START, 100000);
    SysControl(CTL_SET_SEGMENT_END, 200000);
    ASSERT_EQ(SysControl(CTL_SEGMENT_BEGIN, 0), 1);
    EXPECT_GT(SysControl(CTL_SEGMENT_HEAD, null), 0);
    ::close(null);
    SysClose();
  }
  SysProbe(ps.c_str(), &length);
  ASSERT_NE(SysOpen(ps.c_str(), 0), DRAVIK_HANDLE_NONE);
  // Far enough in that the parser stands several blocks into the file.
  Bytes video(16384 * 24);
  ASSERT_EQ(SysReadVideo(video.data(), 16384 * 24), 16384 * 24);
  const int fd = ::open((dir + "/seg.mpg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  SysControl(CTL_SET_SEGMENT_START, 300000);
  SysControl(CTL_SET_SEGMENT_END, 500000);
  ASSERT_EQ(SysControl(CTL_SEGMENT_BEGIN, 0), 1);
  EXPECT_GT(SysControl(CTL_SEGMENT_HEAD, fd), 0);
  while (SysControl(CTL_SEGMENT_COPY, fd) >= 0 && SysControl(CTL_SEGMENT_COPY, fd) < 200000) {
  }
  EXPECT_EQ(SysControl(CTL_SEGMENT_FINISH, fd), 1);
  ::close(fd);
  Bytes chunk(16384);
  for (;;) {
    const int32_t n = SysReadVideo(chunk.data(), 16384);
    if (n <= 0) break;
    video.insert(video.end(), chunk.begin(), chunk.begin() + n);
    if (n < 16384) break;
  }
  SysClose();
  ASSERT_GE(video.size(), ref.size());
  video.resize(ref.size());
  EXPECT_TRUE(video == ref);
}

}  // namespace
}  // namespace extract_test
