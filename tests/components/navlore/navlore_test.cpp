// Navlore on the generated test disc: the listing against lsdvd (folder,
// lower-case copy, ISO image) and ffprobe's stream ids, the title-set record
// against the information file's own bytes, chapters as sector ranges of the
// VOB, the drive map, and damaged information files.
#include "components/navlore/navlore.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"

namespace {

using testing_support::media_path;

std::vector<uint8_t> bytes_of(const std::string &path) {
  return testing_support::read_file_bytes(path).value_or(std::vector<uint8_t>{});
}

// The blocks <tag>...</tag> of an XML text, in order (not nested in kind).
std::vector<std::string> blocks(const std::string &xml, const std::string &tag) {
  std::vector<std::string> out;
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    const size_t end = xml.find(close, at);
    if (end == std::string::npos) break;
    out.push_back(xml.substr(at + open.size(), end - at - open.size()));
  }
  return out;
}
std::string first(const std::string &xml, const std::string &tag) {
  const auto b = blocks(xml, tag);
  return b.empty() ? "" : b[0];
}
int ms_of(const std::string &seconds) { return static_cast<int>(std::stod(seconds) * 1000 + 0.5); }

class NavloreDiscTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::tool_available("lsdvd")) << "lsdvd is needed (scripts/setup installs it)";
    ASSERT_TRUE(testing_support::tool_available("ffprobe"));
    ASSERT_TRUE(std::filesystem::exists(media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO")))
        << "test disc missing: scripts/media.d/dvd_titles";
  }
};

// Titles, lengths, chapters, languages, formats, channels and palettes as
// lsdvd reads them; stream ids as the VOB carries them (lsdvd numbers them
// by index, so they come from ffprobe).
TEST_F(NavloreDiscTest, ListingAgreesWithLsdvd) {
  for (const char *where : {"dvdt_disc", "dvdt_lower", "dvdt_disc.iso"}) {
    SCOPED_TRACE(where);
    const std::string path = media_path(where);
    const std::string out = testing_support::command_output("lsdvd -x -Ox '" + path + "' 2>/dev/null");
    const std::string xml = out.substr(std::min(out.find("<?xml"), out.size()));
    const auto tracks = blocks(xml, "track");
    ASSERT_EQ(tracks.size(), 3u);
    NavloreDisc *disc = NavloreReadDisc(path.c_str());
    ASSERT_NE(disc, nullptr);
    ASSERT_EQ(disc->title_count, 3);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      const std::string &t = tracks[static_cast<size_t>(i)];
      const NavloreDiscTitle &n = disc->titles[i];
      EXPECT_EQ(n.length_ms, ms_of(first(t, "length")));
      EXPECT_EQ(n.set, std::stoi(first(t, "vts")));
      EXPECT_EQ(n.set_title, std::stoi(first(t, "ttn")));
      EXPECT_EQ(n.wide ? "16/9" : "4/3", first(t, "aspect"));
      EXPECT_EQ(n.width, std::stoi(first(t, "width")));
      EXPECT_EQ(n.height, std::stoi(first(t, "height")));
      const auto colours = blocks(first(t, "palette"), "color");
      ASSERT_EQ(colours.size(), 16u);
      for (int c = 0; c < 16; ++c)
        EXPECT_EQ(n.palette[c], std::stoul(colours[static_cast<size_t>(c)], nullptr, 16));
      const auto chapters = blocks(t, "chapter");
      ASSERT_EQ(n.chapter_count, static_cast<int>(chapters.size()));
      for (int c = 0; c < n.chapter_count; ++c)
        EXPECT_EQ(n.chapters[c].length_ms, ms_of(first(chapters[static_cast<size_t>(c)], "length")));
      const auto audio = blocks(t, "audio");
      ASSERT_EQ(n.audio_count, static_cast<int>(audio.size()));
      for (int a = 0; a < n.audio_count; ++a) {
        const std::string &x = audio[static_cast<size_t>(a)];
        EXPECT_EQ(n.audio[a].language, first(x, "langcode"));
        EXPECT_EQ(NavloreFormatName(n.audio[a].format), first(x, "format"));
        EXPECT_EQ(n.audio[a].channels, std::stoi(first(x, "channels")));
      }
      const auto spu = blocks(t, "subp");
      ASSERT_EQ(n.spu_count, static_cast<int>(spu.size()));
      for (int s = 0; s < n.spu_count; ++s)
        EXPECT_EQ(n.spu[s].language, first(spu[static_cast<size_t>(s)], "langcode"));
    }
    // The ids of title 1 against the streams ffprobe finds in its VOB.
    const std::string streams =
        testing_support::command_output("ffprobe -v error -show_entries stream=id -of csv=p=0 '" +
                                        media_path("dvdt_disc/VIDEO_TS/VTS_01_1.VOB") + "'");
    const NavloreDiscTitle &t1 = disc->titles[0];
    EXPECT_NE(streams.find("0x80"), std::string::npos);
    EXPECT_EQ(t1.audio[0].id, 0x80);
    EXPECT_NE(streams.find("0x1c0"), std::string::npos);
    EXPECT_EQ(t1.audio[1].id, 0xC0);  // French Layer II
    for (int s = 0; s < 3; ++s) {
      char id[8];
      std::snprintf(id, sizeof id, "0x%x\n", 0x20 + s);
      EXPECT_NE(streams.find(id), std::string::npos);
      EXPECT_EQ(t1.spu[s].id, 0x20 + s);
    }
    NavloreFreeDisc(disc);
  }
}

