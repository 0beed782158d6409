// The AVI reader against ffprobe's packets and ffmpeg's per-packet CRCs, on
// ffmpeg-made files and on damaged copies of them.
#include "platform/avi/avi_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/platform/avi/avi_oracle.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace avi = platform::avi;
using testing_support::media_path;

namespace {

struct FileCloser {
  void operator()(avi::File *f) const { avi::release(f); }
};
using FilePtr = std::unique_ptr<avi::File, FileCloser>;

FilePtr open_avi(const std::string &path) { return FilePtr(avi::open(path.c_str())); }

// The entries ffprobe lists: those with data.
std::vector<avi::IndexEntry> with_data(const std::vector<avi::IndexEntry> &index) {
  std::vector<avi::IndexEntry> out;
  for (const auto &e : index)
    if (e.size > 0) out.push_back(e);
  return out;
}

void expect_index_like_ffprobe(const std::string &path, size_t limit_per_stream = SIZE_MAX) {
  SCOPED_TRACE(path);
  auto packets = avi_test::probe_packets(path);
  ASSERT_FALSE(packets.empty()) << "ffprobe failed";
  FilePtr f = open_avi(path);
  ASSERT_TRUE(f);
  ASSERT_EQ(size_t(avi::stream_count(f.get())), packets.size());
  for (size_t s = 0; s < packets.size(); ++s) {
    auto entries = with_data(avi::stream_index(avi::stream(f.get(), int32_t(s))));
    size_t n = std::min(packets[s].size(), limit_per_stream);
    ASSERT_EQ(entries.size(), n) << "stream " << s;
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(int64_t(entries[i].size), packets[s][i].size) << "stream " << s << " chunk " << i;
      ASSERT_EQ(entries[i].offset, packets[s][i].pos) << "stream " << s << " chunk " << i;
      ASSERT_EQ(entries[i].key, packets[s][i].key) << "stream " << s << " chunk " << i;
    }
  }
}

class AviFixture : public ::testing::TestWithParam<const char *> {};

