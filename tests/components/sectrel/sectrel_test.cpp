// The sector-access library against the disc images and their oracles:
// tables of contents against cd-info, raw sectors against the .bin bytes,
// data sectors of an ISO image against the file, damaged images reported
// as not ready with the process alive.
#include "components/sectrel/sectrel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/drive.h"
#include "platform/ini.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

constexpr int kV = 'V' - 'A';

std::string disc_path(const std::string &name) { return testing_support::media_path("disc/" + name); }

void map_drive(char letter, const std::string &path) {
  const char key[2] = {letter, 0};
  ASSERT_TRUE(
      platform::profile_write_string("DRIVES", key, path.empty() ? nullptr : path.c_str(), "RAZAVORI.INI"));
}

using testing_support::file_bytes;

std::string run(const std::string &command) { return testing_support::command_output(command); }

struct OracleTrack {
  int number;
  int lsn;
  std::string type;
};

// The track list cd-info prints: "  2: 00:08:00  000450 XA ..." and the
// lead-out as track 170.
std::vector<OracleTrack> cd_info_tracks(const std::string &cue) {
  std::vector<OracleTrack> tracks;
  std::istringstream lines(run("cd-info --no-header --no-device-info --no-cddb --no-disc-mode --cue-file '" +
                               cue + "' 2>/dev/null"));
  std::regex row(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
  std::string line;
  std::smatch m;
  while (std::getline(lines, line))
    if (std::regex_search(line, m, row)) tracks.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3]});
  return tracks;
}

int expected_type(const std::string &t) { return t == "XA" ? 0 : t == "audio" ? 1 : 2; }

class Sectrel : public testing::Test {
 protected:
  void TearDown() override {
    for (char l : platform::mapped_drives()) map_drive(l, "");
  }
};

TEST_F(Sectrel, TableOfContentsAgreesWithCdInfo) {
  for (const char *name : {"vcd2.cue", "vcd11.cue", "svcd.cue", "hqvcd.cue", "mixed.cue", "entries.cue"}) {
    SCOPED_TRACE(name);
    auto oracle = cd_info_tracks(disc_path(name));
    ASSERT_GE(oracle.size(), 3u) << "cd-info gave no track list";
    ASSERT_EQ(oracle.back().number, 170);
    map_drive('V', disc_path(name));
    ASSERT_EQ(SectrelCommand(0, SECTREL_CMD_READY, 0), 1);
    ASSERT_EQ(SectrelCommand(kV, SECTREL_CMD_READY, 0), 1);
    const int last = oracle[oracle.size() - 2].number;
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_LAST_TRACK, 0), last << 16);
    for (size_t i = 0; i + 1 < oracle.size(); ++i) {
      const OracleTrack &t = oracle[i];
      EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_TRACK_START, t.number), t.lsn) << t.number;
      EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_TRACK_LENGTH, t.number), oracle[i + 1].lsn - t.lsn)
          << t.number;
      EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_TRACK_TYPE, t.number), expected_type(t.type)) << t.number;
    }
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_TRACK_TYPE, last + 1), 1);  // no such track
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_TRACK_START, 0), 0);
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_CANNOT_CONTINUE, 0), 0);
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_DOOR, 1), 0);  // an image has no door
  }
}

