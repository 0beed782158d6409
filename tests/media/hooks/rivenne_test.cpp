// The DVB library: loaded by command 53 and freed by 54, it serves
// "DVBStream.DVB" from the capture named through command 19 and hears of
// every other source's open, close, seek and block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/media_api.h"
#include "platform/dynamic_library.h"
#include "tests/media/demux/reference_streams.h"
#include "tests/media/hooks/pull_run.h"
#include "tests/media/hooks/rivenne_recorder.h"

namespace hooks_test {
namespace {

class Dvb : public ::testing::Test {
 protected:
  void TearDown() override {
    SysClose();
    SysControl(CTL_DVB_UNLOAD, 0);
  }
};

TEST_F(Dvb, CaptureServedAsDvbStreamEqualsFfmpegsCopies) {
  const std::string ts = demux_test::reference("ts_mpeg2.ts");
  ASSERT_FALSE(ts.empty()) << "ffmpeg is needed";
  EXPECT_EQ(SysProbe(DRAVIK_DVB_NAME, nullptr), SOURCE_KIND_NOTHING) << "no DVB library loaded yet";
  EXPECT_EQ(SysOpen(DRAVIK_DVB_NAME, 0), -1);
  ASSERT_NE(SysControl(CTL_DVB_LOAD, 0), 0) << "librivenne.so beside libdravik.so";
  EXPECT_EQ(SysControl(CTL_DVB_CALL, reinterpret_cast<intptr_t>(ts.c_str())), 1);
  int32_t length = 0;
  EXPECT_EQ(SysProbe(DRAVIK_DVB_NAME, &length), SOURCE_KIND_SYSTEM);
  EXPECT_EQ(length, static_cast<int32_t>(demux_test::read_file(ts).size()));
  ASSERT_EQ(SysOpen(DRAVIK_DVB_NAME, 0), DRAVIK_HANDLE_DVB);
  EXPECT_EQ(SysControl(CTL_STREAM_MIX, 0), 0);  // video 0xE0 and audio
  SysClose();
  const PullRun r = pull_run(DRAVIK_DVB_NAME);
  ASSERT_TRUE(r.opened);
  EXPECT_TRUE(same_stream(r.video, demux_test::read_file(demux_test::reference("ts_mpeg2.ts.video.es"))));
  EXPECT_TRUE(same_stream(r.audio, demux_test::read_file(demux_test::reference("ts_mpeg2.ts.audio.es"))));
  SysControl(CTL_DVB_UNLOAD, 0);
  EXPECT_EQ(SysProbe(DRAVIK_DVB_NAME, nullptr), SOURCE_KIND_NOTHING);
}

TEST_F(Dvb, NotificationsReachTheLibraryWithTheirArguments) {
  const std::string file = demux_test::reference("mpeg1_system.mpg");
  ASSERT_FALSE(file.empty()) << "ffmpeg is needed";
  ASSERT_NE(SysControl(CTL_DVB_LOAD, reinterpret_cast<intptr_t>(RAZAVORI_RIVENNE_RECORDER)), 0);
  platform::DynamicLibrary same(RAZAVORI_RIVENNE_RECORDER);  // the loaded copy
  auto events_fn = reinterpret_cast<RecorderEventsFn>(same.symbol("RecorderEvents"));
  ASSERT_NE(events_fn, nullptr);
  std::vector<RecorderEvent> &events = *events_fn();
  events.clear();

  SysProbe(file.c_str(), nullptr);
  ASSERT_NE(SysOpen(file.c_str(), 0), -1);
  std::vector<uint8_t> buf(16384);
  for (int i = 0; i < 40; ++i) SysReadVideo(buf.data(), 16384);
  ASSERT_EQ(SysSeek(0, 0), 0);
  for (int i = 0; i < 8; ++i) SysReadVideo(buf.data(), 16384);
  SysClose();

  const std::vector<uint8_t> bytes = demux_test::read_file(file);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().code, 0);
  EXPECT_EQ(events.front().text, file);
  EXPECT_EQ(events.back().code, 1);
  int seeks = 0, blocks = 0;
  int64_t at = 0;
  for (const RecorderEvent &e : events) {
    if (e.code == 2) {
      ++seeks;
      EXPECT_EQ(e.pos, 0);
      EXPECT_EQ(e.origin, 0);
      at = e.pos;
    } else if (e.code == 3) {
      ++blocks;
      EXPECT_EQ(e.value, static_cast<intptr_t>(e.bytes.size()));
      ASSERT_LE(at + static_cast<int64_t>(e.bytes.size()), static_cast<int64_t>(bytes.size()));
      EXPECT_TRUE(std::equal(e.bytes.begin(), e.bytes.end(), bytes.begin() + at)) << "block at " << at;
      at += static_cast<int64_t>(e.bytes.size());
    }
  }
  EXPECT_GE(seeks, 1);  // the opening analysis may rewind too
  EXPECT_GT(blocks, 1);

  // The double reports its own stream mix; unloading while its stream is
  // open closes that first.
  SysControl(CTL_DVB_CALL, reinterpret_cast<intptr_t>(file.c_str()));
  ASSERT_EQ(SysProbe(DRAVIK_DVB_NAME, nullptr), SOURCE_KIND_SYSTEM);
  ASSERT_EQ(SysOpen(DRAVIK_DVB_NAME, 0), DRAVIK_HANDLE_DVB);
  EXPECT_EQ(SysControl(CTL_STREAM_MIX, 0), 3);
  SysControl(CTL_DVB_UNLOAD, 0);
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), -1);
  SysClose();
}

}  // namespace
}  // namespace hooks_test
