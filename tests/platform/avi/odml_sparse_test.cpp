// An OpenDML file past 4 GiB that costs almost no disk: frame 0 in the
// 'AVI ' part, a second part holding a 0xFFFFF000-byte JUNK hole, and a
// third with 19 frames, all indexed through indx -> ix00. The reader must
// follow the 64-bit offsets; ffprobe reads the same packets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/avi/avi_reader.h"
#include "tests/platform/avi/avi_oracle.h"
#include "tests/support/test_media.h"

namespace avi = platform::avi;

namespace {

constexpr uint32_t kHole = 0xFFFFF000u;

struct Writer {
  std::vector<uint8_t> b;
  void u8(uint8_t v) { b.push_back(v); }
  void u16(uint32_t v) {
    u8(uint8_t(v));
    u8(uint8_t(v >> 8));
  }
  void u32(uint32_t v) {
    u16(v);
    u16(v >> 16);
  }
  void u64(uint64_t v) {
    u32(uint32_t(v));
    u32(uint32_t(v >> 32));
  }
  void id(const char *s) { b.insert(b.end(), s, s + 4); }
  void bytes(const std::vector<uint8_t> &v) { b.insert(b.end(), v.begin(), v.end()); }
  size_t begin_chunk(const char *name) {
    id(name);
    u32(0);
    return b.size();
  }
  void end_chunk(size_t at) {
    uint32_t size = uint32_t(b.size() - at);
    std::memcpy(&b[at - 4], &size, 4);
    if (size & 1) u8(0);
  }
};

// A standard index chunk for frames whose data sits at offsets (absolute).
void chunk_index(Writer &w, const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes) {
  size_t c = w.begin_chunk("ix00");
  w.u16(2);
  w.u8(0);
  w.u8(1);
  w.u32(uint32_t(offsets.size()));
  w.id("00dc");
  uint64_t base = offsets.front() - 8;
  w.u64(base);
  w.u32(0);
  for (size_t i = 0; i < offsets.size(); ++i) {
    w.u32(uint32_t(offsets[i] - base));
    w.u32(sizes[i]);
  }
  w.end_chunk(c);
}

TEST(AviOpenDml, SparseFilePastFourGibibytes) {
  // Twenty MJPEG frames from a real file.
  avi::File *src = avi::open(testing_support::media_path("avi_mjpeg_pcm.avi").c_str());
  ASSERT_TRUE(src);
  const avi::Stream *sv = avi::stream(src, 0);
  std::vector<std::vector<uint8_t>> frames;
  for (size_t i = 0; i < 20; ++i) {
    const auto &e = avi::stream_index(sv)[i];
    std::vector<uint8_t> f(e.size);
    ASSERT_EQ(avi::read_at(avi::stream_file(sv), e.offset, f.data(), e.size), int64_t(e.size));
    frames.push_back(f);
  }
  std::vector<uint8_t> bih = avi::format(sv);
  avi::release(src);

  // Part 1: headers, frame 0 and its ix00. The super index is patched once
  // the ix00 offsets are known.
  Writer w;
  w.id("RIFF");
  w.u32(0);
  w.id("AVI ");
  size_t hdrl = w.begin_chunk("LIST");
  w.id("hdrl");
  size_t avih = w.begin_chunk("avih");
  for (uint32_t v : {40000u, 0u, 0u, 0x10u, 1u, 0u, 1u, 0u, 320u, 240u, 0u, 0u, 0u, 0u}) w.u32(v);
  w.end_chunk(avih);
  size_t strl = w.begin_chunk("LIST");
  w.id("strl");
  size_t strh = w.begin_chunk("strh");
  w.id("vids");
  w.id("MJPG");
  for (uint32_t v : {0u, 0u, 0u, 1u, 25u, 0u, 1u, 0u, 0xFFFFFFFFu, 0u}) w.u32(v);
  w.u16(0), w.u16(0), w.u16(320), w.u16(240);
  w.end_chunk(strh);
  size_t strf = w.begin_chunk("strf");
  w.bytes(bih);
  w.end_chunk(strf);
  size_t indx = w.begin_chunk("indx");
  w.u16(4);
  w.u8(0);
  w.u8(0);
  w.u32(2);
  w.id("00dc");
  w.u32(0), w.u32(0), w.u32(0);
  const size_t super_entries = w.b.size();
  for (int i = 0; i < 2; ++i) w.u64(0), w.u32(0), w.u32(0);
  w.end_chunk(indx);
  w.end_chunk(strl);
  w.end_chunk(hdrl);
  size_t movi = w.begin_chunk("LIST");
  w.id("movi");
  size_t f0 = w.begin_chunk("00dc");
  w.bytes(frames[0]);
  w.end_chunk(f0);
  const uint64_t ix1_at = w.b.size();
  chunk_index(w, {f0}, {uint32_t(frames[0].size())});
  const uint32_t ix1_size = uint32_t(w.b.size() - ix1_at);
  w.end_chunk(movi);
  uint32_t riff1 = uint32_t(w.b.size() - 8);
  std::memcpy(&w.b[4], &riff1, 4);
  const std::vector<uint8_t> part1 = w.b;

  // Part 2: an AVIX whose movi is one JUNK chunk over the hole.
  const uint64_t p2 = part1.size();
  Writer x;
  x.id("RIFF");
  x.u32(uint32_t(4 + 12 + 8 + uint64_t(kHole)));
  x.id("AVIX");
  x.id("LIST");
  x.u32(4 + 8 + kHole);
  x.id("movi");
  x.id("JUNK");
  x.u32(kHole);
  const uint64_t p3 = p2 + x.b.size() + kHole;

  // Part 3: 19 frames and their ix00.
  Writer y;
  y.id("RIFF");
  y.u32(0);
  y.id("AVIX");
  size_t movi3 = y.begin_chunk("LIST");
  y.id("movi");
  std::vector<uint64_t> offsets;
  std::vector<uint32_t> sizes;
  for (size_t i = 1; i < 20; ++i) {
    size_t c = y.begin_chunk("00dc");
    offsets.push_back(p3 + c);
    sizes.push_back(uint32_t(frames[i].size()));
    y.bytes(frames[i]);
    y.end_chunk(c);
  }
  const uint64_t ix3_at = p3 + y.b.size();
  chunk_index(y, offsets, sizes);
  const uint32_t ix3_size = uint32_t(p3 + y.b.size() - ix3_at);
  y.end_chunk(movi3);
  uint32_t riff3 = uint32_t(y.b.size() - 8);
  std::memcpy(&y.b[4], &riff3, 4);

  // The super index: the two ix00 chunks.
  Writer se;
  se.u64(ix1_at), se.u32(ix1_size), se.u32(1);
  se.u64(ix3_at), se.u32(ix3_size), se.u32(19);
  std::vector<uint8_t> head = part1;
  std::memcpy(&head[super_entries], se.b.data(), se.b.size());

  const std::string path = testing_support::scratch_dir() + "/odml_sparse.avi";
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), ssize_t(head.size()));
  ASSERT_EQ(::pwrite(fd, x.b.data(), x.b.size(), off_t(p2)), ssize_t(x.b.size()));
  ASSERT_EQ(::pwrite(fd, y.b.data(), y.b.size(), off_t(p3)), ssize_t(y.b.size()));
  ::close(fd);

  avi::File *f = avi::open(path.c_str());
  ASSERT_TRUE(f);
  EXPECT_EQ(avi::file_info(f).riffs, 3);
  EXPECT_EQ(avi::file_info(f).index_source, avi::IndexSource::odml);
  EXPECT_FALSE(avi::file_info(f).index_completed);
  const avi::Stream *v = avi::stream(f, 0);
  ASSERT_EQ(avi::stream_end(v), 20);  // not the header's dwLength of 1
  const std::vector<avi::IndexEntry> index = avi::stream_index(v);
  EXPECT_GT(index[1].offset, int64_t(1) << 32);
  std::vector<uint8_t> buf(65536);
  for (int64_t n = 0; n < 20; ++n) {
    int32_t bytes = 0, samples = 0;
    ASSERT_EQ(avi::read(v, n, 1, buf.data(), int32_t(buf.size()), &bytes, &samples), 0);
    ASSERT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + bytes), frames[size_t(n)]) << n;
  }
  auto packets = avi_test::probe_packets(path);
  ASSERT_EQ(packets.size(), 1u) << "ffprobe failed";
  ASSERT_EQ(packets[0].size(), 20u);
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(packets[0][i].pos, index[i].offset) << i;
  avi::release(f);

  // Cut inside the third part: its ix00 is gone, the chunks before the cut
  // are found from their headers, the cut one is dropped.
  ASSERT_EQ(::truncate(path.c_str(), off_t(offsets[10] + 10)), 0);
  f = avi::open(path.c_str());
  ASSERT_TRUE(f);
  EXPECT_EQ(avi::file_info(f).index_source, avi::IndexSource::odml);
  EXPECT_TRUE(avi::file_info(f).index_completed);
  v = avi::stream(f, 0);
  ASSERT_EQ(avi::stream_end(v), 11);
  for (size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(avi::stream_index(v)[i].offset, index[i].offset) << i;
    EXPECT_EQ(avi::stream_index(v)[i].key, true) << i;
  }
  avi::release(f);
  ::unlink(path.c_str());
}

}  // namespace