// The record's words hold the information file's bytes as stored; chapters
// begin at a navigation pack and tile the title's VOB.
TEST_F(NavloreDiscTest, RecordCarriesTheFileBytes) {
  const std::vector<uint8_t> ifo = bytes_of(media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO"));
  const std::vector<uint8_t> vob = bytes_of(media_path("dvdt_disc/VIDEO_TS/VTS_01_1.VOB"));
  ASSERT_GT(ifo.size(), 0x400u);
  NavloreTitleSet *r = NavloreOpenTitleSet(media_path("dvdt_disc/VIDEO_TS/VTS_01_0.VOB").c_str());
  ASSERT_NE(r, nullptr);
  const auto *words = reinterpret_cast<const int32_t *>(r);
  EXPECT_EQ(words[6], 7);
  EXPECT_EQ(static_cast<uint32_t>(words[23]), static_cast<uint32_t>(ifo[0x200] << 8 | ifo[0x201]));
  EXPECT_EQ(words[24], 2);
  EXPECT_EQ(words[41], 3);
  EXPECT_EQ(std::memcmp(&words[25], &ifo[0x204], 64), 0);
  EXPECT_EQ(std::memcmp(&words[42], &ifo[0x256], 192), 0);
  EXPECT_EQ(static_cast<uint32_t>(words[7]), 0xEB8080u);
  const uint8_t audio_ids[] = {0x80, 0xC0};
  const uint8_t spu_ids[] = {0x20, 0x21, 0x22};
  EXPECT_EQ(std::memcmp(r->audio_ids, audio_ids, 2), 0);
  EXPECT_EQ(std::memcmp(r->spu_ids, spu_ids, 3), 0);
  // The record is packed to 4 bytes: read the 64-bit field by value, not through a reference.
  const int64_t title_vob_bytes = r->title_vob_bytes;
  EXPECT_EQ(title_vob_bytes, static_cast<int64_t>(vob.size()));

  // Chapter count at byte 360, the table's address at byte 364.
  const auto *bytes = reinterpret_cast<const uint8_t *>(r);
  int32_t count = 0;
  const NavloreChapter *table = nullptr;
  std::memcpy(&count, bytes + 360, sizeof count);
  std::memcpy(&table, bytes + 364, sizeof table);
  ASSERT_EQ(count, 3);
  uint32_t next = 0;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(table[i].first, next);
    const size_t at = static_cast<size_t>(table[i].first) * NAVLORE_SECTOR;
    ASSERT_LT(at + 18, vob.size());
    // A pack header (14 bytes) followed by the system header of a nav pack.
    EXPECT_EQ(vob[at + 14] << 24 | vob[at + 15] << 16 | vob[at + 16] << 8 | vob[at + 17], 0x000001BB);
    next = table[i].end;
  }
  EXPECT_EQ(static_cast<size_t>(next) * NAVLORE_SECTOR, vob.size());
  NavloreFreeTitle(r);

  // The second set: 4:3, two chapters in its first title, two chains.
  r = NavloreOpenTitleSet(media_path("dvdt_lower/video_ts/vts_02_0.vob").c_str());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->chapter_count, 2);
  EXPECT_EQ(r->chain_count, 2);
  EXPECT_EQ((r->video >> 10) & 3, 0u);
  NavloreFreeTitle(r);
  EXPECT_EQ(NavloreOpenTitleSet(media_path("dvdt_disc/VIDEO_TS/VTS_03_0.VOB").c_str()), nullptr);
  EXPECT_EQ(NavloreOpenTitleSet(media_path("dvdt_disc/VIDEO_TS/VIDEO_TS.VOB").c_str()), nullptr);
  EXPECT_EQ(NavloreOpenTitleSet("/nonexistent/VIDEO_TS/VTS_01_0.VOB"), nullptr);
  EXPECT_EQ(NavloreOpenTitleSet(nullptr), nullptr);
}

