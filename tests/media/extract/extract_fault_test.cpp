// A write that fails in the middle of a stream (the Nth call of the output
// layer) closes that output for good: its file keeps the part written
// before the failure and never restarts in the middle of its stream.
#include <gtest/gtest.h>

#include <algorithm>

#include "media/exports/control.h"
#include "media/extract/output_file.h"
#include "media/state.h"
#include "tests/media/extract/extract_files.h"

namespace extract_test {
namespace {

intptr_t extract_core(const std::string &path, const std::string &dir) {
  dravik::State &s = dravik::global_state();
  dravik::control(s, CTL_SET_OUTPUT_DIR, reinterpret_cast<intptr_t>(dir.c_str()));
  if (dravik::control(s, CTL_EXTRACT_OPEN, reinterpret_cast<intptr_t>(path.c_str())) == -1) return -2;
  for (int i = 0; i < 10000000 && !dravik::control(s, CTL_AT_END, 0); ++i)
    dravik::control(s, CTL_EXTRACT_STEP, 0);
  return dravik::control(s, CTL_EXTRACT_CLOSE, 0);
}

TEST(ExtractFault, AFailedWriteLosesTheRestOfThatStreamOnly) {
  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const Bytes video = read_all(media("mpeg2_ps.mpg.video.es"));
  const Bytes audio = read_all(media("mpeg2_ps.mpg.audio.es"));
  for (int nth : {1, 2, 3, 40, 200}) {
    SCOPED_TRACE(nth);
    const std::string dir = fresh_dir("fault" + std::to_string(nth));
    dravik::fail_output_call(nth);
    EXPECT_EQ(extract_core(ps, dir), -1);
    dravik::fail_output_call(0);
    EXPECT_EQ(dravik::control(dravik::global_state(), CTL_EXTRACT_FAILURES, 0), 1);
    const Bytes v = read_all(dir + "/Video_00.VBS"), a = read_all(dir + "/Audio_0.ABS");
    // One stream is whole, the other a proper prefix of its reference.
    const bool video_whole = v == video, audio_whole = a == audio;
    EXPECT_NE(video_whole, audio_whole);
    const Bytes &cut = video_whole ? a : v;
    const Bytes &ref = video_whole ? audio : video;
    EXPECT_LT(cut.size(), ref.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), ref.begin()));
  }
}

}  // namespace
}  // namespace extract_test