TEST_P(AviFixture, IndexMatchesProbeAndChunksMatchCrcs) {
  const std::string path = media_path(GetParam());
  expect_index_like_ffprobe(path);
  auto crcs = avi_test::frame_crcs(path);
  ASSERT_FALSE(crcs.empty()) << "ffmpeg failed";
  FilePtr f = open_avi(path);
  ASSERT_TRUE(f);
  EXPECT_EQ(avi::file_info(f.get()).index_source, avi::IndexSource::idx1);
  std::vector<uint8_t> buf;
  for (size_t s = 0; s < crcs.size(); ++s) {
    const avi::Stream *st = avi::stream(f.get(), int32_t(s));
    const auto &h = avi::stream_header(st);
    EXPECT_GE(h.suggested_buffer_size, 1u);
    size_t k = 0;
    for (const auto &e : avi::stream_index(st)) {
      if (e.size == 0) continue;
      buf.resize(e.size);
      ASSERT_EQ(avi::read_at(avi::stream_file(st), e.offset, buf.data(), e.size), int64_t(e.size));
      ASSERT_LT(k, crcs[s].size());
      ASSERT_EQ(avi_test::adler32(buf.data(), buf.size()), crcs[s][k]) << "stream " << s << " packet " << k;
      ++k;
    }
    EXPECT_EQ(k, crcs[s].size()) << "stream " << s;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, AviFixture,
                         ::testing::Values("avi_mjpeg_pcm.avi", "avi_xvid_mp3.avi", "avi_divx_mp2.avi",
                                           "avi_h264_ac3.avi", "avi_dv_pcm48.avi", "avi_bgr24_flip_u8.avi",
                                           "avi_pal8_flip.avi", "avi_cvid_ima.avi", "avi_msvc_adpcm_ms.avi",
                                           "avi_msmpeg4.avi", "avi_ffv1.avi", "avi_three_audio.avi",
                                           "avi_audio_only.avi", "avi_odd_size.avi"));

// ---- damaged copies ---------------------------------------------------------

std::vector<uint8_t> bytes_of(const std::string &path) {
  auto b = testing_support::read_file_bytes(path);
  return b ? *b : std::vector<uint8_t>{};
}

std::string write_copy(const std::string &name, const std::vector<uint8_t> &bytes) {
  std::string path = testing_support::scratch_dir() + "/" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

size_t idx1_at(const std::vector<uint8_t> &b) {
  for (size_t i = b.size() - 4; i-- > 12;)
    if (std::memcmp(&b[i], "idx1", 4) == 0) return i;
  return 0;
}

uint32_t get32(const uint8_t *p) { return uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
void set32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

enum class Damage { renamed, zeroed, halved, shifted, cut };

std::vector<uint8_t> damage(std::vector<uint8_t> b, Damage d) {
  size_t at = idx1_at(b);
  if (at == 0) return {};
  uint32_t size = get32(&b[at + 4]);
  switch (d) {
    case Damage::renamed:
      std::memcpy(&b[at], "JUNK", 4);
      break;
    case Damage::zeroed:
      std::fill(b.begin() + long(at + 8), b.end(), 0);
      break;
    case Damage::halved:
      set32(&b[at + 4], size / 32 * 16);
      break;
    case Damage::shifted:
      for (size_t e = at + 8; e + 16 <= at + 8 + size; e += 16) set32(&b[e + 8], get32(&b[e + 8]) + 1000);
      break;
    case Damage::cut:
      b.resize(b.size() * 6 / 10);
      break;
  }
  return b;
}

void expect_same_index(const avi::File *damaged, const avi::File *intact, int64_t cut) {
  ASSERT_EQ(avi::stream_count(damaged), avi::stream_count(intact));
  for (int32_t s = 0; s < avi::stream_count(intact); ++s) {
    const auto &want = avi::stream_index(avi::stream(intact, s));
    const auto &got = avi::stream_index(avi::stream(damaged, s));
    size_t n = 0;
    while (n < want.size() && want[n].offset + int64_t(want[n].size) <= cut) ++n;
    ASSERT_EQ(got.size(), n) << "stream " << s;
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(got[i].offset, want[i].offset) << "stream " << s << " entry " << i;
      ASSERT_EQ(got[i].size, want[i].size) << "stream " << s << " entry " << i;
      ASSERT_EQ(got[i].key, want[i].key) << "stream " << s << " entry " << i;
    }
    const auto &h = avi::stream_header(avi::stream(damaged, s));
    EXPECT_EQ(avi::stream_end(avi::stream(damaged, s)),
              int64_t(h.start) + (h.sample_size
                                      ? (n ? got[n - 1].bytes_before + got[n - 1].size : 0) / h.sample_size
                                      : int64_t(n)));
  }
}

TEST(AviDamaged, CopiesGiveTheIntactIndexUpToTheCut) {
  for (const char *name : {"avi_mjpeg_pcm.avi", "avi_xvid_mp3.avi", "avi_divx_mp2.avi", "avi_cvid_ima.avi",
                           "avi_h264_ac3.avi", "avi_msmpeg4.avi", "avi_three_audio.avi"}) {
    const std::string path = media_path(name);
    auto bytes = bytes_of(path);
    ASSERT_FALSE(bytes.empty()) << path;
    FilePtr intact = open_avi(path);
    ASSERT_TRUE(intact);
    for (Damage d : {Damage::renamed, Damage::zeroed, Damage::halved, Damage::shifted, Damage::cut}) {
      SCOPED_TRACE(std::string(name) + " damage " + std::to_string(int(d)));
      auto copy = damage(bytes, d);
      ASSERT_FALSE(copy.empty());
      std::string p = write_copy(std::string("damaged_") + name, copy);
      FilePtr f = open_avi(p);
      ASSERT_TRUE(f);
      auto source = avi::file_info(f.get()).index_source;
      if (d == Damage::halved)
        EXPECT_TRUE(source == avi::IndexSource::idx1 && avi::file_info(f.get()).index_completed);
      else
        EXPECT_EQ(source, avi::IndexSource::rebuilt);
      expect_same_index(f.get(), intact.get(), int64_t(copy.size()));
    }
  }
}

// ---- sample reads -----------------------------------------------------------

TEST(AviRead, SampleReadsCrossChunksAndStopAtTheEnd) {
  FilePtr f = open_avi(media_path("avi_mjpeg_pcm.avi"));
  ASSERT_TRUE(f);
  const avi::Stream *audio = avi::stream(f.get(), 1);
  ASSERT_EQ(avi::stream_header(audio).sample_size, 2u);
  // The whole stream, chunk by chunk, is the reference.
  std::vector<uint8_t> all;
  for (const auto &e : avi::stream_index(audio)) {
    size_t at = all.size();
    all.resize(at + e.size);
    avi::read_at(avi::stream_file(audio), e.offset, all.data() + at, e.size);
  }
  const int64_t end = avi::stream_end(audio);
  ASSERT_EQ(end * 2, int64_t(all.size()));
  std::vector<uint8_t> buf(8192);
  for (int64_t start : {int64_t(0), int64_t(777), int64_t(1023), end - 100}) {
    int32_t bytes = 0, samples = 0;
    ASSERT_EQ(avi::read(audio, start, avi::kReadConvenient, buf.data(), 8192, &bytes, &samples), 0);
    EXPECT_EQ(samples, std::min<int64_t>(4096, end - start));
    EXPECT_EQ(bytes, samples * 2);
    EXPECT_EQ(0, std::memcmp(buf.data(), all.data() + start * 2, size_t(bytes))) << start;
  }
  int32_t bytes = 0, samples = 0;
  EXPECT_EQ(avi::read(audio, end, 1, buf.data(), 8192, &bytes, &samples), -1);
  // Video: one chunk per sample; a buffer too small fails.
  const avi::Stream *video = avi::stream(f.get(), 0);
  const auto &first = avi::stream_index(video)[0];
  EXPECT_EQ(avi::read(video, 0, 1, nullptr, 0, &bytes, &samples), 0);
  EXPECT_EQ(bytes, int32_t(first.size));
  EXPECT_EQ(avi::read(video, 0, 1, buf.data(), int32_t(first.size) - 1, &bytes, &samples), -1);
}

TEST(AviRead, KeySearchAndTimes) {
  FilePtr f = open_avi(media_path("avi_divx_mp2.avi"));
  ASSERT_TRUE(f);
  const avi::Stream *video = avi::stream(f.get(), 0);
  EXPECT_EQ(avi::stream_end(video), 200);
  EXPECT_EQ(avi::key_count(video), 4);
  EXPECT_EQ(avi::find_sample(video, 125, avi::kFindPrev | avi::kFindKey), 100);
  EXPECT_EQ(avi::find_sample(video, 101, avi::kFindNext | avi::kFindKey), 150);
  EXPECT_EQ(avi::find_sample(video, 151, avi::kFindNext | avi::kFindKey), -1);
  EXPECT_EQ(avi::sample_to_time(video, 100), 4000);
  EXPECT_EQ(avi::time_to_sample(video, 5000), 125);
}

TEST(AviRead, NotAnAviFails) {
  EXPECT_EQ(avi::open(testing_support::sample_path("README.md").c_str()), nullptr);
  EXPECT_EQ(avi::open("/nonexistent.avi"), nullptr);
}

}  // namespace
