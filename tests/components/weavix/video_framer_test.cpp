// The video framer on small hand-built streams: units cut where pictures
// begin (a field pair stays one unit), and time stamps from picture types
// and temporal references for closed and open GOPs and for the joiner's
// zeroed B pictures.
#include "components/weavix/video_framer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "components/weavix/input_file.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kT = 3600;  // one picture at 25 fps in 90 kHz ticks

void add(Bytes &s, std::initializer_list<uint8_t> b) { s.insert(s.end(), b); }

void sequence_header(Bytes &s, bool mpeg2 = false) {
  // 352x288, 4:3, 25 fps, 1,150,000 bit/s, VBV 20.
  add(s, {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x23, 0x02, 0xCE, 0xE0, 0xA0});
  if (mpeg2) add(s, {0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00});
}
void gop(Bytes &s) { add(s, {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x00}); }
/// A picture header, an optional picture coding extension (structure 1 top
/// field, 2 bottom, 3 frame) and one slice of filler.
void picture(Bytes &s, int tr, int type, int structure = 0) {
  add(s, {0, 0, 1, 0x00, uint8_t(tr >> 2), uint8_t((tr & 3) << 6 | type << 3), 0xFF, 0xF8});
  if (structure) add(s, {0, 0, 1, 0xB5, 0x8F, 0xFF, uint8_t(0xF0 | structure), 0x80, 0x80});
  add(s, {0, 0, 1, 0x01, 0x12, 0x34, 0x56, 0x78, 0x9A});
}

struct Unit {
  Bytes bytes;
  int64_t pts, dts;
  bool key;
};

std::vector<Unit> cut(const Bytes &stream, int *skipped = nullptr) {
  weavix::MemorySource source(stream.data(), stream.size());
  weavix::VideoFramer framer(source);
  std::vector<Unit> units;
  if (!framer.start(stream.size())) return units;
  weavix::VideoUnit u;
  while (framer.next(u)) units.push_back({Bytes(u.data, u.data + u.size), u.pts, u.dts, u.key});
  if (skipped) *skipped = framer.skipped();
  return units;
}

TEST(VideoFramer, ClosedGopTimesFollowDisplayOrder) {
  Bytes s;
  sequence_header(s);
  gop(s);
  // Display order I0 B1 B2 P3 B4 B5 P6, sent in decoding order.
  const int order[][2] = {{0, 1}, {3, 2}, {1, 3}, {2, 3}, {6, 2}, {4, 3}, {5, 3}};
  for (const auto &p : order) picture(s, p[0], p[1]);
  add(s, {0, 0, 1, 0xB7});
  const auto units = cut(s);
  ASSERT_EQ(units.size(), 7u);
  // Shown at its display index (plus one picture); decoded when the
  // previous anchor shows (the first one a picture ahead).
  const int64_t pts[] = {1, 4, 2, 3, 7, 5, 6}, dts[] = {0, 1, 2, 3, 4, 5, 6};
  Bytes joined;
  for (size_t i = 0; i < units.size(); ++i) {
    EXPECT_EQ(units[i].pts, pts[i] * kT) << i;
    EXPECT_EQ(units[i].dts, dts[i] * kT) << i;
    EXPECT_EQ(units[i].key, i == 0) << i;
    joined.insert(joined.end(), units[i].bytes.begin(), units[i].bytes.end());
  }
  EXPECT_EQ(joined, s) << "every byte in exactly one unit, the end code in the last";
}

TEST(VideoFramer, OpenGopAndZeroedBPicturesKeepTheirPlaces) {
  Bytes s;
  sequence_header(s);
  gop(s);
  // An open GOP: I2 first, then the B pictures 0 and 1 shown before it.
  picture(s, 2, 1);
  picture(s, 0, 3);
  picture(s, 1, 3);
  picture(s, 5, 2);
  // The joiner's zeroed B pictures (3, 4): zeros after P5, then P8.
  s.insert(s.end(), 40, 0);
  picture(s, 8, 2);
  gop(s);
  picture(s, 2, 1);  // next GOP follows the last shown picture (8)
  const auto units = cut(s);
  ASSERT_EQ(units.size(), 6u);
  const int64_t pts[] = {3, 1, 2, 6, 9, 12};
  int64_t last_dts = -1;
  for (size_t i = 0; i < units.size(); ++i) {
    EXPECT_EQ(units[i].pts, pts[i] * kT) << i;
    EXPECT_GT(units[i].dts, last_dts) << i;
    EXPECT_LE(units[i].dts, units[i].pts) << i;
    last_dts = units[i].dts;
  }
  EXPECT_EQ(units[3].bytes.size(), 17u + 40u) << "the zeros stay with the picture before them";
}

TEST(VideoFramer, AFieldPairIsOneUnit) {
  Bytes s;
  sequence_header(s, true);
  gop(s);
  picture(s, 0, 1, 1);  // I top field
  picture(s, 0, 2, 2);  // P bottom field of the same frame
  picture(s, 1, 2, 1);
  picture(s, 1, 2, 2);
  picture(s, 2, 2, 3);  // a frame picture
  const auto units = cut(s);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].pts, 1 * kT);
  EXPECT_EQ(units[1].pts, 2 * kT);
  EXPECT_EQ(units[2].pts, 3 * kT);
  EXPECT_EQ(units[0].bytes.size(), 12u + 10u + 8u + 2 * (8u + 9u + 9u));
}

TEST(VideoFramer, InfoAndBytesBeforeTheFirstHeader) {
  Bytes s = {0x47, 0x00, 0x00, 0x01, 0xE0};
  const size_t garbage = s.size();
  sequence_header(s, true);
  gop(s);
  picture(s, 0, 1, 3);
  int skipped = 0;
  const auto units = cut(s, &skipped);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(skipped, 1);
  EXPECT_EQ(units[0].bytes, Bytes(s.begin() + long(garbage), s.end()));

  weavix::MemorySource source(s.data(), s.size());
  weavix::VideoFramer framer(source);
  ASSERT_TRUE(framer.start(s.size()));
  EXPECT_TRUE(framer.info().mpeg2);
  EXPECT_EQ(framer.info().width, 352);
  EXPECT_EQ(framer.info().height, 288);
  EXPECT_EQ(framer.info().bit_rate, 1150000);
  EXPECT_EQ(framer.info().vbv_bits, 20 * 16384);
  EXPECT_EQ(framer.info().fps_num, 25);
  EXPECT_EQ(weavix::recognise_stream(s.data(), s.size(), true), weavix::StreamKind::video);
  const Bytes text(3000, 'a');
  EXPECT_EQ(weavix::recognise_stream(text.data(), text.size(), true), weavix::StreamKind::unknown);
}

}  // namespace