TEST_F(Sectrel, RawSectorsAreTheImageBytes) {
  const auto bin = file_bytes(disc_path("vcd2.bin"));
  ASSERT_EQ(bin.size() % 2352, 0u);
  map_drive('V', disc_path("vcd2.cue"));
  ASSERT_EQ(SectrelOpenDrive(kV), 1);
  const int sectors = static_cast<int>(bin.size() / 2352);
  std::vector<uint8_t> buf(8 * 2352);
  int first = 0;
  for (; first + 8 <= sectors; first += 8) {
    ASSERT_NE(SectrelReadRaw8(kV, buf.data(), first), 0) << first;
    ASSERT_EQ(std::memcmp(buf.data(), bin.data() + size_t(first) * 2352, buf.size()), 0)
        << "sectors from " << first;
  }
  const int rest = sectors - first;
  if (rest > 0) {
    ASSERT_NE(SectrelReadRaw(kV, buf.data(), first, rest), 0);
    EXPECT_EQ(std::memcmp(buf.data(), bin.data() + size_t(first) * 2352, size_t(rest) * 2352), 0);
  }
  EXPECT_EQ(SectrelReadRaw(kV, buf.data(), sectors, 1), 0);  // past the lead-out
  // Data sectors are the form-1 user data (offset 24 of the raw sector).
  ASSERT_EQ(SectrelReadData(kV, buf.data(), 16, 2), 4096);
  EXPECT_EQ(std::memcmp(buf.data(), bin.data() + 16 * 2352 + 24, 2048), 0);
  EXPECT_EQ(std::memcmp(buf.data() + 2048, bin.data() + 17 * 2352 + 24, 2048), 0);
}

TEST_F(Sectrel, Mode2336ImagesAreReadDirectly) {
  const auto bin = file_bytes(disc_path("vcd2_2336.bin"));
  ASSERT_EQ(bin.size() % 2336, 0u);
  const auto ref = file_bytes(disc_path("vcd2.bin"));
  map_drive('V', disc_path("vcd2_2336.cue"));
  ASSERT_EQ(SectrelOpenDrive(kV), 1);
  EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_LAST_TRACK, 0), 3 << 16);
  EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_TRACK_START, 2), 450);
  std::vector<uint8_t> buf(8 * 2352);
  for (int first : {0, 16, 450, 1000}) {
    ASSERT_NE(SectrelReadRaw8(kV, buf.data(), first), 0);
    for (int i = 0; i < 8; ++i) {
      // The 2336 bytes after the header, and the header the 2352 image has.
      EXPECT_EQ(std::memcmp(buf.data() + i * 2352 + 16, bin.data() + size_t(first + i) * 2336, 2336), 0);
      EXPECT_EQ(std::memcmp(buf.data() + i * 2352, ref.data() + size_t(first + i) * 2352, 16), 0);
    }
  }
  SectrelDriveInfo info;
  ASSERT_EQ(SectrelDescribe(kV, &info), 1);
  EXPECT_EQ(std::string(info.driver), "BIN/CUE 2336");
}

TEST_F(Sectrel, IsoImageIsOneDataTrack) {
  const auto iso = file_bytes(disc_path("dvd3.iso"));
  map_drive('W', disc_path("dvd3.iso"));
  const int w = 'W' - 'A';
  ASSERT_EQ(SectrelCommand(w, SECTREL_CMD_READY, 0), 1);
  EXPECT_EQ(SectrelCommand(w, SECTREL_CMD_LAST_TRACK, 0), 1 << 16);
  EXPECT_EQ(SectrelCommand(w, SECTREL_CMD_TRACK_START, 1), 0);
  EXPECT_EQ(SectrelCommand(w, SECTREL_CMD_TRACK_LENGTH, 1), int(iso.size() / 2048));
  EXPECT_EQ(SectrelCommand(w, SECTREL_CMD_TRACK_TYPE, 1), 2);
  std::vector<uint8_t> buf(32 * 2048);
  ASSERT_EQ(SectrelReadData(w, buf.data(), 300, 32), 32 * 2048);
  EXPECT_EQ(std::memcmp(buf.data(), iso.data() + 300 * 2048, buf.size()), 0);
  EXPECT_EQ(SectrelReadData(w, buf.data(), int(iso.size() / 2048), 1), 0);
  // The serial is a checksum of the volume descriptor: stable, per disc.
  const uint32_t serial = SectrelVolumeSerial(w);
  EXPECT_NE(serial, 0u);
  EXPECT_EQ(SectrelVolumeSerial(w), serial);
  map_drive('W', disc_path("dvd_gap.iso"));
  EXPECT_EQ(SectrelCommand(w, SECTREL_CMD_READY, 0), 1);  // the map is followed
  EXPECT_NE(SectrelVolumeSerial(w), serial);
}

