// A CD track read by raw sectors ("Track.Player") is cut like a Video CD
// track file: the segment holds the 2324-byte payloads of its sectors, not
// the raw sectors behind the 2324-byte template packs. The disc is a fake
// drive serving the sectors of the generated Video CD image.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "components/sectrel/sectrel.h"
#include "media/exports/control.h"
#include "media/source/path_forms.h"
#include "media/source/sector_api.h"
#include "media/source/source.h"
#include "media/state.h"
#include "tests/media/extract/extract_files.h"

namespace extract_test {
namespace {

constexpr int32_t kDrive = 21;        // V:
constexpr int32_t kTrackFirst = 300;  // the second track's pregap in the image (cue: 00:04:00)
Bytes g_image;

int32_t sectors_in_image() { return static_cast<int32_t>(g_image.size() / 2352); }

bool copy_sectors(void *buf, int32_t first, int32_t count) {
  if (first < 0 || first + count > sectors_in_image()) return false;
  std::memcpy(buf, g_image.data() + static_cast<size_t>(first) * 2352, static_cast<size_t>(count) * 2352);
  return true;
}
int32_t open_drive(int32_t drive) { return drive == kDrive; }
int32_t read_raw8(int32_t, void *buf, int32_t first) { return copy_sectors(buf, first, 8); }
int32_t read_raw(int32_t, void *buf, int32_t first, int32_t count) { return copy_sectors(buf, first, count); }
int32_t command(int32_t, int32_t cmd, int32_t param) {
  switch (cmd) {
    case SECTREL_CMD_READY:
      return 1;
    case SECTREL_CMD_TRACK_START:
      return param == 2 ? kTrackFirst : 0;
    case SECTREL_CMD_TRACK_LENGTH:
      return param == 2 ? sectors_in_image() - kTrackFirst : 0;
    default:
      return 0;
  }
}
int32_t read_data(int32_t, void *, int32_t, int32_t) { return 0; }
bool is_cd(int32_t drive) { return drive == kDrive; }
uint32_t serial(int32_t) { return 1; }
const dravik::SectorApi kFakeDrive = {open_drive, read_raw8, read_raw, command, read_data, is_cd, serial};

TEST(SegmentTrack, CdTrackIsCutIntoVideoCdPayloads) {
  g_image = read_all(media("vcd2.bin"));
  ASSERT_GT(sectors_in_image(), kTrackFirst);
  dravik::set_sector_api(&kFakeDrive);
  dravik::State &s = dravik::global_state();
  const char name[] = "Track.Player\0\x15\x01";  // drive V:, track 2
  const dravik::PathForm form = dravik::parse_path_buffer(name, sizeof name - 1);
  ASSERT_EQ(form.kind, dravik::PathKind::track_player);
  ASSERT_EQ(dravik::open_source(s, form, 0), DRAVIK_HANDLE_CD_TRACK);

  const std::string out = fresh_dir("track") + "/seg.mpg";
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dravik::control(s, CTL_SET_SEGMENT_START, 2352 * 200);
  dravik::control(s, CTL_SET_SEGMENT_END, 2352 * 400);
  ASSERT_EQ(dravik::control(s, CTL_SEGMENT_BEGIN, 0), 1);
  EXPECT_GT(dravik::control(s, CTL_SEGMENT_HEAD, fd), 0);
  while (true) {
    const intptr_t done = dravik::control(s, CTL_SEGMENT_COPY, fd);
    if (done < 0 || done >= 2352 * 200) break;
  }
  EXPECT_EQ(dravik::control(s, CTL_SEGMENT_FINISH, fd), 1);
  ::close(fd);
  dravik::close_source(s);
  dravik::set_sector_api(nullptr);

  const Bytes seg = read_all(out);
  ASSERT_GT(seg.size(), 10u * 2324);
  EXPECT_EQ(seg.size() % 2324, 0u);
  for (size_t i = 0; i * 2324 < seg.size(); ++i) {
    ASSERT_EQ(std::memcmp(seg.data() + i * 2324, "\0\0\1\xBA", 4), 0) << "pack " << i;
  }
  static const uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  EXPECT_EQ(std::search(seg.begin(), seg.end(), kSync, kSync + 12), seg.end()) << "a raw sector header";
  const std::string probe = "ffprobe -v warning '" + out + "' 2>&1";
  FILE *p = popen(probe.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string log;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) log += buf;
  const int st = pclose(p);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << log;
  EXPECT_EQ(log.find("Header missing"), std::string::npos) << log;
}

}  // namespace
}  // namespace extract_test
