// The read-ahead reader from inside the library: the start-up fill after
// opening a DVD source larger than 1 MiB, and the return to single-block
// mode at close.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "media/source/path_forms.h"
#include "media/source/source.h"
#include "media/state.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/support/test_media.h"

namespace demux_test {
namespace {

std::string make_vob(const std::string &name, int sectors) {
  StreamBuilder b;
  for (int s = 0; s < sectors; ++s) {
    b.pack(true, 900ull * s, 25200);
    b.mpeg2_packet(0xE0, pattern(2048 - 14 - 9, static_cast<uint32_t>(s)));
  }
  return write_file(testing_support::scratch_dir() + "/" + name, b.data());
}

dravik::PathForm path_form(const std::string &path) {
  return dravik::parse_path_buffer(path.c_str(), static_cast<int64_t>(path.size()) + 1);
}

TEST(ReadAheadCore, DvdSourceStartsWithMostBlocksFilled) {
  const std::string path = make_vob("startup.vob", 1536);  // 3 MiB
  dravik::State &s = dravik::global_state();
  ASSERT_NE(dravik::open_source(s, path_form(path), 0), -1);
  EXPECT_EQ(s.read_ahead.count(), 16);
  EXPECT_GE(s.read_ahead.filled_blocks(), 12);
  dravik::close_source(s);
  EXPECT_EQ(s.read_ahead.count(), 1);
  EXPECT_EQ(s.read_ahead.filled_blocks(), 0);
}

TEST(ReadAheadCore, OtherSourcesUseOneBlock) {
  const std::string path = make_vob("single.mpg", 600);
  dravik::State &s = dravik::global_state();
  ASSERT_NE(dravik::open_source(s, path_form(path), 0), -1);
  EXPECT_LE(s.read_ahead.count(), 1);
  dravik::close_source(s);
}

}  // namespace
}  // namespace demux_test
