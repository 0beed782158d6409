// A two-angle title interleaved from two ffmpeg DVD streams with the same
// GOP layout, one VOBU per interleaved unit, its navigation packs written
// as a DVD's: the video read through the exports and through razavori is
// ffmpeg's copy of angle 1, or (angle 2 chosen) ffmpeg's copy of angle 2
// from the unit after the switch on.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/media/disc/disc_support.h"
#include "tests/support/test_media.h"

namespace {

using namespace disc_test;

constexpr size_t kSector = 2048;

void put_be32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

struct Stream {
  Bytes bytes;
  std::vector<size_t> units;  // sector of each navigation pack, then the end
};

Stream load(const std::string &path) {
  Stream s;
  s.bytes = file_bytes(path);
  for (size_t at = 0; at + kSector <= s.bytes.size(); at += kSector) {
    static const uint8_t dsi[7] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
    if (std::memcmp(s.bytes.data() + at + 1024, dsi, 7) == 0) s.units.push_back(at / kSector);
  }
  s.units.push_back(s.bytes.size() / kSector);
  return s;
}

// Interleaves the two streams unit by unit; units[a][u] is where unit u of
// angle a + 1 landed. Each pack's seamless angle table points at the next
// unit of each angle, as a DVD's does.
Bytes interleave(const Stream (&angle)[2], size_t units, std::vector<size_t> (&at)[2]) {
  Bytes out;
  for (size_t u = 0; u < units; ++u) {
    for (int a = 0; a < 2; ++a) {
      at[a].push_back(out.size() / kSector);
      const Stream &s = angle[a];
      out.insert(out.end(), s.bytes.begin() + long(s.units[u] * kSector),
                 s.bytes.begin() + long(s.units[u + 1] * kSector));
    }
  }
  for (size_t u = 0; u < units; ++u) {
    for (int a = 0; a < 2; ++a) {
      const size_t p = at[a][u];
      const uint32_t len = uint32_t(angle[a].units[u + 1] - angle[a].units[u]);
      uint8_t *d = out.data() + p * kSector + 1031;
      put_be32(d + 8, len - 1);           // VOBU end
      d[24] = 0, d[25] = uint8_t(a + 1);  // VOB id
      d[32] = 0x40, d[33] = 0;            // interleaved unit
      put_be32(d + 34, len - 1);          // unit end
      put_be32(d + 38, u + 1 < units ? uint32_t(at[a][u + 1] - p) : 0xFFFFFFFF);
      for (int b = 0; b < 2; ++b) {
        const bool last = u + 1 >= units;
        put_be32(d + 180 + 6 * b, last ? 0x7FFFFFFF : uint32_t(at[b][u + 1] - p));
        d[184 + 6 * b] = 0, d[185 + 6 * b] = 8;  // a size: the entry exists
      }
    }
  }
  return out;
}

std::string write(const std::string &name, const Bytes &b) {
  const std::string path = testing_support::scratch_dir() + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
  return path;
}

Bytes read_video() {
  Bytes got, buf(16384);
  int32_t n;
  while ((n = SysReadVideo(buf.data(), 16384)) > 0) got.insert(got.end(), buf.begin(), buf.begin() + n);
  return got;
}

// got is the whole of ref (the last read rounded up to 4 bytes).
void expect_whole(const Bytes &got, const Bytes &ref) {
  ASSERT_GE(got.size(), ref.size());
  EXPECT_LT(got.size() - ref.size(), 4u);
  EXPECT_TRUE(std::equal(ref.begin(), ref.end(), got.begin()));
}

// got is ref from a sequence header on, at least skip bytes in.
void expect_suffix_from_sequence_header(const Bytes &got, const Bytes &ref, size_t min_skip) {
  ASSERT_GT(got.size(), 1000u);
  const uint8_t seq[4] = {0, 0, 1, 0xB3};
  ASSERT_TRUE(std::equal(seq, seq + 4, got.begin()));
  auto at = std::search(ref.begin(), ref.end(), got.begin(), got.begin() + 256);
  ASSERT_NE(at, ref.end()) << "not angle 2's video";
  EXPECT_GE(size_t(at - ref.begin()), min_skip);
  const long tail = long(ref.end() - at) - long(got.size());
  EXPECT_GT(tail, -4);
  EXPECT_LE(tail, 0);
  EXPECT_TRUE(std::equal(got.begin(), got.end() - 4, at));
}

class AngleStreams : public testing::Test {
 protected:
  void SetUp() override {
    angle_[0] = load(disc_path("angle1.mpg"));
    angle_[1] = load(disc_path("angle2.mpg"));
    units_ = std::min(angle_[0].units.size(), angle_[1].units.size()) - 1;
    ASSERT_GE(units_, 4u) << "the angle streams have too few navigation packs";
    title_ = write("ANGLES.VOB", interleave(angle_, units_, at_));
    for (int a = 0; a < 2; ++a) {
      // Each angle's units alone, and ffmpeg's copy of their video.
      const Stream &s = angle_[a];
      Bytes alone(s.bytes.begin(), s.bytes.begin() + long(s.units[units_] * kSector));
      es_[a] = ffmpeg_video_copy(write("angle" + std::to_string(a + 1) + ".vob", alone), "mpeg2video");
      ASSERT_GT(es_[a].size(), 10000u) << "ffmpeg gave no reference";
    }
    // Video bytes of angle 2's first unit: the switch lands after them.
    Bytes first(angle_[1].bytes.begin(), angle_[1].bytes.begin() + long(angle_[1].units[1] * kSector));
    first_unit_video_ = ffmpeg_video_copy(write("unit0.vob", first), "mpeg2video").size();
  }
  void TearDown() override {
    SysClose();
    unmap_all();
  }