TEST_F(Sectrel, DrivesOutsideTheMapAreRefused) {
  EXPECT_EQ(SectrelCommand(0, SECTREL_CMD_READY, 0), 0);  // nothing mapped
  map_drive('A', disc_path("vcd2.cue"));
  map_drive('B', disc_path("vcd2.cue"));
  EXPECT_EQ(SectrelOpenDrive(0), 0);
  EXPECT_EQ(SectrelOpenDrive(1), 0);
  EXPECT_EQ(SectrelIsMapped(0), 0);
  EXPECT_EQ(SectrelOpenDrive(kV), 0);
  EXPECT_EQ(SectrelIsMapped(kV), 0);
  EXPECT_EQ(SectrelOpenDrive(26), 0);
  EXPECT_EQ(SectrelOpenDrive(-1), 0);
  uint8_t buf[2352];
  EXPECT_EQ(SectrelReadRaw(kV, buf, 0, 1), 0);
  EXPECT_EQ(SectrelReadData(kV, buf, 16, 1), 0);
  EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_CANNOT_CONTINUE, 0), 1);
}

// Writes bytes to a scratch file and returns its path.
std::string scratch_file(const std::string &name, const std::string &bytes) {
  const std::string path = testing_support::scratch_dir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST_F(Sectrel, DamagedImagesAreNotReady) {
  // A 10 KB NRG whose footer points at a chunk list libcdio would assert on.
  std::string nrg(10240, '\0');
  const char foot[12] = {'N', 'E', 'R', '5', 0, 0, 0, 0, 0, 0, 0x10, 0};
  nrg.replace(nrg.size() - 12, 12, foot, 12);
  nrg.replace(4096, 8, "CUEX\0\0\0\x09", 8);
  const std::string bin = std::string(
      reinterpret_cast<const char *>(file_bytes(disc_path("vcd2.bin")).data()), size_t(2352 * 20));
  struct Case {
    std::string path;
    const char *problem;  // part of the reason given
  } cases[] = {
      {scratch_file("bad.nrg", nrg), "NRG"},
      {scratch_file("short.nrg", "NER5"), "NRG footer"},
      {scratch_file(
           "order.cue",
           "FILE \"order.bin\" BINARY\n TRACK 02 MODE2/2352\n INDEX 01 00:00:00\n TRACK 01 MODE2/2352\n "
           "INDEX 01 00:00:10\n"),
       "order"},
      {scratch_file("past.cue",
                    "FILE \"past.bin\" BINARY\n TRACK 01 MODE2/2352\n INDEX 01 00:00:00\n TRACK 02 "
                    "MODE2/2352\n INDEX 01 00:20:00\n"),
       "end of the image"},
      {scratch_file("hundred.cue",
                    "FILE \"hundred.bin\" BINARY\n TRACK 100 MODE2/2352\n INDEX 01 00:00:00\n"),
       "1..99"},
      {scratch_file("other.cue", "FILE \"vcd2.bin\" BINARY\n TRACK 01 MODE2/2352\n INDEX 01 00:00:00\n"),
       "X.bin beside"},
      {scratch_file("garbage.iso", std::string(40000, 'x')), "ISO 9660"},
      {testing_support::scratch_dir() + "/absent.cue", "no such image"},
  };
  for (const char *b : {"order.bin", "past.bin", "hundred.bin"}) scratch_file(b, bin);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    map_drive('V', c.path);
    EXPECT_EQ(SectrelOpenDrive(kV), 0);
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_READY, 0), 0);
    EXPECT_EQ(SectrelCommand(kV, SECTREL_CMD_LAST_TRACK, 0), 0);
    SectrelDriveInfo info;
    ASSERT_EQ(SectrelDescribe(kV, &info), 1);
    EXPECT_EQ(info.ready, 0);
    EXPECT_NE(std::string(info.problem).find(c.problem), std::string::npos) << info.problem;
  }
}

}  // namespace
