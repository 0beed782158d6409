// Files of mapped drives, with nothing mounted: a Video CD's Form 2 files
// appear as raw-sector RIFF CDXA files built from the disc's sectors, other
// files as their 2048-byte sectors, for SysFileSize, SysProbe and SysOpen.
#include <gtest/gtest.h>

#include <cstring>

#include "media/media_api.h"
#include "tests/media/disc/disc_support.h"

namespace {

using namespace disc_test;

// Every video byte SysReadVideo hands out of the open source.
Bytes read_all_video() {
  Bytes got, buf(16384);
  int32_t n;
  while ((n = SysReadVideo(buf.data(), 16384)) > 0) got.insert(got.end(), buf.begin(), buf.begin() + n);
  return got;
}

class DrivePath : public testing::Test {
 protected:
  void SetUp() override { map_drive('V', disc_path("vcd2.cue")); }
  void TearDown() override {
    SysClose();
    unmap_all();
  }
};

TEST_F(DrivePath, Form2FileIsARawSectorFileOfTheDiscSectors) {
  const int sectors = vcd_info_file_sectors(disc_path("vcd2.cue"), "AVSEQ01.DAT");
  ASSERT_GT(sectors, 0) << "vcd-info gave no file list";
  const int32_t size = 44 + sectors * 2352;
  for (const char *path : {"V:/MPEGAV/AVSEQ01.DAT", "v:\\mpegav\\avseq01.dat"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(SysFileSize(path), size);
    int32_t length = 0;
    EXPECT_EQ(SysProbe(path, &length), SOURCE_KIND_SYSTEM);
    EXPECT_EQ(length, size);
  }
  EXPECT_EQ(SysFileSize("V:/MPEGAV/AVSEQ09.DAT"), -1);
  EXPECT_EQ(SysProbe("V:/MPEGAV/AVSEQ09.DAT", nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysProbe("V:/MPEGAV", nullptr), SOURCE_KIND_CANNOT_OPEN);  // a folder

  // Opened bare, the source starts after the 44-byte header: the disc's
  // raw sectors follow.
  ASSERT_GE(SysOpen("V:/MPEGAV/AVSEQ01.DAT", DRAVIK_START_RAW_VIDEO), 0);
  const Bytes sectors_read = read_all_video();
  ASSERT_EQ(int32_t(sectors_read.size()), size - 44);
  const Bytes bin = file_bytes(disc_path("vcd2.bin"));
  EXPECT_EQ(std::memcmp(sectors_read.data(), &bin[450 * 2352], size_t(sectors) * 2352), 0);
}

TEST_F(DrivePath, VideoOfTheTrackFileIsTheStreamsVideo) {
  const Bytes ref = ffmpeg_video_copy(disc_path("a.mpg"), "mpeg1video");
  ASSERT_GT(ref.size(), 10000u) << "ffmpeg gave no reference";
  ASSERT_GE(SysOpen("V:/MPEGAV/AVSEQ01.DAT", 0), 0);
  const Bytes got = read_all_video();
  // The last read is rounded up to 4 bytes.
  ASSERT_GE(got.size(), ref.size());
  EXPECT_LT(got.size() - ref.size(), 4u);
  EXPECT_TRUE(std::equal(ref.begin(), ref.end(), got.begin()));
}

TEST_F(DrivePath, OtherFilesAreTheirDataSectors) {
  // VCD/INFO.VCD: one form-1 sector.
  EXPECT_EQ(SysFileSize("V:/VCD/INFO.VCD"), 2048);
  ASSERT_GE(SysOpen("V:/VCD/INFO.VCD", DRAVIK_START_RAW_VIDEO), 0);
  Bytes buf(4096);
  EXPECT_EQ(SysReadVideo(buf.data(), 4096), 2048);
  EXPECT_EQ(std::memcmp(buf.data(), "VIDEO_CD", 8), 0);
  SysClose();
  // An unmapped drive names nothing.
  unmap_all();
  EXPECT_EQ(SysFileSize("V:/VCD/INFO.VCD"), -1);
}

TEST_F(DrivePath, DvdFilesOfAnIsoImage) {
  map_drive('W', disc_path("dvd3.iso"));
  const std::string list = run("isoinfo -l -i '" + disc_path("dvd3.iso") + "' 2>/dev/null");
  ASSERT_NE(list.find("VTS_01_2.VOB"), std::string::npos) << "isoinfo gave no listing";
  EXPECT_EQ(SysFileSize("W:/VIDEO_TS/VTS_01_2.VOB"), 2211840);
  int32_t length = 0;
  EXPECT_EQ(SysProbe("W:/video_ts/vts_01_2.vob", &length), SOURCE_KIND_SYSTEM);
  EXPECT_EQ(length, 2211840);
  ASSERT_GE(SysOpen("W:/VIDEO_TS/VTS_01_2.VOB", 0), 0);
  EXPECT_EQ(SysControl(CTL_IS_DVD, 0), 1);
  EXPECT_EQ(SysControl(CTL_SOURCE_SIZE, 0), 2211840);
}

}  // namespace
