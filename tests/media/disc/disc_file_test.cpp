// The RIFF CDXA header a Form 2 file of a mapped drive is presented with,
// and reads at odd offsets, through the media library's disc-file reader
// on the real sector-access library.
#include "media/source/disc_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/media/disc/disc_support.h"

namespace {

using namespace disc_test;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

TEST(DiscFile, Form2FileCarriesTheCdxaHeader) {
  map_drive('V', disc_path("vcd2.cue"));
  const int sectors = vcd_info_file_sectors(disc_path("vcd2.cue"), "AVSEQ02.DAT");
  ASSERT_GT(sectors, 0) << "vcd-info gave no file list";
  auto f = dravik::find_disc_file("V:\\MPEGAV\\AVSEQ02.DAT");
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->form2);
  EXPECT_EQ(f->first_sector, 1131);
  const int64_t size = 44 + int64_t(sectors) * 2352;
  EXPECT_EQ(f->size, size);
  Bytes file(size_t(size) + 100);
  ASSERT_EQ(dravik::read_disc_file(*f, 0, file.data(), int32_t(file.size())), size);
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(le32(&file[4]), uint32_t(size - 8));
  EXPECT_EQ(std::memcmp(&file[8], "CDXAfmt ", 8), 0);
  EXPECT_EQ(le32(&file[16]), 16u);
  EXPECT_EQ(std::memcmp(&file[26], "XA", 2), 0);  // the directory record's XA field
  EXPECT_EQ(file[28], 2);                         // its file number
  EXPECT_EQ(std::memcmp(&file[36], "data", 4), 0);
  EXPECT_EQ(le32(&file[40]), uint32_t(sectors * 2352));
  const Bytes bin = file_bytes(disc_path("vcd2.bin"));
  EXPECT_EQ(std::memcmp(&file[44], &bin[1131 * 2352], size_t(sectors) * 2352), 0);
  // Reads that start inside the header or a sector and cross sectors.
  for (int64_t pos : {int64_t(3), int64_t(44 + 2351), int64_t(44 + 5 * 2352 + 17), size - 10}) {
    Bytes part(5000);
    const int32_t n = dravik::read_disc_file(*f, pos, part.data(), 5000);
    ASSERT_EQ(n, std::min<int64_t>(5000, size - pos)) << pos;
    EXPECT_EQ(std::memcmp(part.data(), &file[size_t(pos)], size_t(n)), 0) << pos;
  }
  EXPECT_EQ(dravik::read_disc_file(*f, size, file.data(), 10), 0);
  // Not on a mapped drive, not on the disc, a folder: none.
  EXPECT_FALSE(dravik::find_disc_file("Q:/MPEGAV/AVSEQ02.DAT"));
  EXPECT_FALSE(dravik::find_disc_file("V:/MPEGAV/AVSEQ03.DAT"));
  EXPECT_FALSE(dravik::find_disc_file("V:/MPEGAV"));
  EXPECT_FALSE(dravik::find_disc_file("V:/MPEGAV/AVSEQ02.DAT/X"));
  unmap_all();
}

}  // namespace