TEST_F(NavloreDiscTest, DriveOfTheDriveMap) {
  ASSERT_TRUE(
      platform::profile_write_string("DRIVES", "V", media_path("dvdt_disc.iso").c_str(), "RAZAVORI.INI"));
  NavloreTitleSet *one = NavloreOpenTitle('v', 1);
  NavloreTitleSet *two = NavloreOpenTitle('V', 2);
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(one->chapter_count, 3);
  EXPECT_EQ(two->chapter_count, 2);
  NavloreDisc *disc = NavloreReadDisc("V:");
  ASSERT_NE(disc, nullptr);
  EXPECT_EQ(two->chapters[1].end, disc->titles[1].chapters[1].end_sector);
  NavloreFreeDisc(disc);
  EXPECT_EQ(NavloreOpenTitle('V', 3), nullptr);
  EXPECT_EQ(NavloreOpenTitle('W', 1), nullptr);  // not mapped
  EXPECT_EQ(NavloreOpenTitle('1', 1), nullptr);
  NavloreTitleSet *path_form = NavloreOpenTitleSet("V:/VIDEO_TS/VTS_01_0.VOB");
  ASSERT_NE(path_form, nullptr);
  EXPECT_EQ(path_form->spu_count, 3);
  NavloreFreeTitle(path_form);
  NavloreFreeTitle(one);
  NavloreFreeTitle(two);
  NavloreFreeTitle(nullptr);
  platform::profile_write_string("DRIVES", "V", nullptr, "RAZAVORI.INI");
}

// Damaged information files: counts past the tables are clamped, a program
// map entry past the cells ends the chapters, a truncated file gives
// nothing, a missing file is read from its backup.
TEST_F(NavloreDiscTest, DamagedInformationFiles) {
  struct Case {
    const char *name;
    bool opens;
    int audio, spu, chapters;
  };
  const Case cases[] = {
      {"audio9", true, 8, 3, 3},   {"spu33", true, 2, 32, 3},      {"truncated", false, 0, 0, 0},
      {"bup_only", true, 2, 3, 3}, {"program_map", true, 2, 3, 2},
  };
  const auto sectors = static_cast<uint32_t>(
      std::filesystem::file_size(media_path("dvdt_disc/VIDEO_TS/VTS_01_1.VOB")) / NAVLORE_SECTOR);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string vob = media_path(std::string("dvdt_bad/") + c.name + "/VIDEO_TS/VTS_01_1.VOB");
    std::string first = vob;
    first[first.size() - 5] = '0';
    NavloreTitleSet *r = NavloreOpenTitleSet(first.c_str());
    ASSERT_EQ(r != nullptr, c.opens);
    if (!r) continue;
    EXPECT_EQ(r->audio_count, c.audio);
    EXPECT_EQ(r->spu_count, c.spu);
    EXPECT_EQ(r->chapter_count, c.chapters);
    // The last chapter still ends with the chain's last cell.
    EXPECT_EQ(r->chapters[r->chapter_count - 1].end, sectors);
    NavloreFreeTitle(r);
  }
}

}  // namespace
