// The cue-sheet and NRG checks on their own: what they accept and the
// first fault they name.
#include "components/sectrel/image_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CueSheet, ReadsTracksAndRefusesWhatLibcdioMisreads) {
  const std::string good =
      "FILE \"x.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n  TRACK 02 MODE2/2352\r\n"
      "    INDEX 00 00:04:00\r\n    INDEX 01 00:06:00\r\n";
  sectrel::CueSheet s = sectrel::parse_cue(good, 1000 * 2352);
  ASSERT_TRUE(s.ok) << s.reason;
  EXPECT_EQ(s.file, "x.bin");
  ASSERT_EQ(s.tracks.size(), 2u);
  EXPECT_EQ(s.tracks[1].start, 450);
  EXPECT_EQ(s.tracks[1].sector_bytes, 2352);
  EXPECT_FALSE(sectrel::parse_cue(good, 450 * 2352).ok);  // track 2 at the lead-out
  struct {
    const char *text;
    const char *reason;
  } bad[] = {
      {"", "no track"},
      {"FILE a BINARY\nTRACK 00 AUDIO\nINDEX 01 00:00:00\n", "1..99"},
      {"FILE a BINARY\nTRACK 2 AUDIO\nINDEX 01 00:00:00\nTRACK 1 AUDIO\nINDEX 01 00:01:00\n", "order"},
      {"FILE a BINARY\nTRACK 1 AUDIO\nINDEX 01 00:05:00\nTRACK 2 AUDIO\nINDEX 01 00:01:00\n", "before"},
      {"FILE a BINARY\nTRACK 1 AUDIO\nTRACK 2 AUDIO\nINDEX 01 00:01:00\n", "INDEX 01"},
      {"FILE a BINARY\nTRACK 1 AUDIO\nINDEX 01 00:61:00\n", "position"},
      {"FILE a BINARY\nTRACK 1 MODE2/2336\nINDEX 01 00:00:00\nTRACK 2 AUDIO\nINDEX 01 00:01:00\n", "mixed"},
      {"FILE a BINARY\nFILE b BINARY\nTRACK 1 AUDIO\nINDEX 01 00:00:00\n", "FILE"},
      {"FILE a BINARY\nTRACK 1 MODE9/1\nINDEX 01 00:00:00\n", "mode"},
  };
  for (const auto &b : bad) {
    sectrel::CueSheet r = sectrel::parse_cue(b.text, -1);
    EXPECT_FALSE(r.ok) << b.text;
    EXPECT_NE(r.reason.find(b.reason), std::string::npos) << b.text << " -> " << r.reason;
  }
}

std::vector<uint8_t> nrg_with(const std::vector<std::pair<std::string, std::vector<uint8_t>>> &chunks) {
  std::vector<uint8_t> f(4096, 0);  // "data"
  const uint32_t start = uint32_t(f.size());
  for (const auto &[id, data] : chunks) {
    f.insert(f.end(), id.begin(), id.end());
    const uint32_t n = uint32_t(data.size());
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    f.insert(f.end(), data.begin(), data.end());
  }
  f.insert(f.end(), {'N', 'E', 'R', '5', 0, 0, 0, 0});
  f.insert(f.end(), {uint8_t(start >> 24), uint8_t(start >> 16), uint8_t(start >> 8), uint8_t(start)});
  return f;
}

std::string check(const std::vector<uint8_t> &f) {
  return sectrel::check_nrg(f.data(), f.size(), 0, f.size());
}

TEST(NrgCheck, WalksTheChunkListWithinItsBounds) {
  // CUEX: the -150 entry pair, then one track (entries of 8 bytes).
  std::vector<uint8_t> cuex = {0x41, 0,    0,    0,    0xFF, 0xFF, 0xFF, 0x6A, 0x41, 1, 0,
                               0,    0xFF, 0xFF, 0xFF, 0x6A, 0x41, 1,    1,    0,    0, 0,
                               0,    0,    0x41, 0xAA, 1,    0,    0,    0,    1,    0};
  std::vector<uint8_t> daox(22 + 42, 0);
  EXPECT_EQ(check(nrg_with({{"CUEX", cuex}, {"DAOX", daox}, {"END!", {}}})), "");
  EXPECT_NE(check(nrg_with({{"CUEX", cuex}, {"DAOX", std::vector<uint8_t>(30, 0)}, {"END!", {}}})), "");
  EXPECT_NE(check(nrg_with({{"CUEX", cuex}, {"CUEX", cuex}, {"END!", {}}})), "");  // twice
  EXPECT_NE(check(nrg_with({{"CUEX", cuex}})), "");                                // no end
  EXPECT_NE(check(nrg_with({{"CDTX", std::vector<uint8_t>(18, 0)}, {"END!", {}}})), "");
  std::vector<uint8_t> odd = cuex;
  odd.resize(24);
  EXPECT_NE(check(nrg_with({{"CUEX", odd}, {"END!", {}}})), "");
  std::vector<uint8_t> same = cuex;
  same[25] = 1;  // both entries of the track pair name the same track
  EXPECT_NE(check(nrg_with({{"CUEX", same}, {"END!", {}}})), "");
  auto runs_over = nrg_with({{"CUEX", cuex}, {"END!", {}}});
  runs_over[4096 + 7] = 0xF0;  // chunk length past the file
  EXPECT_NE(check(runs_over), "");
  auto far = nrg_with({{"END!", {}}});
  far[far.size() - 2] = 0;  // chunk list offset 4096 -> 0: longer than 4 KiB
  EXPECT_NE(check(far), "");
  EXPECT_NE(sectrel::check_nrg(far.data(), 5, 0, 5), "");
}

}  // namespace