  Stream angle_[2];
  size_t units_ = 0;
  std::vector<size_t> at_[2];
  std::string title_;
  Bytes es_[2];
  size_t first_unit_video_ = 0;
};

TEST_F(AngleStreams, ThroughTheExports) {
  ASSERT_GE(SysOpen(title_.c_str(), 0), 0);
  expect_whole(read_video(), es_[0]);  // no choice: angle 1
  EXPECT_EQ(SysControl(CTL_ANGLE_COUNT, 0), 2);
  SysControl(CTL_ANGLE_SELECT, 5);  // two angles only: nothing changes
  ASSERT_EQ(SysSeek(0, 0), 0);
  expect_whole(read_video(), es_[0]);
  SysControl(CTL_ANGLE_SELECT, 2);
  for (int twice = 0; twice < 2; ++twice) {
    SCOPED_TRACE(twice);
    ASSERT_EQ(SysSeek(0, 0), 0);  // every seek applies the choice again
    expect_suffix_from_sequence_header(read_video(), es_[1], first_unit_video_);
  }
  EXPECT_EQ(SysControl(CTL_ANGLE_CURRENT, 0), 2);
}

int run_status(const std::string &cmd) {
  const int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST_F(AngleStreams, ThroughRazavoriOnAMappedImage) {
  const std::string root = testing_support::scratch_dir() + "/angle_root";
  const std::string iso = testing_support::scratch_dir() + "/angles.iso";
  ASSERT_EQ(
      run_status("rm -rf '" + root + "' && mkdir -p '" + root + "/VIDEO_TS' && cp '" + title_ + "' '" + root +
                 "/VIDEO_TS/VTS_01_1.VOB' && genisoimage -quiet -o '" + iso + "' '" + root + "'"),
      0)
      << "genisoimage failed";
  map_drive('W', iso);
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  const std::string tool = std::string(bin ? bin : ".") + "/bin/razavori";
  const std::string out = testing_support::scratch_dir() + "/angle.m2v";
  ASSERT_EQ(run_status(tool + " demux W:/VIDEO_TS/VTS_01_X.VOB --video '" + out + "' >/dev/null"), 0);
  expect_whole(file_bytes(out), es_[0]);
  ASSERT_EQ(run_status(tool + " demux W:/VIDEO_TS/VTS_01_X.VOB --angle 2 --video '" + out + "' >/dev/null"),
            0);
  expect_suffix_from_sequence_header(file_bytes(out), es_[1], first_unit_video_);
}

}  // namespace
