// Header parsing against what ffprobe reports for the generated streams,
// and hand-made headers for the rules ffprobe cannot show.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "tests/video/decode/stream_support.h"
#include "video/decode/decoder.h"

namespace {

using video_test::MemorySource;

const char *const kStreams[] = {
    "video_mpeg1.m1v",          "video_mpeg2_progressive.m2v", "video_mpeg2_interlaced.m2v",
    "video_mpeg2_open_gop.m2v", "video_starts_with_b.m2v",     "video_mpeg1_360x240.m1v",
};

std::map<std::string, std::string> probe_stream(const std::string &path) {
  std::map<std::string, std::string> values;
  std::istringstream out(testing_support::command_output(
      "ffprobe -v error -select_streams v:0 -show_entries "
      "stream=width,height,r_frame_rate,pix_fmt,field_order,codec_name -of default=nw=1 '" +
      path + "'"));
  std::string line;
  while (std::getline(out, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

// Picture types in stream order (ffprobe reports frames in display order
// with their coded number).
std::string probe_types(const std::string &path) {
  std::istringstream out(testing_support::command_output(
      "ffprobe -v error -show_entries frame=pict_type,coded_picture_number -of csv=p=0 '" + path + "'"));
  std::vector<std::pair<int, char>> frames;
  std::string line;
  while (std::getline(out, line)) {
    const auto comma = line.find(',');
    if (comma == std::string::npos || comma == 0) continue;
    frames.emplace_back(std::stoi(line.substr(comma + 1)), line[0]);
  }
  std::sort(frames.begin(), frames.end());
  std::string types;
  for (const auto &f : frames) types += f.second;
  return types;
}

bool media_available(const std::string &path) {
  if (std::filesystem::exists(path)) return true;
  // Without the generated media at all (a bare build), there is nothing to
  // compare with; with it, a missing stream is a failure.
  return false;
}

class GeneratedStream : public testing::TestWithParam<const char *> {};

TEST_P(GeneratedStream, HeadersMatchFfprobe) {
  const std::string path = testing_support::media_path(GetParam());
  if (!media_available(path)) {
    ASSERT_FALSE(std::filesystem::exists(testing_support::media_dir())) << "missing " << path;
    GTEST_SKIP() << "no generated media";
  }
  MemorySource m{testing_support::file_bytes(path)};
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.find_sequence_header(), 1);
  std::string types;
  int frame_pictures = 0;
  while (d.find_picture()) {
    d.parse_picture_header();
    const kestrum::PictureHeader &p = d.picture();
    // ffprobe counts a pair of field pictures as one frame.
    if (p.picture_structure == 3 || frame_pictures++ % 2 == 0) {
      types += "?IPBD"[std::clamp(p.picture_coding_type, 0, 4)];
    }
  }
  const kestrum::SequenceHeader &q = d.sequence();
  const auto probe = probe_stream(path);
  EXPECT_EQ(std::to_string(q.horizontal_size), probe.at("width"));
  EXPECT_EQ(std::to_string(q.vertical_size), probe.at("height"));
  EXPECT_EQ(q.is_mpeg2, probe.at("codec_name") == "mpeg2video");
  const char *const rates[] = {"0/0",  "24000/1001", "24/1",       "25/1", "30000/1001",
                               "30/1", "50/1",       "60000/1001", "60/1"};
  ASSERT_LT(q.frame_rate_code, 9);
  EXPECT_EQ(rates[q.frame_rate_code], probe.at("r_frame_rate"));
  EXPECT_EQ(q.chroma_format, 1);
  EXPECT_EQ(probe.at("pix_fmt"), "yuv420p");
  if (q.is_mpeg2) {
    const std::string order = probe.count("field_order") ? probe.at("field_order") : "";
    EXPECT_EQ(q.progressive_sequence == 1, order == "progressive" || order.empty()) << order;
  }
  EXPECT_GT(q.bit_rate(), 0);
  const std::string probed = probe_types(path);
  // ffmpeg drops the B pictures of an open GOP at the start of a stream
  // (their forward reference is missing); the stream still holds them.
  if (probed.size() > 1 && probed[1] != 'B') {
    while (types.size() > 1 && types[0] == 'I' && types[1] == 'B') types.erase(1, 1);
  }
  EXPECT_EQ(types, probed);
}

INSTANTIATE_TEST_SUITE_P(Streams, GeneratedStream, testing::ValuesIn(kStreams),
                         [](const testing::TestParamInfo<const char *> &info) {
                           std::string n = info.param;
                           std::replace_if(
                               n.begin(), n.end(), [](char c) { return !isalnum(c); }, '_');
                           return n;
                         });

// A sequence header written bit by bit.
std::vector<uint8_t> sequence_header(int width, int height, int rate_code, bool intra_matrix,
                                     bool non_intra_matrix) {
  video_test::BitWriter w;
  w.start_code(0x000001B3);
  w.put(uint32_t(width), 12);
  w.put(uint32_t(height), 12);
  w.put(1, 4);  // aspect
  w.put(uint32_t(rate_code), 4);
  w.put(3500, 18);
  w.put(1, 1);
  w.put(20, 10);
  w.put(0, 1);
  w.put(intra_matrix, 1);
  if (intra_matrix)
    for (int i = 0; i < 64; ++i) w.put(uint32_t(10 + i), 8);
  w.put(non_intra_matrix, 1);
  if (non_intra_matrix)
    for (int i = 0; i < 64; ++i) w.put(uint32_t(100 + i), 8);
  w.start_code(0x000001B7);
  return w.bytes;
}

TEST(SequenceHeader, MatrixDefaultsAndChromaCopies) {
  for (bool load : {false, true}) {
    MemorySource m{sequence_header(352, 288, 3, load, load)};
    kestrum::Decoder d;
    d.set_source(m.source());
    ASSERT_EQ(d.find_sequence_header(), 1);
    const kestrum::SequenceHeader &q = d.sequence();
    EXPECT_EQ(q.load_intra_quantiser_matrix, load);
    if (load) {
      // Value i lands at raster position zigzag[i]: i = 2 is raster 8.
      EXPECT_EQ(q.quantiser_matrix[0][0], 10);
      EXPECT_EQ(q.quantiser_matrix[0][1], 11);
      EXPECT_EQ(q.quantiser_matrix[0][8], 12);
      EXPECT_EQ(q.quantiser_matrix[1][63], 163);
    } else {
      EXPECT_EQ(q.quantiser_matrix[0][0], 8);
      EXPECT_EQ(q.quantiser_matrix[0][63], 83);
      EXPECT_EQ(q.quantiser_matrix[1][0], 16);
      EXPECT_EQ(q.quantiser_matrix[1][37], 16);
    }
    EXPECT_EQ(0, memcmp(q.quantiser_matrix[0], q.quantiser_matrix[2], 64));
    EXPECT_EQ(0, memcmp(q.quantiser_matrix[1], q.quantiser_matrix[3], 64));
    EXPECT_EQ(q.bit_rate(), 3500 * 400);
    EXPECT_FALSE(q.is_mpeg2);
  }
}

TEST(SequenceHeader, FramePeriodAndFamily) {
  const int32_t periods[16] = {33, 42, 42, 40, 33, 33, 20, 17, 17, 33, 33, 33, 33, 33, 33, 33};
  for (int code = 0; code < 16; ++code) {
    EXPECT_EQ(kestrum::frame_period_ms(code), periods[code]);
    EXPECT_EQ(kestrum::frame_rate_family(code), code == 1 || code == 2 || code == 3 || code == 6);
  }
}

TEST(StartCodes, SearchFindsPrefixesAtEveryByteOffsetAndAcrossRefills) {
  // Garbage, then a sequence header at each offset around the 16 KiB
  // buffer edge, served in small pieces.
  for (size_t offset : {0u, 1u, 2u, 3u, 5u, 16379u, 16380u, 16381u, 16382u, 16383u, 16384u, 16390u}) {
    std::vector<uint8_t> bytes(offset, 0xFF);
    const auto header = sequence_header(720, 576, 3, false, false);
    bytes.insert(bytes.end(), header.begin(), header.end());
    MemorySource m{bytes};
    m.chunk = 1000;
    kestrum::Decoder d;
    d.set_source(m.source());
    ASSERT_EQ(d.find_sequence_header(), 1) << offset;
    EXPECT_EQ(d.sequence().horizontal_size, 720) << offset;
    EXPECT_EQ(d.sequence().vertical_size, 576) << offset;
  }
}

TEST(StartCodes, OpenStepsOverLeadingDataWithoutSequenceHeader) {
  // 20 KiB without a header: the first fill finds nothing, the open steps
  // the source by 2352 bytes and tries again until the header is read.
  std::vector<uint8_t> bytes(40000, 0x11);
  const auto header = sequence_header(352, 240, 4, false, false);
  std::copy(header.begin(), header.end(), bytes.begin() + 30000);
  MemorySource m{bytes};
  kestrum::Decoder d;
  d.set_source(m.source());
  EXPECT_EQ(d.open_stream(), 1);
  EXPECT_EQ(d.sequence().horizontal_size, 352);
  EXPECT_TRUE(d.frame_store_ready());
  EXPECT_TRUE(d.uses_static_buffers());

  MemorySource none{std::vector<uint8_t>(5000, 0x22)};
  kestrum::Decoder e;
  e.set_source(none.source());
  EXPECT_EQ(e.open_stream(), 0);
  EXPECT_FALSE(e.frame_store_ready());
}

TEST(FrameStore, StaticBuffersForSmallPicturesOnly) {
  struct Case {
    int w, h;
    bool fixed;
  } cases[] = {{352, 240, true},  {352, 288, true},  {336, 288, true},
               {360, 240, false}, {352, 304, false}, {720, 576, false}};
  for (const Case &c : cases) {
    MemorySource m{sequence_header(c.w, c.h, 3, false, false)};
    kestrum::Decoder d;
    d.set_source(m.source());
    ASSERT_EQ(d.find_sequence_header(), 1);
    ASSERT_EQ(d.allocate_frame_store(), 1);
    EXPECT_EQ(d.uses_static_buffers(), c.fixed) << c.w << "x" << c.h;
    EXPECT_EQ(d.geometry().coded_width, (c.w + 15) / 16 * 16);
    const kestrum::Planes p = d.target_planes();
    EXPECT_EQ(p.y_stride, d.geometry().coded_width);
    EXPECT_EQ(p.cb_stride, d.geometry().coded_width / 2);
  }
}

// Each side within 4096 is not enough: the area is bounded by the largest
// MPEG-2 level, 1920x1152, so no header can make the store grow past it.
TEST(FrameStore, AreaBoundedByTheLargestLevel) {
  struct Case {
    int w, h;
    bool accepted;
  } cases[] = {{1920, 1152, true}, {1152, 1920, true},  {4095, 540, true},   {1920, 1153, false},
               {4095, 541, false}, {2048, 2048, false}, {4095, 4095, false}, {16, 16, true}};
  for (const Case &c : cases) {
    MemorySource m{sequence_header(c.w, c.h, 3, false, false)};
    kestrum::Decoder d;
    d.set_source(m.source());
    ASSERT_EQ(d.find_sequence_header(), 1);
    EXPECT_EQ(d.allocate_frame_store(), c.accepted ? 1 : 0) << c.w << "x" << c.h;
    EXPECT_EQ(d.frame_store_ready(), c.accepted) << c.w << "x" << c.h;
  }
}

}  // namespace
